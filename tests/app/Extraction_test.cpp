#include "AccurateRipDemo.h"
#include "MainWindowFixture.h"
#include "Mp3Decode.h"
#include "ScriptedHttpServer.h"
#include "TestDisc.h"

#include "app/ListViewEx.h"
#include "app/MainFormUi.h"
#include "disc/Quarle.h"
#include "encoder/MP3Coder.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

namespace
{

// Track 1: 15 s of 440 Hz, track 2: 10 s of 660 Hz, track 3: 12 s of 880 Hz.
std::vector<DiscTrack> threeTones()
{
    return {DiscTrack::tone(1125, 440), DiscTrack::tone(750, 660), DiscTrack::tone(900, 880)};
}

void clickRow(TDlgMainForm &form, int row)
{
    QTest::mouseClick(form.ui->ListViewEx1->viewport(), Qt::LeftButton, {}, cellCentre(form, row, 1));
}

void checkOnly(TDlgMainForm &form, std::initializer_list<int> rows)
{
    form.Label15Click();
    for (int row : rows)
        clickRow(form, row);
}

// Waits for the worker to end and for the changes it queued to reach the controls.
bool waitForExtraction(TDlgMainForm &form, int ms = 120000)
{
    const bool ended = QTest::qWaitFor([&] { return !form.ExtractionRunning(); }, ms);
    QTest::qWait(50);
    QCoreApplication::processEvents();
    return ended;
}

qint64 fileSize(const QString &path)
{
    return QFileInfo(path).exists() ? QFileInfo(path).size() : -1;
}

QStringList filesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files, QDir::Name);
}

// The controls an extraction disables, as the user sees them afterwards.
bool controlsEnabled(const TDlgMainForm &form)
{
    const Ui::TDlgMainForm *ui = form.ui.get();
    const QWidget *controls[] = {
        ui->Label14,       ui->Label15,          ui->ListViewEx1,    ui->RGroupFormatExtraction,
        ui->PageControl1,  ui->CbBoxActiveCDRom, ui->CBoxSampleRate, ui->dirbutton,
        ui->ProxyHostEdit, ui->dxButton1};
    for (const QWidget *w : controls) {
        if (!w->isEnabled())
            return false;
    }
    return true;
}

// The window on a drive that takes `ms` for every chunk it reads.
std::unique_ptr<TDlgMainForm> openSlowWindow(unsigned long ms)
{
    CdRipApi api = CdRipApi::library();
    api.CR_RipChunk = [rip = api.CR_RipChunk, ms](uint8_t *buffer, int32_t *bytes) {
        QThread::msleep(ms);
        return rip(buffer, bytes);
    };
    std::unique_ptr<TDlgMainForm> form = TDlgMainForm::CreateMainForm(api);
    if (form) {
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
    return form;
}

} // namespace

