#pragma once

#include "lookup/CDInfo.h"
#include "lookup/Cddb.h"

#include <QDeadlineTimer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

// What the disc database lookup takes from the main window and gives back to it.
struct DiscLookupContext {
    // The first character of the selected entry of CbBoxActiveCDRom; 0 when no entry is selected.
    char driveLetter = 0;
    // Makes the disc information for the drive; unset means TCDInfo over the CD audio device.
    std::function<std::unique_ptr<TCDInfo>()> makeCdInfo;
    // FetchDocument: the document's lines, or nothing when the request failed or had not ended by
    // `deadline`. May raise when the received document cannot be read back.
    std::function<std::optional<QStringList>(const QString &url, QDeadlineTimer deadline)> fetch;
    // ListBoxTrackList: one line per row, the ripper's captions on the way in, titles on the way out.
    QStringList *trackList = nullptr;
    // The disc track number (from 1) of each line of trackList, data tracks counted. Empty means the
    // lines are disc tracks 1, 2, 3... in order.
    std::vector<int> rowTracks;
    // LabeActiveCDRom receives the disc title; Edit5 each request's URL.
    std::function<void(const QString &)> setDiscTitle;
    std::function<void(const QString &)> setRequestUrl;
    // The disc's entry (artist, album, year, genre, track titles), after its titles were stored.
    std::function<void(const CddbEntry &)> setEntry;
};

// A whole lookup, query and read, ends within this time, however slowly a server trickles its answer.
constexpr int kLookupTimeLimitMs = 60 * 1000;

// Computes the disc identifier of the drive's disc, asks the CDDB server for it (query, then read)
// and stores the track titles it answers into trackList, each on the row of its own disc track;
// titles of data tracks and of tracks without a row are dropped. Network and HTTP failures end it
// silently. A device failure raises the device's text; a title line with a bad index raises
// EConvertError, keeping the titles stored before it.
//
// While it waits for the network the window stays live, so "Aggiorna" can be clicked again: the
// refresh must then do nothing (see DiscLookupRunning). A call made while another lookup runs
// returns at once without any change.
void QueryDiscDatabase(DiscLookupContext &context);

// True from the start of a lookup to its end, however it ends.
bool DiscLookupRunning();
