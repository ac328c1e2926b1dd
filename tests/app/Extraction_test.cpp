#include "AccurateRipDemo.h"
#include "MainWindowFixture.h"
#include "Mp3Decode.h"
#include "ScriptedHttpServer.h"
#include "TestDisc.h"

#include "app/MainFormUi.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

namespace
{

// Waits for the worker to end and for the changes it queued to reach the controls.
bool waitForExtraction(TDlgMainForm &form)
{
    const bool ended = QTest::qWaitFor([&] { return !form.ExtractionRunning(); }, 120000);
    QTest::qWait(50);
    return ended;
}

QStringList filesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files, QDir::Name);
}

} // namespace

// A failure ends the run and is shown; the controls come back, and the failed row stays checked.
TEST(Extraction, AFailureIsShownAndGivesTheWindowBack)
{
    TestDisc disc({DiscTrack::tone(300, 440), DiscTrack::tone(300, 550)});
    ErrorRecorder errors;
    auto form = openMainWindow();
    ASSERT_TRUE(form);
    form->ui->dir->setText("/nonexistent/folder/");
    form->Label15Click();
    QTest::mouseClick(form->ui->ListViewEx1->viewport(), Qt::LeftButton, {}, cellCentre(*form, 1, 1));
    form->BtnExtraireClick();
    ASSERT_TRUE(waitForExtraction(*form));
    ASSERT_EQ(errors.messages.size(), 1);
    EXPECT_TRUE(errors.messages[0].startsWith("Cannot create file")) << errors.messages[0].toStdString();
    EXPECT_EQ(form->ui->LabelEnCours->text(), errors.messages[0]);
    EXPECT_TRUE(form->ui->CbBoxActiveCDRom->isEnabled() && form->ui->dxButton2->isEnabled());
    EXPECT_TRUE(rowsOf(*form)[1].checked) << "the failed row stays checked";
}

// "Estrai" writes the checked rows as MP3 at the page's rate and mode, named by their titles. No file
// of a run replaces another of the same run: a blank title gives the track's caption, a name already
// written gets " (2)", a title too long for the file system is cut to 255 bytes with its extension,
// whole characters only. A file from before the run is replaced.
TEST(Extraction, Mp3FilesAtThePageRateNamedByTitlesNeverOverwriteEachOther)
{
    std::vector<DiscTrack> tracks;
    for (int i = 1; i <= 6; ++i)
        tracks.push_back(DiscTrack::tone(75 * i, 440));
    TestDisc disc(tracks);
    QTemporaryDir out;
    ASSERT_TRUE(WavTestFile::Write(out.filePath("Interlude.mp3"), "before the run"));
    ErrorRecorder errors;
    auto form = openMainWindow();
    ASSERT_TRUE(form);
    form->ui->dir->setText(out.path() + "/");
    form->ui->CBoxSampleRate->setCurrentIndex(1);                    // 32000 Hz
    form->ui->CBoxMode->setCurrentIndex(3);                          // mono
    const QString notes = "x" + QString("\U0001F3B5").repeated(100); // 401 bytes, four per note
    const QString rows[][2] = {
        {"Interlude", "Interlude.mp3"},
        {"Interlude", "Interlude (2).mp3"},
        {"", "Track 03.mp3"},
        {notes, "x" + QString("\U0001F3B5").repeated(62) + ".mp3"},
        {notes, "x" + QString("\U0001F3B5").repeated(61) + " (2).mp3"},
        {"Andante / Allegro", "Andante - Allegro.mp3"},
    };
    QStringList expected = {"QUARLE.log"};
    for (int i = 0; i < 6; ++i) {
        form->ui->ListViewEx1->topLevelItem(i)->setText(1, rows[i][0]);
        expected << rows[i][1];
    }
    QTest::mouseClick(form->ui->dxButton2, Qt::LeftButton);
    EXPECT_FALSE(form->ui->dxButton2->isEnabled()) << "disabled at the click";
    ASSERT_TRUE(waitForExtraction(*form));
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join("\n").toStdString();
    expected.sort();
    EXPECT_EQ(filesIn(out.path()), expected);
    // Each file holds its own track: track n lasts n seconds.
    for (int i : {0, 1, 4})
        EXPECT_NEAR(DecodeMp3(out.filePath(rows[i][1])).seconds(), i + 1, 0.08) << i;
    const TestPcm pcm = DecodeMp3(out.filePath("Andante - Allegro.mp3"));
    EXPECT_EQ(std::pair(pcm.rate, pcm.channels), std::pair(32000u, 1));
    EXPECT_NEAR(WavTestFile::ToneFrequency(pcm, 0), 440.0, 4.4);
    EXPECT_EQ(rowsOf(*form)[5].description, "Andante / Allegro");
}

// Closing the window ends the extraction: here the close comes just as track 2 begins, once the worker
// is past its stop check and waits for the row; the close waits for the worker, track 1 is whole and no
// chunk of track 2 is read.
TEST(Extraction, ClosingAsATrackBeginsStopsThatTrack)
{
    TestDisc disc({DiscTrack::tone(300, 440), DiscTrack::tone(3000, 550)});
    QTemporaryDir out;
    ErrorRecorder errors;
    std::atomic<bool> firstEnded{false}, windowBusy{false};
    CdRipApi api = CdRipApi::library();
    api.CR_CloseRipper = [close = api.CR_CloseRipper, &firstEnded, &windowBusy] {
        firstEnded = true;
        while (!windowBusy)
            QThread::msleep(1);
        return close();
    };
    std::unique_ptr<TDlgMainForm> form = TDlgMainForm::CreateMainForm(api);
    ASSERT_TRUE(form);
    form->show();
    form->ui->dir->setText(out.path() + "/");
    form->BtnExtraireClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return firstEnded.load(); }));
    windowBusy = true;
    QThread::msleep(200);
    form->close();
    EXPECT_FALSE(form->ExtractionRunning());
    form.reset();
    EXPECT_NEAR(DecodeMp3(out.filePath("Track 01.mp3")).seconds(), 4.0, 0.06);
    EXPECT_EQ(DecodeMp3(out.filePath("Track 02.mp3")).samples.size(), 0u) << "no chunk of track 2 was read";
}