TEST(Extraction, CheckedRowsToMp3AndWav)
{
    TestDisc disc(threeTones());
    QTemporaryDir out;
    ErrorRecorder errors;
    auto form = openMainWindow();
    ASSERT_TRUE(form);
    form->ui->dir->setText(out.path() + "/");
    // MP3 (the default choice), rows 1 and 3.
    checkOnly(*form, {0, 2});
    ASSERT_TRUE(form->ui->dxButton2->isEnabled());
    QTest::mouseClick(form->ui->dxButton2, Qt::LeftButton);
    EXPECT_FALSE(form->ui->dxButton2->isEnabled()) << "disabled at the click";
    ASSERT_TRUE(waitForExtraction(*form));
    EXPECT_EQ(filesIn(out.path()), QStringList({"QUARLE.log", "Track 01.mp3", "Track 03.mp3"}));
    const struct {
        const char *file;
        double seconds;
        double hz;
    } mp3s[] = {{"Track 01.mp3", 15.0, 440}, {"Track 03.mp3", 12.0, 880}};
    for (const auto &m : mp3s) {
        const TestPcm pcm = DecodeMp3(out.filePath(m.file));
        EXPECT_NEAR(pcm.seconds(), m.seconds, 0.06) << m.file;
        EXPECT_NEAR(WavTestFile::ToneFrequency(pcm, 0), m.hz, m.hz * 0.01) << m.file;
    }
    std::vector<RowView> rows = rowsOf(*form);
    EXPECT_FALSE(rows[0].checked);
    EXPECT_FALSE(rows[1].checked);
    EXPECT_FALSE(rows[2].checked);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(form->RowProgressBar(i)->value(), 0);
    // The last track's verdict; no database is reachable from here.
    EXPECT_EQ(form->ui->LabelEnCours->text(), "Traccia 03 AccurateRip: non raggiungibile");
    EXPECT_TRUE(controlsEnabled(*form));
    EXPECT_FALSE(form->ui->dxButton2->isEnabled());
    EXPECT_FALSE(form->ui->dxButton3->isEnabled());

    // WAV, rows 1 and 3 again: exact samples after a 44-byte header.
    form->ui->RGroupFormatExtractionWav->click();
    checkOnly(*form, {0, 2});
    form->BtnExtraireClick();
    ASSERT_TRUE(waitForExtraction(*form));
    EXPECT_EQ(fileSize(out.filePath("Track 03.wav")), 44 + 900 * 2352);
    QFile wav(out.filePath("Track 01.wav"));
    ASSERT_TRUE(wav.open(QIODevice::ReadOnly));
    const QByteArray bytes = wav.readAll();
    EXPECT_TRUE(bytes.mid(44) == trackAudioBytes(threeTones()[0]));

    // No format chosen: the samples alone, as ".pcm".
    form->setRGroupFormatExtractionItemIndex(-1);
    form->RGroupFormatExtractionClick();
    checkOnly(*form, {1});
    form->BtnExtraireClick();
    ASSERT_TRUE(waitForExtraction(*form));
    EXPECT_EQ(fileSize(out.filePath("Track 02.pcm")), 750 * 2352);

    // No row checked: a run that writes nothing and leaves the controls as they were.
    const QStringList before = filesIn(out.path());
    form->Label15Click();
    form->BtnExtraireClick();
    ASSERT_TRUE(waitForExtraction(*form));
    EXPECT_EQ(filesIn(out.path()), before);
    EXPECT_TRUE(controlsEnabled(*form));
    EXPECT_FALSE(form->ui->dxButton2->isEnabled());
    EXPECT_FALSE(form->ui->dxButton3->isEnabled());
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join("\n").toStdString();
}

TEST(Extraction, CancelEndsOnlyTheTrackInProgress)
{
    TestDisc disc({DiscTrack::tone(300, 440), DiscTrack::tone(1500, 550), DiscTrack::tone(600, 660),
                   DiscTrack::tone(450, 770)});
    QTemporaryDir out;
    ErrorRecorder errors;
    // A drive slow enough for the user to press "Annulla" during track 2.
    auto form = openSlowWindow(4);
    ASSERT_TRUE(form);
    form->ui->dir->setText(out.path() + "/");
    form->ui->RGroupFormatExtractionWav->click();
    checkOnly(*form, {1, 2, 3});
    form->BtnExtraireClick();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return form->ui->LabelEnCours->text() == "Estrazione della traccia 2"; }));
    EXPECT_TRUE(form->ui->dxButton3->isEnabled());
    EXPECT_FALSE(form->ui->dxButton1->isEnabled());
    EXPECT_FALSE(form->ui->CbBoxActiveCDRom->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->RowProgressBar(1)->value() > 5; }));
    QTest::mouseClick(form->ui->dxButton3, Qt::LeftButton);
    ASSERT_TRUE(waitForExtraction(*form));

    const qint64 second = fileSize(out.filePath("Track 02.wav"));
    EXPECT_GT(second, 44);
    EXPECT_LT(second, 44 + 1500 * 2352);
    EXPECT_EQ(fileSize(out.filePath("Track 03.wav")), 44 + 600 * 2352);
    EXPECT_EQ(fileSize(out.filePath("Track 04.wav")), 44 + 450 * 2352);
    EXPECT_FALSE(QFileInfo::exists(out.filePath("Track 01.wav")));
    for (const RowView &row : rowsOf(*form))
        EXPECT_FALSE(row.checked) << row.description.toStdString();
}

