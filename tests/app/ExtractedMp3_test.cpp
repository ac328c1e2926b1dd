// The MP3 files of an extraction as a player sees them: the tag from the disc database (read back
// with TagLib) and the exact length (decoded by mpg123, which honours LAME's Info frame).
#include "CddbDemoDatabase.h"
#include "CddbDemoServer.h"
#include "Id3Read.h"
#include "MainWindowFixture.h"
#include "Mp3Decode.h"
#include "TestDisc.h"

#include "app/MainFormUi.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

// Rows 1, 2, 3 are disc tracks 1, 3, 4 (track 2 holds data). The first run (VBR) extracts every row
// after a lookup through the demo's CDDB server ("Aggiorna"); the second (CBR) after choosing the drive
// again, which leaves nothing of the lookup.
TEST(ExtractedMp3, TagsAndFileNamesFromTheLookupAndTheExactLengthOfTheRip)
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
    ErrorRecorder errors;
    auto form = openMainWindow();
    ASSERT_TRUE(form);
    form->ui->ProxyHostEdit->setText("127.0.0.1");
    form->ui->ProxyPortEdit->setText(QString::number(server.Port()));
    const struct {
        bool lookup;
        QStringList files, tags; // a tag's frames as "id=text", in id order
    } runs[] = {
        // clang-format off
        {true, {"Autore Uno - Brano Uno.mp3", "Track 03.mp3", "Finale: pi\u00f9 mosso.mp3"},
         {"TALB=Raccolta TCON=Pop TDRC=1999 TIT2=Brano Uno TPE1=Autore Uno TRCK=1/3 version=4",
          "TALB=Raccolta TCON=Pop TDRC=1999 TIT2=Track 03 TPE1=Various Artists TRCK=2/3 version=4",
          "TALB=Raccolta TCON=Pop TDRC=1999 TIT2=Finale: pi\u00f9 mosso TPE1=Various Artists TRCK=3/3 version=4"}},
        {false, {"Track 01.mp3", "Track 03.mp3", "Track 04.mp3"},
         {"TIT2=Track 01 TRCK=1/3 version=4", "TIT2=Track 03 TRCK=2/3 version=4", "TIT2=Track 04 TRCK=3/3 version=4"}},
        // clang-format on
    };
    for (const auto &run : runs) {
        if (run.lookup)
            QTest::mouseClick(form->ui->dxButton1, Qt::LeftButton);
        else
            form->SelectDriveAndListTracks();
        QTemporaryDir out;
        form->ui->dir->setText(out.path() + "/");
        form->ui->CheckBoxVBR->setChecked(run.lookup);
        form->Label14Click();
        form->BtnExtraireClick();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !form->ExtractionRunning(); }, 60000));
        ASSERT_EQ(QDir(out.path()).entryList({"*.mp3"}, QDir::Files).size(), 3);
        for (int row = 0; row < 3; ++row) {
            QStringList frames;
            for (const auto &[id, text] : ReadId3Frames(out.filePath(run.files[row])))
                frames << QString::fromStdString(id + "=" + text);
            EXPECT_EQ(frames.join(' '), run.tags[row]);
            EXPECT_EQ(DecodeMp3(out.filePath(run.files[row])).frames(),
                      size_t(tracks[size_t(row ? row + 1 : 0)].sectors) * 588);
        }
    }
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join("\n").toStdString();
}
