#include "MainWindowFixture.h"
#include "ScriptedHttpServer.h"
#include "TestDisc.h"

#include "app/MainFormUi.h"
#include "lookup/Cddb.h"

#include <QDir>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace
{

QByteArray answer(const QByteArray &body)
{
    return "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

QStringList descriptions(const TDlgMainForm &form)
{
    QStringList list;
    for (const RowView &row : rowsOf(form))
        list << row.description;
    return list;
}

} // namespace

TEST(WindowLookup, AggiornaNamesTheRowsThroughTheProxyAndEstraiUsesTheTitles)
{
    TestDisc disc({DiscTrack::tone(750, 440), DiscTrack::data(300), DiscTrack::tone(900, 660),
                   DiscTrack::tone(600, 880)});
    QTemporaryDir out;
    ErrorRecorder errors;
    ScriptedHttpServer cddb;
    cddb.Add({{}, {answer("200 rock 2a0c8e04 Ensemble Quarle / Prove\r\n")}});
    cddb.Add(
        {{},
         {answer(
             "210 rock 2a0c8e04 CD database entry follows (until terminating `.')\r\n"
             "DISCID=2a0c8e04\r\nDTITLE=Ensemble Quarle / Prove\r\n"
             "TTITLE0=Preludio\r\nTTITLE1=(dati)\r\nTTITLE2=Andante / Allegro\r\nTTITLE3=Finale\r\n.\r\n")}});

    auto form = openMainWindow();
    ASSERT_TRUE(form);
    form->ui->ProxyHostEdit->setText("127.0.0.1");
    form->ui->ProxyPortEdit->setText(QString::number(cddb.port()));
    QTest::mouseClick(form->ui->dxButton1, Qt::LeftButton);

    ASSERT_EQ(cddb.Requests().size(), 2) << cddb.Mismatches().join("\n").toStdString();
    const QByteArray target = "GET http://" + Cddb::Host.toLatin1() + Cddb::Path.toLatin1() + "?cmd=cddb+";
    EXPECT_TRUE(cddb.Requests()[0].startsWith(target + "query+")) << cddb.Requests()[0].toStdString();
    EXPECT_TRUE(cddb.Requests()[1].startsWith(target + "read+rock+")) << cddb.Requests()[1].toStdString();
    EXPECT_TRUE(cddb.Requests()[0].contains("\r\nHost: " + Cddb::Host.toLatin1() + "\r\n"));
    EXPECT_EQ(descriptions(*form), QStringList({"Preludio", "Andante / Allegro", "Finale"}));
    EXPECT_EQ(form->ui->LabeActiveCDRom->text(), "Ensemble Quarle / Prove");
    EXPECT_EQ(form->ui->Edit5->text().left(7), "http://");

    form->ui->dir->setText(out.path() + "/");
    form->ui->RGroupFormatExtractionWav->click();
    form->BtnExtraireClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->ExtractionRunning(); }, 60000));
    EXPECT_EQ(
        QDir(out.path()).entryList(QDir::Files, QDir::Name),
        QStringList({"Andante - Allegro.wav", "Ensemble Quarle - Prove.log", "Finale.wav", "Preludio.wav"}));
    EXPECT_EQ(QFileInfo(out.filePath("Andante - Allegro.wav")).size(), 44 + 900 * 2352);
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join("\n").toStdString();

    // Choosing the drive again brings the ripper's captions back; the label names the drive.
    form->SelectDriveAndListTracks();
    EXPECT_EQ(descriptions(*form), QStringList({"Track 01", "Track 03", "Track 04"}));
}

TEST(WindowLookup, NetworkDownLeavesTheCaptionsAndShowsNothing)
{
    TestDisc disc({DiscTrack::tone(750, 440), DiscTrack::tone(900, 660)});
    ErrorRecorder errors;
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
        closedPort = probe.serverPort();
    }
    auto form = openMainWindow();
    ASSERT_TRUE(form);
    const QString label = form->ui->LabeActiveCDRom->text();
    form->ui->ProxyHostEdit->setText("127.0.0.1");
    form->ui->ProxyPortEdit->setText(QString::number(closedPort));
    QTest::mouseClick(form->ui->dxButton1, Qt::LeftButton);
    EXPECT_EQ(descriptions(*form), QStringList({"Track 01", "Track 02"}));
    EXPECT_EQ(form->ui->LabeActiveCDRom->text(), label);
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join("\n").toStdString();
    EXPECT_TRUE(form->ui->dxButton2->isEnabled());
}