TEST(Extraction, FailuresAreShownAndTheWindowComesBack)
{
    TestDisc disc(threeTones());
    QTemporaryDir out;
    ErrorRecorder errors;
    auto form = openMainWindow();
    ASSERT_TRUE(form);

    // A folder that cannot be written.
    form->ui->dir->setText(out.path() + "/missing/folder/");
    form->ui->RGroupFormatExtractionWav->click();
    checkOnly(*form, {1, 2});
    form->BtnExtraireClick();
    ASSERT_TRUE(waitForExtraction(*form));
    ASSERT_EQ(errors.messages.size(), 1);
    EXPECT_TRUE(errors.messages[0].startsWith("Cannot create file")) << errors.messages[0].toStdString();
    EXPECT_EQ(form->ui->LabelEnCours->text(), errors.messages[0]);
    EXPECT_TRUE(controlsEnabled(*form));
    EXPECT_TRUE(rowsOf(*form)[1].checked) << "the failed row stays checked";
    EXPECT_TRUE(rowsOf(*form)[2].checked) << "the rows after it were not ripped";
    EXPECT_TRUE(form->ui->dxButton2->isEnabled());
    EXPECT_FALSE(form->ui->dxButton3->isEnabled());

    // An empty combo of the "codec MP3" page: the run ends before any file.
    form->ui->dir->setText(out.path() + "/");
    form->ui->RGroupFormatExtractionMP3->click();
    form->ui->CBoxBitRate->setCurrentIndex(-1);
    form->BtnExtraireClick();
    ASSERT_TRUE(waitForExtraction(*form));
    ASSERT_EQ(errors.messages.size(), 2);
    EXPECT_EQ(errors.messages[1], "'' is not a valid integer value");
    EXPECT_TRUE(filesIn(out.path()).isEmpty());
}

// Titles name the files, and no file of a run replaces another of the same run: a blank title gives
// the track's caption, a name already written gets " (2)", " (3)", a title too long for the file
// system is cut to 255 bytes with its extension, whole characters only. A file from before the run
// is replaced.
TEST(Extraction, FileNamesOfOneRunNeverOverwriteEachOther)
{
    std::vector<DiscTrack> tracks;
    for (int i = 1; i <= 8; ++i)
        tracks.push_back(DiscTrack::tone(75 * i, 440));
    TestDisc disc(tracks);
    QTemporaryDir out;
    ASSERT_TRUE(WavTestFile::Write(out.filePath("Interlude.mp3"), "before the run"));
    ErrorRecorder errors;
    auto form = openMainWindow();
    ASSERT_TRUE(form);
    form->ui->dir->setText(out.path() + "/");
    const QString notes = "x" + QString("\U0001F3B5").repeated(100); // 401 bytes, four per note
    const struct {
        QString title, file;
    } rows[] = {
        {"Interlude", "Interlude.mp3"},
        {"Interlude", "Interlude (2).mp3"},
        {"", "Track 03.mp3"},
        {"  ", "Track 04.mp3"},
        {"Track 03", "Track 03 (2).mp3"},
        {notes, "x" + QString("\U0001F3B5").repeated(62) + ".mp3"},
        {notes, "x" + QString("\U0001F3B5").repeated(61) + " (2).mp3"},
        {"Andante / Allegro", "Andante - Allegro.mp3"},
    };
    QStringList expected;
    for (int i = 0; i < 8; ++i) {
        form->ui->ListViewEx1->topLevelItem(i)->setText(1, rows[i].title);
        expected << rows[i].file;
    }
    form->BtnExtraireClick();
    ASSERT_TRUE(waitForExtraction(*form));
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join("\n").toStdString();
    expected << "QUARLE.log";
    expected.sort();
    EXPECT_EQ(filesIn(out.path()), expected);
    // Each file holds its own track: track n lasts n seconds.
    for (int i : {0, 1, 4, 6})
        EXPECT_NEAR(DecodeMp3(out.filePath(rows[i].file)).seconds(), i + 1, 0.06) << i;
    EXPECT_EQ(rowsOf(*form)[7].description, "Andante / Allegro");
}

TEST(Extraction, Mp3AtThePageRateAndModePlaysAtTheRightPitch)
{
    TestDisc disc(threeTones());
    QTemporaryDir out;
    ErrorRecorder errors;
    auto form = openMainWindow();
    ASSERT_TRUE(form);
    form->ui->dir->setText(out.path() + "/");
    form->ui->CBoxSampleRate->setCurrentIndex(1); // 32000
    form->ui->CBoxMode->setCurrentIndex(3);       // Mono
    checkOnly(*form, {1});
    form->BtnExtraireClick();
    ASSERT_TRUE(waitForExtraction(*form));
    const TestPcm pcm = DecodeMp3(out.filePath("Track 02.mp3"));
    EXPECT_EQ(pcm.rate, 32000u);
    EXPECT_EQ(pcm.channels, 1);
    EXPECT_NEAR(pcm.seconds(), 10.0, 0.08);
    EXPECT_NEAR(WavTestFile::ToneFrequency(pcm, 0), 660.0, 6.6);
    EXPECT_TRUE(errors.messages.isEmpty());
}

