#include "MainWindowFixture.h"
#include "ScriptedHttpServer.h"
#include "TestDisc.h"

#include "app/MainFormUi.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTest>

#include <gtest/gtest.h>

// While "Aggiorna" waits for the server the window stays live, with "Estrai" and the drive box held; a
// drive changed all the same ends the lookup and keeps its own captions. Both controls come back after
// the lookup, also after one that fails. "Annulla" ends a lookup through a proxy that never answers at
// once, and so does closing the window.
TEST(WindowLookup, WhileTheServerIsAwaitedTheWindowLivesAndTitlesStayWithTheirDisc)
{
    TestDisc alpha({DiscTrack::tone(750, 440), DiscTrack::tone(900, 660)}, "alpha");
    TestDisc beta({DiscTrack::tone(300, 440), DiscTrack::tone(300, 550), DiscTrack::tone(300, 660)}, "beta");
    TestDisc::setDrives(alpha.driveEntry('D') + ";" + beta.driveEntry('E'));
    const auto answer = [](const QByteArray &body) {
        return "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    };
    const QByteArray query = answer("200 rock 1e00d402 Ensemble Quarle / Alfa\r\n");
    const QByteArray read = answer("210 rock 1e00d402 CD database entry follows (until terminating `.')\r\n"
                                   "DTITLE=Ensemble Quarle / Alfa\r\nTTITLE0=Uno\r\nTTITLE1=Due\r\n.\r\n");
    ScriptedHttpServer cddb;
    cddb.Add({{}, {query}});
    // The read's answer comes in two pieces, a second apart: the test acts in between.
    cddb.Add({{}, ScriptedHttpServer::SplitAt(read, {20}), false, false, 1000});
    cddb.Add({{}, {query}});
    cddb.Add({{}, {answer("210 rock 1e00d402 CD database entry follows\r\nTTITLEx=Uno\r\n.\r\n")}});

    ScriptedPrompts prompts;
    auto form = openMainWindow(prompts);
    ASSERT_TRUE(form);
    form->ui->ProxyHostEdit->setText("127.0.0.1");
    form->ui->ProxyPortEdit->setText(QString::number(cddb.port()));
    QTest::mouseClick(form->ui->dxButton1, Qt::LeftButton);
    EXPECT_EQ(form->ui->LabelEnCours->text(), "Ricerca dei titoli...");
    ASSERT_TRUE(QTest::qWaitFor([&] { return cddb.Requests().size() >= 2; }))
        << cddb.Mismatches().join("\n").toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->ui->LabelEnCours->text() == "Ricerca dei titoli... (CDDB)"; }));
    QTest::mouseClick(form->ui->Label14, Qt::LeftButton); // "seleziona tutto" would enable "Estrai"
    EXPECT_FALSE(form->ui->dxButton2->isEnabled() || form->ui->CbBoxActiveCDRom->isEnabled());
    QTest::mouseClick(form->ui->dxButton2, Qt::LeftButton);
    EXPECT_FALSE(form->ExtractionRunning());
    // The drive changes all the same (a handler run by other means): the titles are not its own.
    form->ui->CbBoxActiveCDRom->setCurrentIndex(1);
    form->CbBoxActiveCDRomChange();
    ASSERT_TRUE(waitForJob(*form));
    EXPECT_EQ(rowsOf(*form).back().description, "Track 03") << "beta's three rows, untitled";
    EXPECT_EQ(form->ui->LabeActiveCDRom->text(), "Disc image beta.cue");
    EXPECT_TRUE(form->ui->dxButton2->isEnabled() && form->ui->CbBoxActiveCDRom->isEnabled());

    // A failing lookup (a title line without its number) gives both controls back too.
    form->ui->CbBoxActiveCDRom->setCurrentIndex(0);
    form->CbBoxActiveCDRomChange();
    QTest::mouseClick(form->ui->dxButton1, Qt::LeftButton);
    ASSERT_TRUE(waitForJob(*form));
    EXPECT_EQ(prompts.errors, QStringList{"'x' is not a valid integer value"});
    EXPECT_TRUE(form->ui->dxButton2->isEnabled() && form->ui->CbBoxActiveCDRom->isEnabled());

    // No database answers at all (the proxy refuses every connection): the status line says so, and no
    // error box opens.
    QTcpServer gone;
    ASSERT_TRUE(gone.listen(QHostAddress::LocalHost));
    form->ui->ProxyPortEdit->setText(QString::number(gone.serverPort()));
    gone.close();
    QTest::mouseClick(form->ui->dxButton1, Qt::LeftButton);
    ASSERT_TRUE(waitForJob(*form));
    EXPECT_EQ(form->ui->LabelEnCours->text(), "Banche dati non raggiungibili");
    EXPECT_EQ(prompts.errors.size(), 1u);
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    form->ui->ProxyPortEdit->setText(QString::number(silent.serverPort()));
    const QStringList titles = {rowsOf(*form)[0].description, rowsOf(*form)[1].description};
    for (QWidget *ending :
         {static_cast<QWidget *>(form->ui->dxButton3), static_cast<QWidget *>(form.get())}) {
        QTest::mouseClick(form->ui->dxButton1, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return silent.hasPendingConnections(); }));
        QElapsedTimer clock;
        clock.start();
        if (ending == form.get())
            form->close();
        else
            QTest::mouseClick(form->ui->dxButton3, Qt::LeftButton);
        ASSERT_TRUE(waitForJob(*form));
        EXPECT_LT(clock.elapsed(), 1000);
        EXPECT_EQ(QStringList({rowsOf(*form)[0].description, rowsOf(*form)[1].description}), titles);
        delete silent.nextPendingConnection();
    }
}
