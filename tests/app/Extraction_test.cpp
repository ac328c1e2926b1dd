#include "FlacDecode.h"
#include "MainWindowFixture.h"
#include "Mp3Decode.h"
#include "TestDisc.h"

#include "app/MainFormUi.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>
#include <taglib/flacfile.h>
#include <taglib/tpropertymap.h>

// "Estrai" writes the checked rows as MP3 at the page's rate and mode, named by their titles. No file
// of a run replaces another of the same run: a blank title gives the track's caption, a name already
// written gets " (2)". A file from before the run is replaced when the user says so.
TEST(Extraction, Mp3FilesAtThePageRateNamedByTitlesNeverOverwriteEachOther)
{
    TestDisc disc({DiscTrack::tone(75, 440), DiscTrack::tone(150, 440), DiscTrack::tone(225, 440)});
    QTemporaryDir out;
    ASSERT_TRUE(WavTestFile::Write(out.filePath("Interlude.mp3"), "before the run"));
    ScriptedPrompts prompts;
    auto form = openMainWindow(prompts);
    ASSERT_TRUE(form);
    form->ui->dir->setText(out.path() + "/");
    form->ui->CBoxSampleRate->setCurrentIndex(1); // 32000 Hz
    form->ui->CBoxMode->setCurrentIndex(3);       // mono
    const QString rows[][2] = {
        {"Interlude", "Interlude.mp3"}, {"Interlude", "Interlude (2).mp3"}, {"", "Track 03.mp3"}};
    for (int i = 0; i < 3; ++i)
        form->ui->ListViewEx1->topLevelItem(i)->setText(1, rows[i][0]);
    QStringList asked;
    prompts.overwrite = [&](const QStringList &files) {
        asked = files;
        return Overwrite::Replace;
    };
    QTest::mouseClick(form->ui->dxButton2, Qt::LeftButton);
    EXPECT_EQ(asked, QStringList{out.filePath("Interlude.mp3")});
    EXPECT_FALSE(form->ui->dxButton2->isEnabled()) << "disabled at the click";
    ASSERT_TRUE(waitForJob(*form));
    EXPECT_TRUE(prompts.errors.isEmpty()) << prompts.errors.join("\n").toStdString();
    EXPECT_EQ(
        QDir(out.path()).entryList(QDir::Files, QDir::Name),
        QStringList({"Interlude (2).mp3", "Interlude.mp3", "QUARLE.cue", "QUARLE.log", "Track 03.mp3"}));
    // Each file holds its own track: track n lasts n seconds.
    for (int i : {0, 1, 2}) {
        const TestPcm pcm = DecodeMp3(out.filePath(rows[i][1]));
        EXPECT_NEAR(pcm.seconds(), i + 1, 0.08) << i;
        EXPECT_EQ(std::pair(pcm.rate, pcm.channels), std::pair(32000u, 1));
        EXPECT_NEAR(WavTestFile::ToneFrequency(pcm, 0), 440.0, 4.4);
    }
}