TEST(Extraction, ClosingDuringAnExtractionStopsItCleanly)
{
    TestDisc disc({DiscTrack::tone(3000, 440), DiscTrack::tone(3000, 550)});
    QTemporaryDir out;
    ErrorRecorder errors;
    auto form = openSlowWindow(3);
    ASSERT_TRUE(form);
    form->ui->dir->setText(out.path() + "/");
    form->BtnExtraireClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->RowProgressBar(0)->value() > 10; }));
    form->close();
    EXPECT_FALSE(form->ExtractionRunning());
    form.reset();
    // The first track was cut short, the second never started, and the MP3 is a whole stream.
    EXPECT_EQ(filesIn(out.path()), QStringList({"QUARLE.log", "Track 01.mp3"}));
    const TestPcm pcm = DecodeMp3(out.filePath("Track 01.mp3"));
    EXPECT_GT(pcm.seconds(), 0.1);
    EXPECT_LT(pcm.seconds(), 39.0);
}

TEST(Extraction, ClosingAsATrackBeginsStopsThatTrack)
{
    TestDisc disc({DiscTrack::tone(300, 440), DiscTrack::tone(3000, 550)});
    QTemporaryDir out;
    ErrorRecorder errors;
    // The close comes once the worker is past its stop check for track 2, waiting for the row.
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
    EXPECT_EQ(DecodeMp3(out.filePath("Track 02.mp3")).samples.size(), 0u) << "no chunk of track 2 was read";
}

TEST(Extraction, ConversionShowsItsProgress)
{
    TestDisc disc(threeTones());
    QTemporaryDir dir;
    ErrorRecorder errors;
    auto form = openMainWindow();
    ASSERT_TRUE(form);
    // Two WAV files, ripped by the window itself.
    form->ui->dir->setText(dir.path() + "/");
    form->ui->RGroupFormatExtractionWav->click();
    checkOnly(*form, {0, 1});
    form->BtnExtraireClick();
    ASSERT_TRUE(waitForExtraction(*form));

    const QStringList wavs = {dir.filePath("Track 01.wav"), dir.filePath("Track 02.wav")};
    auto saved = TDlgMainForm::chooseWavFiles;
    TDlgMainForm::chooseWavFiles = [&](QWidget *) { return wavs; };
    form->BtnChoisirFichierWavClick();
    TDlgMainForm::chooseWavFiles = [](QWidget *) { return QStringList(); };
    form->BtnChoisirFichierWavClick(); // cancelled: the choice stays
    TDlgMainForm::chooseWavFiles = saved;
    ASSERT_EQ(form->ui->LBoxFichierWav->count(), 2);

    // The conversion group and the VBR, CRC and copyright controls lie outside the window's visible
    // part: Tab never reaches them, so neither does Space.
    const Ui::TDlgMainForm *ui = form->ui.get();
    const QWidget *hidden[] = {ui->CheckBoxVBR,       ui->CheckBoxVBRHeader,  ui->TrackBarVBRQuality,
                               ui->CheckBoxCopyright, ui->CheckBoxOriginal,   ui->CheckBoxCRC,
                               ui->CheckBoxPrivate,   ui->LBoxFichierWav,     ui->BtnChoisirFichierWav,
                               ui->BtnConvertWav,     ui->BtnCancelConvertWav};
    form->ui->dxButton1->setFocus();
    for (int tab = 0; tab < 40; ++tab) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        for (const QWidget *w : hidden)
            ASSERT_FALSE(w->hasFocus()) << w->objectName().toStdString();
    }

    // "Estrai" during the conversion is refused: both would use the one coder.
    form->Label14Click();
    QStringList statuses;
    QList<int> percents;
    bool extractedMeanwhile = false;
    QObject::connect(form->ui->ProgressBar1, &QProgressBar::valueChanged, [&](int v) {
        percents << v;
        if (statuses.isEmpty() || statuses.last() != form->ui->LabelEnCours->text())
            statuses << form->ui->LabelEnCours->text();
        if (percents.size() == 1) {
            QTest::mouseClick(form->ui->dxButton2, Qt::LeftButton);
            extractedMeanwhile = form->ExtractionRunning();
        }
    });
    QTest::mouseClick(form->ui->BtnConvertWav, Qt::LeftButton);
    EXPECT_FALSE(extractedMeanwhile);
    EXPECT_EQ(errors.messages, QStringList{"Attendere la fine della conversione prima di estrarre."});
    EXPECT_EQ(statuses, QStringList({"Codifica di " + wavs[0], "Codifica di " + wavs[1]}));
    EXPECT_EQ(percents.last(), 100);
    EXPECT_EQ(form->ui->ProgressBar1->value(), 100) << "keeps its last value";
    EXPECT_NEAR(DecodeMp3(dir.filePath("Track 02.mp3")).seconds(), 10.0, 0.06);
    waitForExtraction(*form);

    // VBR quality label follows the track bar.
    form->ui->TrackBarVBRQuality->setValue(9);
    EXPECT_EQ(form->ui->LabelVBRQualite->text(), "9");
}

