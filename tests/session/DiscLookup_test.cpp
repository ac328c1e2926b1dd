#include "session/DiscLookup.h"

#include "TestDisc.h"

#include "platform/CdDevice.h"

#include <gtest/gtest.h>

namespace
{

// A lookup on a disc of audio 10 s, data 4 s, audio 10 s (identifier 0c001803), listed as rows for
// disc tracks 1 and 3. Its CUE sheet holds CD-Text.
struct Lookup {
    TestDisc disc{{{750, DiscTrack::Kind::Tone, 440, 0.5, "Alba", "Coro"},
                   DiscTrack::data(300),
                   {750, DiscTrack::Kind::Tone, 660, 0.5, "Sera", "Ospite"}},
                  "disc",
                  {"Album CD", "Coro"}};
    QString query, read, label;
    bool startAgain = false; // "Aggiorna" once more while the first request waits
    QStringList rows = {"Track 01", "Track 03"}, urls;
    QList<QDeadlineTimer> deadlines;
    QByteArray musicBrainz; // the releases' JSON, "ID" for the disc id; empty: not reached
    bool cdText = true;
    int choice = 0;
    std::vector<DiscEdition> offered;
    CddbEntry entry;
    TitleSource source = TitleSource::None;

    void run()
    {
        DiscLookupContext c;
        c.driveLetter = 'D';
        c.trackList = &rows;
        c.rowTracks = {1, 3};
        c.setDiscTitle = [this](const QString &t) { label = t; };
        c.fetch = [this](const QString &url, QDeadlineTimer deadline) -> std::optional<QStringList> {
            urls << url;
            deadlines << deadline;
            if (std::exchange(startAgain, false))
                run();
            if (url.contains("cddb+query+0c001803+3+150+900+1200+24&"))
                return query.isEmpty() ? std::nullopt : std::optional(query.split('\n'));
            return read.split('\n');
        };
        c.fetchMusicBrainz = [this](const QString &url) -> std::optional<QByteArray> {
            EXPECT_TRUE(url.startsWith("https://musicbrainz.org/ws/2/discid/")) << url.toStdString();
            const QByteArray id = url.section('/', -1).section('?', 0, 0).toLatin1();
            return musicBrainz.isEmpty() ? std::nullopt
                                         : std::optional(QByteArray(musicBrainz).replace("ID", id));
        };
        c.readCdText = [this] { return cdText ? CdDevice::cdTextOf(disc.image().cuePath) : CdText(); };
        c.chooseEdition = [this](const std::vector<DiscEdition> &editions) {
            return offered = editions, choice;
        };
        c.setEntry = [this](const CddbEntry &e) { entry = e; };
        source = QueryDiscDatabase(c);
    }
};

} // namespace

