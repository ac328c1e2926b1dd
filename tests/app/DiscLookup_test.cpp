#include "app/DiscLookup.h"

#include "lookup/DocumentFetcher.h"
#include "platform/CdAudioDevice.h"

#include "TestDisc.h"

#include <gtest/gtest.h>

namespace
{

const QString Server = "http://freedb.dbpoweramp.com/~cddb/cddb.cgi?cmd=";
const QString Greeting = "&hello=quarle+localhost+QUARLE+1.0&proto=4";
const QString Query = Server + "cddb+query+0c001803+3+150+900+1200+24" + Greeting;
const QStringList Captions = {"Track 01", "Track 03"};

// The window's side of a lookup on a disc of audio 10 s, data 4 s, audio 10 s (identifier 0c001803),
// listed as rows for disc tracks 1 and 3. Each request gets the answer whose key its URL contains,
// or a failed fetch.
struct Window {
    TestDisc disc{{DiscTrack::tone(750, 440), DiscTrack::data(300), DiscTrack::tone(750, 660)}};
    QStringList rows = Captions, urls;
    QString label = "Disc image disc.cue", edit5;
    std::vector<std::pair<QString, QStringList>> answers;
    std::function<void()> duringFetch;
    QString fileErrorOn; // a request whose document file cannot be read back
    QList<QDeadlineTimer> deadlines;

    DiscLookupContext context()
    {
        DiscLookupContext c;
        c.driveLetter = 'D';
        c.trackList = &rows;
        c.rowTracks = {1, 3};
        c.setDiscTitle = [this](const QString &t) { label = t; };
        c.setRequestUrl = [this](const QString &u) { edit5 = u; };
        c.fetch = [this](const QString &url, QDeadlineTimer deadline) -> std::optional<QStringList> {
            urls << url;
            deadlines << deadline;
            if (duringFetch)
                duringFetch();
            if (!fileErrorOn.isEmpty() && url.contains(fileErrorOn))
                throw EDocumentFileError("temp: cannot be read");
            for (const auto &[key, answer] : answers) {
                if (url.contains(key))
                    return answer;
            }
            return std::nullopt;
        };
        return c;
    }
    std::string run(char drive = 'D')
    {
        DiscLookupContext c = context();
        c.driveLetter = drive;
        try {
            QueryDiscDatabase(c);
        } catch (const Exception &e) {
            return e.what();
        }
        return {};
    }
};

} // namespace

TEST(DiscLookup, AnswersOfTheServerOnTheRowsOfTheirDiscTracks)
{
    const char *const Titles =
        "210 rock 0c001803 CD database entry follows\nDTITLE=Some Artist / Some Album\n"
        "TTITLE0=Intro\nTTITLE1=Data track\nTTITLE2=Outro = End\nTTITLE7=No such\n"
        "TTITLE-1=Nor this\nTTITLE2147483647=Nor this\n.";
    const struct {
        const char *query; // nullptr: the fetch fails
        const char *read;
        const char *readCommand; // nullptr: no read is sent
        const char *label;
        QStringList rows;
        const char *error;
    } cases[] = {
        // clang-format off
        // The data track's title has no row; titles of tracks the disc lacks go nowhere.
        {"200 rock 0c001803 Some Artist / Some Album", Titles, "rock+0c001803", "Some Artist / Some Album",
         {"Intro", "Outro = End"}, ""},
        {"202 No match for disc ID 0c001803.", "500 Command syntax error\nTTITLE0=x\n.", "+0c001803",
         "Disc image disc.cue", Captions, ""},
        // An inexact match is read by its own identifier, not the disc's.
        {"211 Found inexact matches\nsoundtrack 0c001a03 Film / Music\nrock 0c001803 X / Y\n.",
         "200 soundtrack 0c001a03\nTTITLE0=Theme\n.", "soundtrack+0c001a03", "Film / Music", {"Theme", "Track 03"}, ""},
        {"200 rock 0c001803 A / B", nullptr, "rock+0c001803", "A / B", Captions, ""},
        {nullptr, nullptr, nullptr, "Disc image disc.cue", Captions, ""},
        {"200 rock 0c001803 A / B", "210 x\nTTITLE0=Kept\nTTITLEtwo=Lost\nTTITLE2=Lost\n.", "rock+0c001803", "A / B",
         {"Kept", "Track 03"}, "'two' is not a valid integer value"},
        // clang-format on
    };
    for (const auto &c : cases) {
        Window w;
        if (c.query)
            w.answers.push_back({"cddb+query", QString(c.query).split('\n')});
        if (c.read)
            w.answers.push_back({"cddb+read", QString(c.read).split('\n')});
        EXPECT_EQ(w.run(), c.error) << (c.query ? c.query : "network down");
        ASSERT_EQ(w.urls.size(), c.readCommand ? 2 : 1) << (c.query ? c.query : "network down");
        EXPECT_EQ(w.urls[0], Query) << (c.query ? c.query : "network down");
        if (c.readCommand) {
            EXPECT_EQ(w.urls[1], Server + "cddb+read+" + c.readCommand + "+" + Greeting) << c.query;
            EXPECT_EQ(w.edit5, w.urls[1]) << (c.query ? c.query : "network down");
        }
        EXPECT_EQ(w.label.toStdString(), c.label) << (c.query ? c.query : "network down");
        EXPECT_EQ(w.rows, c.rows) << (c.query ? c.query : "network down");
        EXPECT_FALSE(DiscLookupRunning()) << (c.query ? c.query : "network down");
        // One time limit for the whole lookup, however slowly the server answers each request.
        EXPECT_GT(w.deadlines[0].remainingTime(), 0);
        EXPECT_LE(w.deadlines[0].remainingTime(), kLookupTimeLimitMs);
        EXPECT_EQ(w.deadlines.first(), w.deadlines.last());
    }
}

TEST(DiscLookup, DeviceAndDocumentFailuresAndASecondStart)
{
    Window w;
    w.answers = {{"cddb+query", {"200 rock 0c001803 A / B"}}, {"cddb+read", {"200 x", "TTITLE0=T", "."}}};
    // A letter the device does not know: its own text, before any request; no drive: nothing at all.
    EXPECT_EQ(w.run('Q'), CdAudioDevice::errorText(CdAudioDevice::ErrorNoSuchDrive).toStdString());
    EXPECT_EQ(w.run(0), "");
    EXPECT_TRUE(w.urls.isEmpty());

    // The query's document file unreadable: silent. The read's: raised, the label already set.
    w.fileErrorOn = "cddb+query";
    EXPECT_EQ(w.run(), "");
    EXPECT_EQ(w.label, "Disc image disc.cue");
    w.fileErrorOn = "cddb+read";
    EXPECT_EQ(w.run(), "temp: cannot be read");
    EXPECT_EQ(w.label, "A / B");
    EXPECT_EQ(w.rows, Captions);
    w.fileErrorOn.clear();
    w.urls.clear();

    // "Aggiorna" again while the first lookup waits for the network: nothing happens.
    w.duringFetch = [&] {
        EXPECT_TRUE(DiscLookupRunning());
        if (w.urls.size() == 1) {
            EXPECT_EQ(w.run(), "");
        }
    };
    EXPECT_EQ(w.run(), "");
    EXPECT_EQ(w.urls.size(), 2);
    EXPECT_EQ(w.rows, QStringList({"T", "Track 03"}));
    EXPECT_FALSE(DiscLookupRunning());
}