// An extraction and a conversion would share the one coder: neither starts while the other runs. The
// conversion group lies outside the window's visible part: Tab never reaches it, nor any hidden control.
TEST(Extraction, ConversionAndExtractionNeverShareTheCoder)
{
    TestDisc disc({DiscTrack::tone(75, 440)});
    QTemporaryDir dir;
    ErrorRecorder errors;
    auto form = openMainWindow();
    ASSERT_TRUE(form);
    form->ui->dir->setText(dir.path() + "/");
    const QStringList wavs = {dir.filePath("a.wav")};
    ASSERT_TRUE(WavTestFile::Write(wavs[0], WavTestFile::WavBytes(WavTestFile::Tone(44100, 2, 440, 1.0))));
    const auto saved = TDlgMainForm::chooseWavFiles;
    TDlgMainForm::chooseWavFiles = [&](QWidget *) { return wavs; };
    form->BtnChoisirFichierWavClick();
    TDlgMainForm::chooseWavFiles = saved;

    form->BtnExtraireClick();
    form->ui->BtnConvertWav->click();
    ASSERT_TRUE(waitForExtraction(*form));
    EXPECT_EQ(errors.messages, QStringList{"Attendere la fine dell'estrazione prima di convertire."});

    form->Label14Click();
    bool extractedMeanwhile = false;
    QObject::connect(form->ui->ProgressBar1, &QProgressBar::valueChanged, [&] {
        QTest::mouseClick(form->ui->dxButton2, Qt::LeftButton);
        extractedMeanwhile = extractedMeanwhile || form->ExtractionRunning();
    });
    form->ui->BtnConvertWav->click();
    waitForExtraction(*form);
    EXPECT_FALSE(extractedMeanwhile);
    EXPECT_EQ(errors.messages.value(1), "Attendere la fine della conversione prima di estrarre.");
    EXPECT_NEAR(DecodeMp3(dir.filePath("a.mp3")).seconds(), 1.0, 0.06);

    form->ui->dxButton1->setFocus();
    for (int tab = 0; tab < 40; ++tab) {
        QWidget *focus = QApplication::focusWidget();
        const QRect shown(focus->mapTo(form.get(), QPoint()), focus->size());
        ASSERT_TRUE(form->rect().contains(shown.center())) << focus->objectName().toStdString();
        QTest::keyClick(focus, Qt::Key_Tab);
    }
}

// Each ripped track is checked against the AccurateRip file that the proxy page's server answers
// (the disc's own checksums, track 2's altered); the log lands beside the files, named after the disc.
TEST(Extraction, TracksVerifiedWithAccurateRipAndLogged)
{
    TestDisc disc({DiscTrack::tone(1125, 440), DiscTrack::tone(750, 660), DiscTrack::tone(900, 880)});
    // 3 tracks: 13 + 27 bytes a pressing; an entry's checksum after its confidence byte.
    const std::optional<AccurateRipDemoFile> file = MakeAccurateRipDemoFile(disc.image().cuePath);
    ASSERT_TRUE(file);
    QByteArray dbar = file->bytes;
    dbar[13 + 9 + 1] = char(dbar[13 + 9 + 1] ^ 1);
    dbar[40 + 13 + 9 + 1] = char(dbar[40 + 13 + 9 + 1] ^ 1);
    ScriptedHttpServer server;
    server.Add(
        {{}, {"HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(dbar.size()) + "\r\n\r\n" + dbar}});
    QTemporaryDir out;
    auto form = openMainWindow();
    ASSERT_TRUE(form);
    form->ui->RGroupFormatExtractionWav->click();
    form->ui->ProxyHostEdit->setText("127.0.0.1");
    form->ui->ProxyPortEdit->setText(QString::number(server.port()));
    form->ui->dir->setText(out.path() + "/");
    form->ui->LabeActiveCDRom->setText("Artista / Album");
    form->BtnExtraireClick();
    ASSERT_TRUE(waitForExtraction(*form));
    const QStringList verdicts = {"accurata (fiducia 12)", "non accurata", "accurata (fiducia 12)"};
    EXPECT_EQ(form->ui->LabelEnCours->text(), "Traccia 03 AccurateRip: " + verdicts[2]);
    QFile log(out.filePath("Artista - Album.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(log.readAll()).split('\n');
    for (int i = 0; i < 3; ++i) {
        const QString line = lines.filter(QString("Traccia 0%1  Track 0%1.wav  CRC v1 ").arg(i + 1)).value(0);
        EXPECT_TRUE(line.endsWith("AccurateRip: " + verdicts[i] + "  errori di jitter 0"))
            << line.toStdString();
    }
    EXPECT_TRUE(server.Requests().value(0).startsWith("GET http://www.accuraterip.com" + file->path + " "));
}
