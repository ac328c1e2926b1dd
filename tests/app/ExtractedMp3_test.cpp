// The MP3 files of an extraction as a player sees them: the tag from the disc database.
#include "CddbDemoDatabase.h"
#include "CddbDemoServer.h"
#include "Id3Read.h"
#include "MainWindowFixture.h"
#include "TestDisc.h"
#include "WavTestFile.h"

#include "app/MainFormUi.h"

#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>

// Rows 1, 2, 3 are disc tracks 1, 3, 4 (track 2 holds data). After "Aggiorna" (the demo's CDDB server),
// a title typed over row 2 (F2) and the year set on the disc label, every row is tagged from the entry
// and the edits (read with TagLib), and named by them in the album's folder, with the log and cue sheet.
TEST(ExtractedMp3, TagsAndFileNamesFromTheLookup)
{
    const std::vector<DiscTrack> tracks = {DiscTrack::tone(150, 440), DiscTrack::data(300),
                                           DiscTrack::tone(113, 660), DiscTrack::tone(190, 880)};
    TestDisc disc(tracks);
    CddbDemoDatabase database;
    ASSERT_TRUE(database.Add("misc",
                             "DISCID=17000a04\nDTITLE=Various Artists / Raccolta\nDYEAR=1999\nDGENRE=Pop\n"
                             "TTITLE0=Autore Uno / Brano Uno\nTTITLE1=(dati)\nTTITLE3=Finale: pi\u00f9\n"
                             "TTITLE3= mosso\n"));
    CddbDemoServer server(database);
    ASSERT_TRUE(server.Listen(0));
    ScriptedPrompts prompts;
    auto form = openMainWindow(prompts);
    ASSERT_TRUE(form);
    form->ui->ProxyHostEdit->setText("127.0.0.1");
    form->ui->ProxyPortEdit->setText(QString::number(server.Port()));
    QTest::mouseClick(form->ui->dxButton1, Qt::LeftButton);
    ASSERT_TRUE(waitForJob(*form));
    EXPECT_EQ(form->ui->LabelEnCours->text(), "Titoli da CDDB");
    form->ui->ListViewEx1->setCurrentItem(form->ui->ListViewEx1->topLevelItem(1));
    QTest::keyClick(form->ui->ListViewEx1, Qt::Key_F2);
    auto *editor = form->ui->ListViewEx1->findChild<QLineEdit *>();
    ASSERT_TRUE(editor);
    QTest::keyClicks(editor, "Scritto a mano");
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents(); // the edit is taken after the key
    prompts.details = [](DiscDetails &d) { return !(d.year = "2001").isEmpty(); };
    QTest::mouseDClick(form->ui->LabeActiveCDRom, Qt::LeftButton);
    // Files named "%B/%L/%N - %T": the folders are made by the run, not by the plan, and a file in the
    // way of one fails the track.
    QTemporaryDir out;
    form->ui->dir->setText(out.path() + "/");
    form->ui->CheckBoxVBR->setChecked(true);
    form->ui->CBoxFileNames->setCurrentIndex(2);
    form->ExtractionPlan();
    const QString artist = out.filePath("Various Artists"), album = artist + "/Raccolta/";
    EXPECT_TRUE(QDir(out.path()).isEmpty());
    ASSERT_TRUE(WavTestFile::Write(artist, {}));
    form->BtnExtraireClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->ExtractionRunning(); }, 60000));
    EXPECT_EQ(prompts.errors.join('\n').toStdString(),
              ("Impossibile creare la cartella \"" + artist + "\" (Not a directory)").toStdString());
    prompts.errors.clear();
    ASSERT_TRUE(QFile::remove(artist));
    form->BtnExtraireClick();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->ExtractionRunning(); }, 60000));
    const std::pair<QString, QString> files[] = {
        {"01 - Autore Uno - Brano Uno.mp3", "TALB=Raccolta TCON=Pop TDRC=2001 TIT2=Brano Uno TPE1=Autore Uno "
                                            "TPE2=Various Artists TRCK=1/3  version=4"},
        {"02 - Scritto a mano.mp3",
         "TALB=Raccolta TCON=Pop TDRC=2001 TIT2=Scritto a mano TPE1=Various Artists TRCK=2/3  version=4"},
        {"03 - Finale- pi\u00f9 mosso.mp3", "TALB=Raccolta TCON=Pop TDRC=2001 TIT2=Finale: pi\u00f9 mosso "
                                            "TPE1=Various Artists TRCK=3/3  version=4"},
    };
    QStringList names = {"Various Artists - Raccolta.cue", "Various Artists - Raccolta.log"};
    for (const auto &[file, tag] : files) {
        QStringList frames;
        for (const auto &[id, text] : ReadId3Frames(album + file))
            frames << (id == "TXXX" ? "" : QString::fromStdString(id + "=" + text)); // ReplayGain: below
        EXPECT_EQ(frames.join(' '), tag);
        names << file;
    }
    names.sort();
    EXPECT_EQ(QDir(album).entryList(QDir::Files, QDir::Name), names);
    // Every track whole: the album's ReplayGain in each file.
    EXPECT_TRUE(TagLib::MPEG::File(qPrintable(album + files[1].first))
                    .properties()
                    .contains("REPLAYGAIN_ALBUM_GAIN"));
    EXPECT_TRUE(prompts.errors.isEmpty()) << prompts.errors.join("\n").toStdString();
}
