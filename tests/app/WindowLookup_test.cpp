#include "MainWindowFixture.h"
#include "ScriptedHttpServer.h"
#include "TestDisc.h"

#include "app/MainFormUi.h"
#include "lookup/Cddb.h"

#include <QDir>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

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
