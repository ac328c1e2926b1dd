#pragma once

#include <QString>

// How the extraction of one track ended. Everything said of the track follows from it: its row, the
// status line, its line in the log and its tags. Nothing is complete unless the rip said so.
struct TTrackOutcome {
    enum Kind {
        Complete,    // every sector read, the file written and tagged
        ReadErrors,  // read to its end, but `unreadableSectors` sectors are silence in the file
        Cancelled,   // "Annulla": the file holds what was read before
        Interrupted, // the window closed during the track
        Failed,      // `message` says why; the run ends with it
    };
    Kind kind = Failed;
    int unreadableSectors = 0;
    QString message;

    // The file holds the whole track's length.
    bool WholeLength() const { return kind == Complete || kind == ReadErrors; }
};
