#pragma once

#include "lookup/CDInfo.h"
#include "lookup/Cddb.h"
#include "lookup/MusicBrainz.h"
#include "platform/CdDevice.h"

#include <QDeadlineTimer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

// One of several editions a database offers for the disc, as the user chooses among them.
struct DiscEdition {
    QString artist, title, year, country;
    QString labelOrFormat; // a release's label or its medium's format; a CDDB match's category
    int tracks = 0;        // 0 when unknown
};

// Where the titles of a lookup came from. Declined: the user chose none of the editions offered.
// Where a lookup's titles came from. Unreachable: none, and no database answered at all.
enum class TitleSource { None, MusicBrainz, Cddb, CdText, Declined, Unreachable };

// What the disc database lookup takes from the main window and gives back to it.
struct DiscLookupContext {
    // The first character of the selected entry of CbBoxActiveCDRom; 0 when no entry is selected.
    char driveLetter = 0;
    // Makes the disc information for the drive; unset means TCDInfo over the CD audio device.
    std::function<std::unique_ptr<TCDInfo>()> makeCdInfo;
    // FetchDocument: the document's lines, or nothing when the request failed or had not ended by
    // `deadline`. May raise when the received document cannot be read back.
    std::function<std::optional<QStringList>(const QString &url, QDeadlineTimer deadline)> fetch;
    // The answer to a MusicBrainz disc id lookup at url; nothing when the server was not reached, does
    // not know the disc (404) or gave any other failure.
    std::function<std::optional<QByteArray>(const QString &url)> fetchMusicBrainz;
    QString musicBrainzServer = MusicBrainz::DefaultServer;
    // The disc's own CD-Text, read from the drive or the image's sheet.
    std::function<CdText()> readCdText;
    // Several editions of the disc on offer: the index of the one to take, or -1 for none of them.
    std::function<int(const std::vector<DiscEdition> &)> chooseEdition;
    // ListBoxTrackList: one line per row, the ripper's captions on the way in, titles on the way out.
    QStringList *trackList = nullptr;
    // The disc track number (from 1) of each line of trackList, data tracks counted. Empty means the
    // lines are disc tracks 1, 2, 3... in order.
    std::vector<int> rowTracks;
    // LabeActiveCDRom receives the disc title; Edit5 each request's URL.
    std::function<void(const QString &)> setDiscTitle;
    std::function<void(const QString &)> setRequestUrl;
    // The disc's entry (artist, album, year, genre, track titles), after its titles were stored; a
    // MusicBrainz release or the CD-Text in the same form.
    std::function<void(const CddbEntry &)> setEntry;
};

// A whole lookup, query and read, ends within this time, however slowly a server trickles its answer.
constexpr int kLookupTimeLimitMs = 60 * 1000;

// Asks for the titles of the drive's disc: MusicBrainz by the disc's MusicBrainz id first; when it has
// none, the CDDB server (query, then read) by the CDDB identifier; when neither gives titles, the
// disc's CD-Text. The first source that gives track titles stores them into trackList, each on the row
// of its own disc track (titles of data tracks and of tracks without a row are dropped), and hands its
// entry to setEntry; the source is the result. Several editions go to chooseEdition first.
// Network and HTTP failures are silent: the lookup goes on with the next source. A device failure
// raises the device's text; a CDDB title line with a bad index raises EConvertError, keeping the
// titles stored before it.
//
// While it waits for the network the window stays live, so "Aggiorna" can be clicked again: the
// refresh must then do nothing (see DiscLookupRunning). A call made while another lookup runs
// returns None at once without any change.
TitleSource QueryDiscDatabase(DiscLookupContext &context);

// The disc label's text for an artist and an album: "Artist / Album", or the one that is given.
QString DiscLabel(const QString &artist, const QString &album);

// True from the start of a lookup to its end, however it ends.
bool DiscLookupRunning();
