#pragma once

#include "disc/AudioFormat.h"
#include "encoder/Mp3Tag.h"
#include "lookup/DocumentFetcher.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

class TMP3Coder;

// The "codec MP3" page as the user left it.
struct TCoderPage {
    QString sampleRate, bitRate, maxBitRate;
    int mode = 0, quality = 0;
    bool vbrHeader = false, vbr = false, copyright = false, original = false, crc = true, isPrivate = false;
    int vbrQuality = 4;
};

// The page to the coder, step by step: a combo with no number in it raises "'<text>' is not a valid
// integer value" and leaves the steps after it undone; mode -1 (none chosen) leaves the mode as it was.
// The page gives the MP3's own rate and channel mode; what the encoder is fed (a ripped track, a WAV
// file) sets the coder's input format, and the coder converts between the two.
void ApplyCoderPage(TMP3Coder &coder, const TCoderPage &page);

// One track of an extraction.
struct TExtractionRow {
    int row = 0;           // in the window's list
    uint16_t trackNum = 0; // position in the ripper's Tracks, from 1
    QString title;         // the row's description, which names the file
    QString caption;       // the ripper's "Track 01", for a title that leaves no name
    QString path;          // as given to the ripper (".wav" or ".pcm"; it makes ".mp3" or ".flac" of it)
    Mp3TagFields tags;     // of an MP3 file
};

// An extraction as the user asked for it at the click, taken once: nothing of the run reads the
// window afterwards.
struct TExtractionPlan {
    std::vector<TExtractionRow> rows; // the checked rows, in order
    QString folder;                   // the destination the user chose
    AudioFormat format = AudioFormat::Mp3;
    TCoderPage coder;
    ProxySettings proxy;
    QString discLabel;        // names the log ("QUARLE.log" when empty)
    QString logFile;          // the log's path
    QString driveOffsetsFile; // the cached copy of the database's drive list; empty keeps none
    QString coverUrl;         // the release's front cover at the Cover Art Archive; empty for none
    bool testAndCopy = false; // "Prova e copia": each track read twice, and again until two reads agree
    // "Nomi dei file": the files' names and folders under `folder` (TrackFileNames.h); "%T" names them
    // by their titles alone, in the folder itself.
    QString namePattern = QStringLiteral("%T");
    bool portableNames = true; // "Nomi compatibili con tutti i sistemi"
};

// Names the plan's files under its folder by its pattern: each row's path from its title and tags, and
// the log's from the disc's label, in the folder of the first row (the album's). No two files of the run
// share a name; with besideExisting, no name is one that a file in the folder has already (audio, jitter
// file, log or cue sheet): such a name gets " (2)", " (3)"... before its extension. Nothing is made on
// the disk: the run makes the folders when it writes into them.
void NameFiles(TExtractionPlan &plan, bool besideExisting);

// The audio file the ripper writes for a row.
QString AudioFile(const TExtractionPlan &plan, const TExtractionRow &row);

// The cue sheet beside the log: its name with ".cue".
QString CueSheetFile(const TExtractionPlan &plan);

// The files the plan would write that the folder holds already (audio, jitter files, log, cue sheet),
// links included.
QStringList ExistingFiles(const TExtractionPlan &plan);