// While "Aggiorna" waits for the server, "Estrai" and the drive box are held; a drive changed all the
// same keeps its own captions. Both controls come back after the lookup, also after one that fails.
TEST(WindowLookup, WhileTheServerIsAwaitedNothingElseStartsAndTitlesStayWithTheirDisc)
{
    TestDisc alpha({DiscTrack::tone(750, 440), DiscTrack::tone(900, 660)}, "alpha");
    TestDisc beta({DiscTrack::tone(300, 440), DiscTrack::tone(300, 550), DiscTrack::tone(300, 660)}, "beta");
    TestDisc::setDrives(alpha.driveEntry('D') + ";" + beta.driveEntry('E'));
    QTemporaryDir out;
    ErrorRecorder errors;
    const QByteArray read = answer("210 rock 1e00d402 CD database entry follows (until terminating `.')\r\n"
                                   "DTITLE=Ensemble Quarle / Alfa\r\nTTITLE0=Uno\r\nTTITLE1=Due\r\n.\r\n");
    ScriptedHttpServer cddb;
    cddb.Add({{}, {answer("200 rock 1e00d402 Ensemble Quarle / Alfa\r\n")}});
    // The read's answer comes in two pieces, a second apart: the test acts in between.
    cddb.Add({{}, ScriptedHttpServer::SplitAt(read, {20}), false, false, 1000});
    cddb.Add({{}, {answer("200 rock 1e00d402 Ensemble Quarle / Alfa\r\n")}});
    cddb.Add({{}, {answer("210 rock 1e00d402 CD database entry follows\r\nTTITLEx=Uno\r\n.\r\n")}});

    auto form = openMainWindow();
    ASSERT_TRUE(form);
    form->ui->dir->setText(out.path() + "/");
    form->ui->ProxyHostEdit->setText("127.0.0.1");
    form->ui->ProxyPortEdit->setText(QString::number(cddb.port()));

    bool acted = false, estraiEnabled = true, driveEnabled = true, extracting = true;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (acted || cddb.Requests().size() < 2)
            return;
        acted = true;
        QTest::mouseClick(form->ui->Label14, Qt::LeftButton); // "seleziona tutto" would enable "Estrai"
        estraiEnabled = form->ui->dxButton2->isEnabled();
        driveEnabled = form->ui->CbBoxActiveCDRom->isEnabled();
        QTest::mouseClick(form->ui->dxButton2, Qt::LeftButton);
        extracting = form->ExtractionRunning();
        // The drive changes all the same (a handler run by other means): the titles are not its own.
        form->ui->CbBoxActiveCDRom->setCurrentIndex(1);
        form->CbBoxActiveCDRomChange();
    });
    poll.start(5);
    QTest::mouseClick(form->ui->dxButton1, Qt::LeftButton);
    poll.stop();
    ASSERT_TRUE(acted) << cddb.Mismatches().join("\n").toStdString();
    EXPECT_FALSE(estraiEnabled);
    EXPECT_FALSE(driveEnabled);
    EXPECT_FALSE(extracting);
    EXPECT_EQ(descriptions(*form), QStringList({"Track 01", "Track 02", "Track 03"}));
    EXPECT_EQ(form->ui->LabeActiveCDRom->text(), "Disc image beta.cue");
    EXPECT_TRUE(form->ui->dxButton2->isEnabled());
    EXPECT_TRUE(form->ui->CbBoxActiveCDRom->isEnabled());

    // A failing lookup (a title line without its number) gives both controls back too.
    form->ui->CbBoxActiveCDRom->setCurrentIndex(0);
    form->CbBoxActiveCDRomChange();
    QTest::mouseClick(form->ui->dxButton1, Qt::LeftButton);
    EXPECT_EQ(errors.messages, QStringList{"'x' is not a valid integer value"});
    EXPECT_TRUE(form->ui->dxButton2->isEnabled());
    EXPECT_TRUE(form->ui->CbBoxActiveCDRom->isEnabled());
    EXPECT_TRUE(QDir(out.path()).isEmpty());
}