// Each ripped track is checked against the AccurateRip file that the proxy page's server answers
// (here the disc's own checksums, track 2's altered), and the log lands beside the files, named
// after the disc's title. With the server down the verdict says so and the extraction goes on.
TEST(Extraction, TracksVerifiedWithAccurateRipAndLogged)
{
    TestDisc disc(threeTones());
    // The file the demo's server makes from the image, track 2's checksums altered in both pressings
    // (3 tracks: 13 + 27 bytes a pressing; an entry's checksum after its confidence byte).
    const std::optional<AccurateRipDemoFile> file = MakeAccurateRipDemoFile(disc.image().cuePath);
    ASSERT_TRUE(file);
    QByteArray dbar = file->bytes;
    dbar[13 + 9 + 1] = char(dbar[13 + 9 + 1] ^ 1);
    dbar[40 + 13 + 9 + 1] = char(dbar[40 + 13 + 9 + 1] ^ 1);
    ScriptedExchange answer;
    answer.reply = {"HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(dbar.size()) + "\r\n\r\n" +
                    dbar};
    ScriptedHttpServer server(QList<ScriptedExchange>{answer});
    QTcpServer down;
    ASSERT_TRUE(down.listen(QHostAddress::LocalHost));
    const quint16 downPort = down.serverPort();
    down.close();

    auto form = openMainWindow();
    ASSERT_TRUE(form);
    form->ui->RGroupFormatExtractionWav->click();
    form->ui->ProxyHostEdit->setText("127.0.0.1");
    const struct {
        quint16 port;
        const char *title;
        const char *log;
        QStringList verdicts;
    } runs[] = {
        {server.port(),
         "Artista / Album",
         "Artista - Album.log",
         {"accurata (fiducia 12)", "non accurata", "accurata (fiducia 12)"}},
        {downPort, nullptr, "QUARLE.log", {"non raggiungibile", "non raggiungibile", "non raggiungibile"}},
    };
    for (const auto &run : runs) {
        QTemporaryDir out;
        form->ui->dir->setText(out.path() + "/");
        form->ui->ProxyPortEdit->setText(QString::number(run.port));
        if (run.title)
            form->ui->LabeActiveCDRom->setText(run.title);
        else
            form->ui->LabeActiveCDRom->setText(form->Quarle->CdRomName());
        checkOnly(*form, {0, 1, 2});
        form->BtnExtraireClick();
        ASSERT_TRUE(waitForExtraction(*form));
        EXPECT_EQ(form->ui->LabelEnCours->text(), "Traccia 03 AccurateRip: " + run.verdicts[2]);
        QFile log(out.filePath(run.log));
        ASSERT_TRUE(log.open(QIODevice::ReadOnly)) << run.log;
        const QStringList lines = QString::fromUtf8(log.readAll()).split('\n');
        EXPECT_TRUE(file->path.contains(lines.filter("Disco AccurateRip: ").value(0).mid(19).toLatin1()));
        for (int i = 0; i < 3; ++i) {
            const QString line =
                lines.filter(QString("Traccia 0%1  Track 0%1.wav  CRC v1 ").arg(i + 1)).value(0);
            EXPECT_TRUE(line.endsWith("AccurateRip: " + run.verdicts[i] + "  errori di jitter 0"))
                << line.toStdString();
        }
    }
    ASSERT_EQ(server.Requests().size(), 1) << "one fetch per extraction";
    EXPECT_TRUE(
        server.Requests()[0].startsWith("GET http://www.accuraterip.com" + file->path + " HTTP/1.1\r\n"));
}
