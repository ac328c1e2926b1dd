// The disc session without a window: the questions its lookups ask, and the plans it makes.
#include "session/DiscSession.h"

#include "TestDisc.h"
#include "WavTestFile.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

// Several editions are a question: the one chosen names the rows and tags them, with the release's cover
// (from the server quarle-servers.ini names) in the plan of a tagged format; one declined leaves the rows,
// edits and label as they were. MusicBrainz, at the address the same file gives, is asked once a second at
// most, across lookups, and a stop ends that wait too. A new drive choice leaves nothing of the entry.
TEST(DiscSession, EditionsAreAQuestionAndMusicBrainzIsAskedOnceASecond)
{
    // Audio before track 1: the titles go to the disc's tracks, never to its row.
    DiscTrack first = DiscTrack::tone(75, 440);
    first.gap = 30;
    first.gapFrequency = 330;
    TestDisc disc({first, DiscTrack::tone(150, 660)});
    QTemporaryDir program;
    ASSERT_TRUE(WavTestFile::Write(program.filePath("quarle-servers.ini"),
                                   "MusicBrainz=http://mb.example\nCoverArt=http://covers.example\n"));
    std::vector<qint64> asked;
    QElapsedTimer clock;
    clock.start();
    TDiscSession::Services services;
    services.programDir = [path = program.path()] { return path; };
    services.fetchMusicBrainz = [&](THttpCli &, const ProxySettings &, const QString &url) {
        asked.push_back(clock.elapsed());
        EXPECT_TRUE(url.startsWith("http://mb.example/ws/2/discid/")) << url.toStdString();
        const QString release =
            QString("{'id':'rel','title':'Album','artist-credit':[{'name':'Coro'}],'media':"
                    "[{'discs':[{'id':'%1'}],'tracks':[{'title':'Uno'},{'title':'Due'}]}]}")
                .arg(url.section('/', -1).section('?', 0, 0));
        return TFetchedFile{
            TFetchedFile::Found,
            QString("{'releases':[" + release + "," + release + "]}").replace('\'', '"').toUtf8()};
    };
    TDiscSession session(services);
    session.SelectDrive(0);
    const auto descriptions = [&] {
        QStringList texts;
        for (const TDiscRow &row : session.Rows())
            texts << row.description;
        return texts;
    };
    const auto ended = [&] {
        return QTest::qWaitFor([&] { return session.Running() == TDiscSession::Job::None; }, 10000);
    };
    QObject::connect(&session, &TDiscSession::EditionsOffered, [&](const std::vector<DiscEdition> &offered) {
        EXPECT_EQ(offered.size(), 2u);
        session.AnswerEdition(asked.size() == 1 ? 1 : -1);
    });
    QSignalSpy sources(&session, &TDiscSession::LookupEnded);
    ASSERT_TRUE(session.StartLookup({}));
    ASSERT_TRUE(ended());
    EXPECT_EQ(sources.takeFirst().at(0).value<TitleSource>(), TitleSource::MusicBrainz);
    EXPECT_EQ(descriptions(), QStringList({"Traccia nascosta", "Uno", "Due"}));
    EXPECT_EQ(session.Label(), "Coro / Album");

    session.SetDescription(2, "Scritto a mano");
    ASSERT_TRUE(session.StartLookup({}));
    ASSERT_TRUE(ended());
    EXPECT_EQ(sources.takeFirst().at(0).value<TitleSource>(), TitleSource::Declined);
    EXPECT_EQ(descriptions(), QStringList({"Traccia nascosta", "Uno", "Scritto a mano"}));
    EXPECT_EQ(session.Label(), "Coro / Album");
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_GE(asked[1] - asked[0], 1000) << "MusicBrainz asked twice within a second";

    TExtractionPlan plan = session.Plan({{1, 2}, "/out/", AudioFormat::Flac, {}, {}});
    EXPECT_EQ(QStringList({plan.coverUrl, plan.logFile, plan.rows.at(1).tags.title,
                           plan.rows.at(1).tags.album, plan.rows.at(1).tags.track}),
              QStringList({"http://covers.example/release/rel/front-500", "/out/Coro - Album.log",
                           "Scritto a mano", "Album", "2/2"}));
    EXPECT_TRUE(session.Plan({{0}, "/out/", AudioFormat::Wav, {}, {}}).coverUrl.isEmpty());

    ASSERT_TRUE(session.StartLookup({}));
    clock.restart();
    session.Stop();
    ASSERT_TRUE(ended());
    EXPECT_LT(clock.elapsed(), 500) << "the wait for MusicBrainz's turn held the stop";
    EXPECT_EQ(asked.size(), 2u);
    session.SelectDrive(0);
    plan = session.Plan({{1}, "/out/", AudioFormat::Flac, {}, {}});
    EXPECT_EQ(QStringList({plan.rows.at(0).tags.album, plan.logFile, plan.coverUrl}),
              QStringList({"", "/out/QUARLE.log", ""}));
}
