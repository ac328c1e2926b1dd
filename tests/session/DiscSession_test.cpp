// The disc session without a window: the jobs, the questions they ask, and the plans it makes.
#include "session/DiscSession.h"

#include "ScriptedHttpServer.h"
#include "TestDisc.h"

#include "disc/Quarle.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace
{

QByteArray answer(const QByteArray &body)
{
    return "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// A session on a disc of two tracks, its program folder its own; MusicBrainz answers as `musicBrainz`
// says (nothing by default), AccurateRip nothing.
struct Session {
    TestDisc disc;
    QTemporaryDir program;
    std::function<TFetchedFile(const QString &url)> musicBrainz;
    std::unique_ptr<TDiscSession> session;

    explicit Session(DiscTrack first = DiscTrack::tone(75, 440)) : disc({first, DiscTrack::tone(150, 660)})
    {
        TDiscSession::Services services;
        services.programDir = [path = program.path()] { return path; };
        services.fetchAccurateRipFile = [](THttpCli &, const ProxySettings &, const QString &, qint64) {
            return TFetchedFile();
        };
        services.fetchMusicBrainz = [this](THttpCli &http, const ProxySettings &proxy, const QString &url) {
            return musicBrainz ? musicBrainz(url) : TLookupRun::DefaultFetch(http, proxy, url);
        };
        session = std::make_unique<TDiscSession>(services);
        session->SelectDrive(0);
    }
    void Servers(const QByteArray &lines)
    {
        QFile file(program.filePath("quarle-servers.ini"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(lines) == lines.size());
    }
    bool Ended()
    {
        return QTest::qWaitFor([&] { return session->Running() == TDiscSession::Job::None; }, 10000);
    }
    QStringList Descriptions() const
    {
        QStringList texts;
        for (const TDiscRow &row : session->Rows())
            texts << row.description;
        return texts;
    }
};

// A MusicBrainz answer with `releases` editions of the disc whose id the URL asks for.
TFetchedFile editions(const QString &url, int releases, const QString &title)
{
    const QString release = "{'id':'rel','title':'Album','artist-credit':[{'name':'Coro'}],'media':[{'discs':"
                            "[{'id':'" +
                            url.section('/', -1).section('?', 0, 0) + "'}],'tracks':[{'title':'" + title +
                            "'},{'title':'Due'}]}]}";
    QStringList list;
    for (int i = 0; i < releases; ++i)
        list << release;
    return {TFetchedFile::Found,
            QString("{'releases':[" + list.join(',') + "]}").replace('\'', '"').toUtf8()};
}

} // namespace

// A lookup whose server trickles its answer or never answers at all ends within a second of "Annulla"
// or of the session's stop, and leaves the rows as they were; the front end never waits meanwhile.
TEST(DiscSession, ALookupEndsWithinASecondWhateverItsServerDoes)
{
    for (const bool silent : {false, true}) {
        for (const bool stop : {false, true}) {
            Session s;
            ScriptedHttpServer server;
            const QByteArray body = answer("{\"releases\":[]}");
            server.Add({{}, ScriptedHttpServer::Split(body, 1), false, silent, 5000});
            s.Servers("MusicBrainz=http://127.0.0.1:" + QByteArray::number(server.port()) + "\n");
            QElapsedTimer clock;
            clock.start();
            ASSERT_TRUE(s.session->StartLookup({}));
            EXPECT_LT(clock.elapsed(), 500) << "the lookup started on the caller's time";
            ASSERT_TRUE(QTest::qWaitFor([&] { return !server.Requests().isEmpty(); }, 5000));
            clock.restart();
            if (stop)
                s.session->Stop();
            else
                s.session->CancelJob();
            ASSERT_TRUE(s.Ended());
            EXPECT_LT(clock.elapsed(), 1000) << silent << stop;
            EXPECT_EQ(s.Descriptions(), QStringList({"Track 01", "Track 02"}));
        }
    }
}

// Several editions are a question: the one chosen names the rows and tags them, with the release's cover
// in the plan of a tagged format; one declined leaves the rows, edits and label as they were. MusicBrainz
// is asked once a second at most, across lookups, and a stop ends that wait too.
TEST(DiscSession, EditionsAreAQuestionAndMusicBrainzIsAskedOnceASecond)
{
    // Audio before track 1: the titles go to the disc's tracks, never to its row.
    DiscTrack first = DiscTrack::tone(75, 440);
    first.gap = 30;
    first.gapFrequency = 330;
    Session s(first);
    std::vector<qint64> asked;
    QElapsedTimer clock;
    clock.start();
    s.musicBrainz = [&](const QString &url) {
        asked.push_back(clock.elapsed());
        return editions(url, 2, "Uno");
    };
    QObject::connect(s.session.get(), &TDiscSession::EditionsOffered,
                     [&](const std::vector<DiscEdition> &offered) {
                         EXPECT_EQ(offered.size(), 2u);
                         s.session->AnswerEdition(asked.size() == 1 ? 1 : -1);
                     });
    QSignalSpy ended(s.session.get(), &TDiscSession::LookupEnded);
    ASSERT_TRUE(s.session->StartLookup({}));
    ASSERT_TRUE(s.Ended());
    EXPECT_EQ(ended.takeFirst().at(0).value<TitleSource>(), TitleSource::MusicBrainz);
    EXPECT_EQ(s.Descriptions(), QStringList({"Traccia nascosta", "Uno", "Due"}));
    EXPECT_EQ(s.session->Label(), "Coro / Album");

    s.session->SetDescription(2, "Scritto a mano");
    ASSERT_TRUE(s.session->StartLookup({}));
    ASSERT_TRUE(s.Ended());
    EXPECT_EQ(ended.takeFirst().at(0).value<TitleSource>(), TitleSource::Declined);
    EXPECT_EQ(s.Descriptions(), QStringList({"Traccia nascosta", "Uno", "Scritto a mano"}));
    EXPECT_EQ(s.session->Label(), "Coro / Album");
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_GE(asked[1] - asked[0], 1000) << "MusicBrainz asked twice within a second";

    const TExtractionPlan flac = s.session->Plan({{1, 2}, "/out/", AudioFormat::Flac, {}, {}});
    EXPECT_EQ(flac.coverUrl, "https://coverartarchive.org/release/rel/front-500");
    EXPECT_EQ(flac.logFile, "/out/Coro - Album.log");
    EXPECT_EQ(flac.rows.at(1).tags.title, "Scritto a mano");
    EXPECT_EQ(flac.rows.at(1).tags.album, "Album");
    EXPECT_EQ(flac.rows.at(1).tags.track, "2/2");
    EXPECT_TRUE(s.session->Plan({{0}, "/out/", AudioFormat::Wav, {}, {}}).coverUrl.isEmpty());

    ASSERT_TRUE(s.session->StartLookup({}));
    clock.restart();
    s.session->Stop();
    ASSERT_TRUE(s.Ended());
    EXPECT_LT(clock.elapsed(), 500) << "the wait for MusicBrainz's turn held the stop";
    EXPECT_EQ(asked.size(), 2u);
}

// The disc's details as the user corrects them name the log and tag the files; a new drive choice
// leaves nothing of them. The coder serves one job at a time.
TEST(DiscSession, DetailsTagTheFilesAndTheCoderServesOneJob)
{
    Session s;
    ASSERT_TRUE(s.session->SetDetails({"Artista", "Album", "2001", "Pop"}));
    TExtractionPlan plan = s.session->Plan({{1}, "/out/", AudioFormat::Mp3, {}, {}});
    ASSERT_EQ(plan.rows.size(), 1u);
    EXPECT_EQ(QStringList({plan.rows[0].tags.artist, plan.rows[0].tags.year, plan.rows[0].tags.track,
                           plan.logFile, plan.coverUrl}),
              QStringList({"Artista", "2001", "2/2", "/out/Artista - Album.log", ""}));
    s.session->SelectDrive(0);
    plan = s.session->Plan({{1}, "/out/", AudioFormat::Mp3, {}, {}});
    EXPECT_EQ(QStringList({plan.rows[0].tags.artist, plan.logFile}), QStringList({"", "/out/QUARLE.log"}));

    QTemporaryDir out;
    const QString wav = out.filePath("a.wav");
    ASSERT_TRUE(s.session->StartExtraction({{0, 1}, out.path() + "/", AudioFormat::Wav, {}, {}}));
    EXPECT_THROW(s.session->StartConversion({wav}, {"44100", "128", "320"}), Exception);
    ASSERT_TRUE(s.Ended());
    ASSERT_TRUE(s.session->StartConversion({out.filePath("Track 02.wav")}, {"44100", "128", "320"}));
    EXPECT_THROW(s.session->StartExtraction({{0}, out.path() + "/", AudioFormat::Wav, {}, {}}), Exception);
    ASSERT_TRUE(s.Ended());
    EXPECT_TRUE(QFile::exists(out.filePath("Track 02.mp3")));
}