// MusicBrainz (one of its editions, or none), else CDDB, else the CD-Text: the first that names tracks
// fills the rows (each title on its own disc track's row), the label and the entry. An inexact CDDB
// match is read by its own category and identifier, not the disc's. A second start does nothing.
TEST(DiscLookup, MusicBrainzThenCddbThenTheCdText)
{
    // clang-format off
    const QByteArray releases = QString(
        "{'releases':[{'id':'r1','title':'Prima','artist-credit':[{'name':'Coro'}],'media':[{'position':1,"
        "'discs':[{'id':'ID'}],'tracks':[{'title':'Uno-1'},{'title':'Uno-2'}]}]},{'id':'r2','title':"
        "'Seconda','date':'2001-02-03','artist-credit':[{'name':'Altro'}],'media':[{'position':1,'format':"
        "'CD','discs':[{'id':'ID'}],'tracks':[{'title':'Due-1'},{'title':'Due-2','artist-credit':[{'name':"
        "'Ospite'}]}]}]}]}").replace('\'', '"').toUtf8();
    // A medium that lists the data track, as MusicBrainz does when it is not the last.
    const QByteArray withData = QString(
        "{'releases':[{'id':'r1','title':'Prima','artist-credit':[{'name':'Coro'}],'media':[{'position':1,"
        "'discs':[{'id':'ID'}],'tracks':[{'title':'Uno-1'},{'title':'[data track]'},{'title':'Uno-3'}]}]}]}")
        .replace('\'', '"').toUtf8();
    const struct {
        QByteArray musicBrainz;
        int choice;
        QString query, read, readCommand;
        bool startAgain, cdText;
        TitleSource source;
        QStringList rows;
        QString label, entry;
    } cases[] = {
        {releases, 1, "", "", "", false, true, TitleSource::MusicBrainz, {"Due-1", "Due-2"}, "Altro / Seconda", "Altro|Seconda|2001|Ospite"},
        {releases, -1, "", "", "", false, true, TitleSource::Declined, {"Track 01", "Track 03"}, "", "|||"},
        {withData, 0, "", "", "", false, true, TitleSource::MusicBrainz, {"Uno-1", "Uno-3"}, "Coro / Prima", "Coro|Prima||"},
        {"", 0, "200 rock 0c001803 A / B", "210 rock\nTTITLE0=Intro\nTTITLE2=Outro = End\nTTITLE7=No\nTTITLE-1=No",
         "read+rock+0c001803+", true, true, TitleSource::Cddb, {"Intro", "Outro = End"}, "A / B", "|||"},
        {"", 0, "211 Found inexact matches\nsoundtrack 0c001a03 Film / Music\nrock 0c001803 X / Y\n.",
         "200 soundtrack 0c001a03\nTTITLE0=Theme\n.", "read+soundtrack+0c001a03+", false, true, TitleSource::Cddb,
         {"Theme", "Track 03"}, "Film / Music", "|||"},
        {"{}", 0, "", "", "", false, true, TitleSource::CdText, {"Alba", "Sera"}, "Coro / Album CD", "Coro|Album CD||Ospite"},
        {"", 0, "200 rock 0c001803 A / B", "210 rock\nDTITLE=A / B\n.", "read+rock+", false, true, TitleSource::CdText, {"Alba", "Sera"}, "Coro / Album CD", "Coro|Album CD||Ospite"},
        {"", 0, "", "", "", false, false, TitleSource::None, {"Track 01", "Track 03"}, "", "|||"},
    };
    // clang-format on
    for (const auto &c : cases) {
        Lookup w;
        std::tie(w.musicBrainz, w.choice, w.query, w.read, w.startAgain, w.cdText) =
            std::tie(c.musicBrainz, c.choice, c.query, c.read, c.startAgain, c.cdText);
        w.run();
        EXPECT_EQ(w.source, c.source) << c.rows.join(',').toStdString();
        EXPECT_EQ(w.rows, c.rows);
        const QString trackArtist = w.entry.tracks.count(2) ? w.entry.tracks.at(2).artist : "";
        EXPECT_EQ(QStringList({w.label, w.entry.artist, w.entry.album, w.entry.year, trackArtist}).join('|'),
                  c.label + "|" + c.entry);
        if (c.musicBrainz == releases) {
            EXPECT_EQ(QStringList({w.offered.at(1).year, w.offered.at(1).labelOrFormat}).join('|'),
                      "2001|CD");
        }
        // The read follows the query; one time limit for both, however slowly the server answers.
        const bool musicBrainz = c.source == TitleSource::MusicBrainz || c.source == TitleSource::Declined;
        EXPECT_EQ(w.urls.size(), musicBrainz ? 0 : c.query.isEmpty() ? 1 : 2);
        EXPECT_TRUE(w.urls.value(1).contains(c.readCommand)) << w.urls.value(1).toStdString();
        EXPECT_TRUE(w.deadlines.isEmpty() || (w.deadlines.first() == w.deadlines.last() &&
                                              w.deadlines.first().remainingTime() <= kLookupTimeLimitMs));
    }
}
