#include "EndToEndFixture.h"
#include "FormLayout.h"

#include "CddbDemoDatabase.h"
#include "CddbDemoServer.h"
#include "DiscImage.h"
#include "TestDisc.h"

#include "lookup/CDInfo.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>

namespace
{

// The disc's identifier as a lookup computes it from the drive's table of contents.
QString DiscIdOfDriveD()
{
    TCDInfo info;
    info.Open('D');
    const QString id = info.GetDiscIdText();
    info.Close();
    return id;
}

} // namespace

class EndToEndLookup : public EndToEnd
{
};

// "Aggiorna" asks a CDDB server reached through the proxy fields of the settings file; the titles it
// answers (one holding "/", one a Latin-1 letter) name the rows, and "Estrai" names the files after
// them.
TEST_F(EndToEndLookup, AggiornaThroughTheProxyNamesTheRowsAndEstraiNamesTheFiles)
{
    const std::vector<DiscTrack> tracks = {DiscTrack::tone(150, 440), DiscTrack::tone(120, 660),
                                           DiscTrack::tone(135, 880)};
    TestDisc disc(tracks);
    const QString discId = DiscIdOfDriveD();
    ASSERT_EQ(discId.size(), 8);

    CddbDemoDatabase database;
    QString error;
    ASSERT_TRUE(database.Add("misc",
                             "# xmcd\nDISCID=" + discId +
                                 "\nDTITLE=Ensemble Quarle / Prove di città\n"
                                 "TTITLE0=Preludio\nTTITLE1=Andante / Allegro\nTTITLE2=Città\n",
                             &error))
        << error.toStdString();
    CddbDemoServer server(database);
    ASSERT_TRUE(server.Listen(0, &error)) << error.toStdString();
    QStringList commands;
    server.OnReply = [&](QObject *, int, const CddbHttpExchange::Reply &reply) {
        commands << reply.command + " -> " + QString::number(reply.status);
    };

    QTemporaryDir out;
    WriteIni({.dir = out.path() + "/",
              .format = "1",
              .proxyHost = "127.0.0.1",
              .proxyPort = QString::number(server.Port())});
    FormLayout layout;
    ASSERT_TRUE(layout.Valid()) << layout.Errors().join("\n").toStdString();

    std::unique_ptr<QuarleRun> run;
    QString window;
    ASSERT_TRUE(Launch(run, disc.driveEntry(), &window));
    ASSERT_TRUE(run->Click(window, layout.ClickPoint("dxButton1")));

    // The server runs on this thread's events. The lookup is over once the read's answer has reached
    // the document file "temp" beside the program; the rows are rebuilt right after it.
    const QString document = QDir(ProgramFolder()).filePath("temp");
    const auto readAnswered = [&] {
        QFile file(document);
        return server.Requests() >= 2 && file.open(QIODevice::ReadOnly) &&
               file.readAll().contains("TTITLE2=");
    };
    ASSERT_TRUE(QTest::qWaitFor(readAnswered, LongWaitMs))
        << "requests answered: " << server.Requests() << "\n"
        << commands.join("\n").toStdString() << "\n"
        << run->ErrorOutput().toStdString();
    QTest::qWait(500);
    ASSERT_EQ(commands.size(), 2);
    EXPECT_TRUE(commands[0].startsWith("cddb query " + discId + " 3 ")) << commands[0].toStdString();
    EXPECT_EQ(commands[1].simplified().toStdString(), ("cddb read misc " + discId + " -> 200").toStdString());
    EXPECT_FALSE(Screenshot("lookup.png").isEmpty());

    ASSERT_TRUE(run->Click(window, layout.ClickPoint("dxButton2")));
    const QStringList names = {"Andante - Allegro.wav", QString::fromUtf8("Città.wav"), "Preludio.wav"};
    ASSERT_TRUE(WaitForExtraction(*run, QDir(out.path()), names));
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files, QDir::Name), names);
    const qint64 sizes[] = {44 + 120 * 2352, 44 + 135 * 2352, 44 + 150 * 2352};
    for (int i = 0; i < names.size(); ++i)
        EXPECT_EQ(QFileInfo(QDir(out.path()).filePath(names[i])).size(), sizes[i]) << names[i].toStdString();
    EXPECT_TRUE(CloseWithButton(*run, window, layout));
}
