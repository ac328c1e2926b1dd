#include "app/DiscLookup.h"

#include "app/FetchDocument.h"
#include "lookup/Cddb.h"
#include "lookup/HttpCli.h"

#include "TestDisc.h"

#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTemporaryDir>

namespace
{

const QString Server = "http://freedb.dbpoweramp.com/~cddb/cddb.cgi?cmd=";
const QString Greeting = "&hello=quarle+localhost+QUARLE+1.0&proto=4";

// Audio 10 s, data 4 s, audio 10 s: the ripper lists disc tracks 1 and 3 as rows. Identifier 0c001803.
std::vector<DiscTrack> mixedDisc()
{
    return {DiscTrack::tone(750, 440), DiscTrack::data(300), DiscTrack::tone(750, 660)};
}

// The window's side of a lookup, with a scripted server: each request gets the answer whose key
// (a piece of the command) its URL contains, or a failed fetch.
struct Window {
    QStringList rows{"Track 01", "Track 03"};
    QString label = "Disc image disc.cue";
    QStringList urls;
    QString edit5;
    std::vector<std::pair<QString, std::optional<QStringList>>> answers;
    std::function<void()> duringFetch;
    QString fileErrorOn; // a request whose document file cannot be read back

    DiscLookupContext context()
    {
        DiscLookupContext c;
        c.driveLetter = 'D';
        c.trackList = &rows;
        c.rowTracks = {1, 3};
        c.setDiscTitle = [this](const QString &t) { label = t; };
        c.setRequestUrl = [this](const QString &u) { edit5 = u; };
        c.fetch = [this](const QString &url) -> std::optional<QStringList> {
            urls << url;
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
};

QStringList lines(const char *text)
{
    return QString::fromLatin1(text).split('\n');
}

} // namespace

TEST(DiscLookup, StoresTitlesOnTheRowsOfTheirDiscTracks)
{
    TestDisc disc(mixedDisc());
    Window w;
    w.answers = {{"cddb+query", lines("200 rock 0c001803 Some Artist / Some Album")},
                 {"cddb+read+rock+0c001803+", lines("210 rock 0c001803 CD database entry follows\n"
                                                    "DTITLE=Some Artist / Some Album\n"
                                                    "TTITLE0=Intro\nTTITLE1=Data track\nTTITLE2=Outro = End\n"
                                                    "TTITLE7=No such track\nTTITLE-1=Nor this\n"
                                                    "TTITLE2147483647=Nor this\n.")}};
    DiscLookupContext c = w.context();
    QueryDiscDatabase(c);

    ASSERT_EQ(w.urls.size(), 2);
    EXPECT_EQ(w.urls[0], Server + "cddb+query+0c001803+3+150+900+1200+24" + Greeting);
    EXPECT_EQ(w.urls[1], Server + "cddb+read+rock+0c001803+" + Greeting);
    EXPECT_EQ(w.edit5, w.urls[1]);
    EXPECT_EQ(w.label, "Some Artist / Some Album");
    // The data track's title has no row; titles for tracks the disc lacks go nowhere.
    EXPECT_EQ(w.rows, QStringList({"Intro", "Outro = End"}));
    EXPECT_FALSE(DiscLookupRunning());
}

TEST(DiscLookup, AnswersAndFailuresOfTheServer)
{
    TestDisc disc(mixedDisc());
    struct Case {
        const char *name;
        const char *query;       // nullptr: the fetch fails
        const char *read;        // nullptr: the fetch fails
        const char *readCommand; // what the read must ask for; nullptr: no read is sent
        const char *label;
        QStringList rows;
        const char *error; // the failure that ends the lookup, if any
    } cases[] = {
        {"no match",
         "202 No match for disc ID 0c001803.",
         "500 Command syntax error\nTTITLE0=x\n.",
         "cddb+read++0c001803+",
         "Disc image disc.cue",
         {"Track 01", "Track 03"},
         nullptr},
        {"inexact matches",
         "211 Found inexact matches\nsoundtrack 0c001803 Film / Music\nrock 0c001803 X / Y\n.",
         "200 soundtrack 0c001803\nTTITLE0=Theme\n.",
         "cddb+read+soundtrack+0c001803+",
         "Film / Music",
         {"Theme", "Track 03"},
         nullptr},
        {"read fails",
         "200 rock 0c001803 A / B",
         nullptr,
         "cddb+read+rock+0c001803+",
         "A / B",
         {"Track 01", "Track 03"},
         nullptr},
        {"network down", nullptr, nullptr, nullptr, "Disc image disc.cue", {"Track 01", "Track 03"}, nullptr},
        {"bad index",
         "200 rock 0c001803 A / B",
         "210 x\nTTITLE0=Kept\nTTITLEtwo=Lost\nTTITLE2=Lost\n.",
         "cddb+read+rock+0c001803+",
         "A / B",
         {"Kept", "Track 03"},
         "'two' is not a valid integer value"},
    };
    for (const Case &c : cases) {
        Window w;
        if (c.query)
            w.answers.push_back({"cddb+query", lines(c.query)});
        if (c.read)
            w.answers.push_back({"cddb+read", lines(c.read)});
        DiscLookupContext context = w.context();
        std::string error;
        try {
            QueryDiscDatabase(context);
        } catch (const Exception &e) {
            error = e.what();
        }
        EXPECT_EQ(error, c.error ? c.error : "") << c.name;
        ASSERT_EQ(w.urls.size(), c.readCommand ? 2 : 1) << c.name;
        if (c.readCommand) {
            EXPECT_EQ(w.urls[1], Server + c.readCommand + Greeting) << c.name;
        }
        EXPECT_EQ(w.label.toStdString(), c.label) << c.name;
        EXPECT_EQ(w.rows, c.rows) << c.name;
        EXPECT_FALSE(DiscLookupRunning()) << c.name;
    }
}

// The real fetch through a proxy that refuses connections: the rows keep the ripper's captions and
// nothing is shown.
TEST(DiscLookup, NetworkDownLeavesTheCaptionsAndShowsNothing)
{
    TestDisc disc(mixedDisc());
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const QString port = QString::number(closed.serverPort());
    closed.close();

    QTemporaryDir programDir;
    THttpCli http;
    QStringList pagina;
    QStringList messages;
    Window w;
    DiscLookupContext c = w.context();
    c.fetch = [&](const QString &url) {
        w.urls << url;
        return FetchDocument(http, {"127.0.0.1", port, "", ""}, url, programDir.path(), pagina,
                             [&messages](const QString &m) { messages << m; });
    };
    EXPECT_NO_THROW(QueryDiscDatabase(c));
    EXPECT_EQ(w.urls.size(), 1);
    EXPECT_EQ(w.rows, QStringList({"Track 01", "Track 03"}));
    EXPECT_EQ(w.label, "Disc image disc.cue");
    EXPECT_TRUE(messages.isEmpty());
}

TEST(DiscLookup, DeviceFailuresNoDriveAndASecondStart)
{
    TestDisc disc(mixedDisc());
    Window w;
    w.answers = {{"cddb+query", lines("200 rock 0c001803 A / B")},
                 {"cddb+read", lines("200 x\nTTITLE0=T\n.")}};

    // A letter the device does not know: its own text, before any request.
    DiscLookupContext c = w.context();
    c.driveLetter = 'Q';
    try {
        QueryDiscDatabase(c);
        ADD_FAILURE() << "no error";
    } catch (const Exception &e) {
        EXPECT_EQ(e.what(), CdAudioDevice::errorText(CdAudioDevice::ErrorNoSuchDrive).toStdString());
    }
    c.driveLetter = 0;
    QueryDiscDatabase(c);
    EXPECT_TRUE(w.urls.isEmpty());

    // The query's document file unreadable: silent. The read's: raised, the label already set.
    c.driveLetter = 'D';
    w.fileErrorOn = "cddb+query";
    EXPECT_NO_THROW(QueryDiscDatabase(c));
    EXPECT_EQ(w.label, "Disc image disc.cue");
    w.fileErrorOn = "cddb+read";
    EXPECT_THROW(QueryDiscDatabase(c), EDocumentFileError);
    EXPECT_EQ(w.label, "A / B");
    EXPECT_EQ(w.rows, QStringList({"Track 01", "Track 03"}));
    w.fileErrorOn.clear();
    w.urls.clear();

    // "Aggiorna" again while the first lookup waits for the network: nothing happens.
    int nested = 0;
    w.duringFetch = [&] {
        EXPECT_TRUE(DiscLookupRunning());
        if (nested++ == 0) {
            DiscLookupContext second = w.context();
            QueryDiscDatabase(second);
        }
    };
    c = w.context();
    QueryDiscDatabase(c);
    EXPECT_EQ(w.urls.size(), 2);
    EXPECT_EQ(w.rows, QStringList({"T", "Track 03"}));
    EXPECT_FALSE(DiscLookupRunning());
}