// "Annulla" as track 1 begins ends that track alone: its FLAC file holds what was read, its row says
// "annullata" and stays checked, and tracks 2 and 3 are complete, with no album ReplayGain. An AccurateRip
// proxy that takes the request and never answers holds no track (their verdicts wait, "in attesa") and no
// close: a close in the middle of a second run ends it and the wait at once, and the log says that track 3
// was never started and that the database was not reached. Before all that, a failure (a folder that is not
// there) ends a run and is shown, with the log that could not be written either, and gives the controls and
// the failed row back.
TEST(Extraction, CancelAndCloseAreAnsweredAtOnceWhateverTheNetwork)
{
    TestDisc disc({DiscTrack::tone(2700, 440), DiscTrack::tone(150, 550), DiscTrack::tone(150, 660)});
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    QTemporaryDir out, out2;
    ScriptedPrompts prompts;
    QStringList &errors = prompts.errors;
    std::atomic<int> chunks{0}, pace{0};
    std::atomic<bool> reading{false}, cancelled{false};
    CdRipApi api = CdRipApi::library();
    api.CR_RipChunk = [rip = api.CR_RipChunk, &chunks, &pace, &reading, &cancelled](uint8_t *b, int32_t *n) {
        if (chunks++ == 0) {
            reading = true;
            for (int i = 0; i < 500 && !cancelled; ++i)
                QThread::msleep(10);
        }
        QThread::msleep(pace);
        return rip(b, n);
    };
    TDiscSession::Services services = TestServices();
    services.api = api;
    auto form = openMainWindow(prompts, services);
    ASSERT_TRUE(form);
    form->ui->RGroupFormatExtractionFLAC->click();
    form->ui->ProxyHostEdit->setText("127.0.0.1");
    form->ui->ProxyPortEdit->setText(QString::number(silent.serverPort()));
    form->ui->dir->setText("/nonexistent/folder/");
    form->BtnExtraireClick();
    ASSERT_TRUE(waitForJob(*form));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith("Cannot create file")) << errors[0].toStdString();
    EXPECT_EQ(form->ui->LabelEnCours->text(),
              errors[0] + "  Impossibile scrivere il log "
                          "\"/nonexistent/folder/QUARLE.log\" (No such file or directory)");
    EXPECT_TRUE(form->ui->CbBoxActiveCDRom->isEnabled() && form->ui->dxButton2->isEnabled());
    EXPECT_TRUE(rowsOf(*form)[0].checked) << "the failed row stays checked";
    errors.clear();
    form->ui->dir->setText(out.path() + "/");
    // A disc title too long for a file name: the log's name is cut to fit.
    ASSERT_TRUE(form->Session().SetDetails({"Artista", QString(300, 'x'), {}, {}}));
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(form->ui->dxButton2, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return reading.load(); }));
    QTest::mouseClick(form->ui->dxButton3, Qt::LeftButton);
    cancelled = true;
    ASSERT_TRUE(waitForJob(*form));
    EXPECT_LT(clock.elapsed(), 5000) << "a track waited for the network";
    EXPECT_EQ(form->ui->LabelEnCours->text(), "Estrazione completata: 3 tracce, non verificata, 1 annullata");
    const std::vector<RowView> rows = rowsOf(*form);
    EXPECT_TRUE(rows[0].checked && !rows[1].checked && !rows[2].checked);
    // Each row says how its track ended, until the next extraction.
    EXPECT_EQ(QStringList({rows[0].result, rows[1].result, rows[2].result}),
              QStringList({"annullata", "non verificata", "non verificata"}));
    EXPECT_EQ(DecodeFlac(out.filePath("Track 01.flac")).size(), 27u * 588 * 2);
    EXPECT_EQ(DecodeFlac(out.filePath("Track 03.flac")).size(), 150u * 588 * 2);
    // A run with a cancelled track gives its complete tracks their own ReplayGain, and no album's.
    const TagLib::PropertyMap gains =
        TagLib::FLAC::File(qPrintable(out.filePath("Track 03.flac"))).properties();
    EXPECT_TRUE(gains.contains("REPLAYGAIN_TRACK_GAIN") && !gains.contains("REPLAYGAIN_ALBUM_GAIN"));
    const QString text = WavTestFile::Read(out.filePath("Artista - " + QString(241, 'x') + ".log"));
    // A partial rip gets no cue sheet, and its log says why.
    EXPECT_TRUE(text.contains("\nFoglio CUE non scritto: la traccia 01 non è stata estratta completa\n"));
    EXPECT_TRUE(QDir(out.path()).entryList({"*.cue"}).isEmpty());
    EXPECT_EQ(text.count("AccurateRip: in attesa della risposta  CTDB: in attesa della risposta  CRC CTDB "),
              2)
        << text.toStdString();

    pace = 10;
    form->ui->dir->setText(out2.path() + "/");
    QTest::mouseClick(form->ui->Label14, Qt::LeftButton); // "seleziona tutto"
    QTest::mouseClick(form->ui->dxButton2, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return chunks > 40; }));
    EXPECT_EQ(rowsOf(*form)[0].result, "") << "a new extraction clears the rows' results";
    // Closing asks first: "Continua" keeps the window and the run, "Interrompi" stops it at once.
    std::vector<bool> answers = {false, true};
    prompts.interrupt = [&] {
        const bool answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    };
    form->close();
    EXPECT_TRUE(form->isVisible() && form->ExtractionRunning());
    clock.restart();
    form->close();
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_TRUE(answers.empty());
    EXPECT_FALSE(form->ExtractionRunning());
    const QString last = WavTestFile::Read(out2.filePath("Artista - " + QString(241, 'x') + ".log"));
    EXPECT_TRUE(last.startsWith("QUARLE - estrazione non verificata: AccurateRip non raggiungibile\n"));
    EXPECT_TRUE(last.contains("\nTraccia 03  Track 03.flac  non iniziata\n")) << last.toStdString();
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

// An extraction and a conversion would share the one coder: neither starts while the other runs. The
// conversion group lies outside the window's visible part: Tab never reaches it, nor any hidden control.
TEST(Extraction, ConversionAndExtractionNeverShareTheCoder)
{
    TestDisc disc({DiscTrack::tone(75, 440)});
    QTemporaryDir dir;
    ScriptedPrompts prompts;
    auto form = openMainWindow(prompts);
    ASSERT_TRUE(form);
    form->ui->dir->setText(dir.path() + "/");
    prompts.wavFiles = {dir.filePath("a.wav")};
    ASSERT_TRUE(WavTestFile::Write(prompts.wavFiles[0],
                                   WavTestFile::WavBytes(WavTestFile::Tone(44100, 2, 440, 1.0))));
    form->BtnChoisirFichierWavClick();

    form->BtnExtraireClick();
    form->ui->BtnConvertWav->click();
    ASSERT_TRUE(waitForJob(*form));
    EXPECT_EQ(prompts.errors, QStringList{"Attendere la fine dell'estrazione prima di convertire."});

    form->Label14Click();
    bool extractedMeanwhile = false;
    QObject::connect(form->ui->ProgressBar1, &QProgressBar::valueChanged, [&] {
        QTest::mouseClick(form->ui->dxButton2, Qt::LeftButton);
        extractedMeanwhile = extractedMeanwhile || form->ExtractionRunning();
    });
    form->ui->BtnConvertWav->click();
    ASSERT_TRUE(waitForJob(*form));
    EXPECT_FALSE(extractedMeanwhile);
    EXPECT_EQ(prompts.errors.value(1), "Attendere la fine della conversione prima di estrarre.");
    EXPECT_NEAR(DecodeMp3(dir.filePath("a.mp3")).seconds(), 1.0, 0.06);

    form->ui->dxButton1->setFocus();
    for (int tab = 0; tab < 40; ++tab) {
        QWidget *focus = QApplication::focusWidget();
        const QRect shown(focus->mapTo(form.get(), QPoint()), focus->size());
        ASSERT_TRUE(form->rect().contains(shown.center())) << focus->objectName().toStdString();
        QTest::keyClick(focus, Qt::Key_Tab);
    }
}
