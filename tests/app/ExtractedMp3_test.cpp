// The MP3 files of an extraction as a player sees them: the tag from the disc database (read back
// with TagLib) and the exact length (decoded by mpg123, which honours LAME's Info frame).
#include "CddbDemoDatabase.h"
#include "CddbDemoServer.h"
#include "Id3Read.h"
#include "MainWindowFixture.h"
#include "Mp3Decode.h"
#include "TestDisc.h"

#include "app/MainFormUi.h"
#include "lookup/CDInfo.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace
{

using Frames = std::map<std::string, std::string>;

Frames tag(const char *title, const char *track, const char *artist = nullptr, const char *album = nullptr)
{
    Frames frames{{"version", "4"}, {"TIT2", title}, {"TRCK", track}};
    if (artist)
        frames.insert({{"TPE1", artist}, {"TALB", album}, {"TDRC", "1999"}, {"TCON", "Pop"}});
    return frames;
}

} // namespace

// Rows 1, 2, 3 are disc tracks 1, 3, 4 (track 2 holds data). Each run extracts every row after a
// lookup through the demo's CDDB server ("Aggiorna"), or after choosing the drive again (no lookup).
TEST(ExtractedMp3, TagsAndFileNamesFromTheLookupAndTheExactLengthOfTheRip)
{
    const std::vector<DiscTrack> tracks = {DiscTrack::tone(150, 440), DiscTrack::data(300),
                                           DiscTrack::tone(113, 660), DiscTrack::tone(190, 880)};
    TestDisc disc(tracks);
    TCDInfo info;
    info.Open('D');
    const QString discId = info.GetDiscIdText();
    info.Close();
    ErrorRecorder errors;
    auto form = openMainWindow();
    ASSERT_TRUE(form);
    form->ui->ProxyHostEdit->setText("127.0.0.1");
    const struct {
        const char *entry; // null: no lookup
        bool vbr;
        QStringList files;
        std::vector<Frames> tags;
    } cases[] = {
        {"DTITLE=Ensemble Quarle / Prove\nDYEAR=1999\nDGENRE=Pop\nTTITLE0=Preludio\nTTITLE1=(dati)\n"
         "TTITLE2=Andante / Allegro\nTTITLE3=Finale: pi\u00f9\nTTITLE3= mosso\n",
         false,
         {"Preludio.mp3", "Andante - Allegro.mp3", "Finale: pi\u00f9 mosso.mp3"},
         {tag("Preludio", "1/3", "Ensemble Quarle", "Prove"),
          tag("Andante / Allegro", "2/3", "Ensemble Quarle", "Prove"),
          tag("Finale: pi\u00f9 mosso", "3/3", "Ensemble Quarle", "Prove")}},
        {"DTITLE=Various Artists / Raccolta\nDYEAR=1999\nDGENRE=Pop\nTTITLE0=Autore Uno / Brano Uno\n",
         true,
         {"Autore Uno - Brano Uno.mp3", "Track 03.mp3", "Track 04.mp3"},
         {tag("Brano Uno", "1/3", "Autore Uno", "Raccolta"),
          tag("Track 03", "2/3", "Various Artists", "Raccolta"),
          tag("Track 04", "3/3", "Various Artists", "Raccolta")}},
        {nullptr,
         false,
         {"Track 01.mp3", "Track 03.mp3", "Track 04.mp3"},
         {tag("Track 01", "1/3"), tag("Track 03", "2/3"), tag("Track 04", "3/3")}},
    };
    for (const auto &c : cases) {
        CddbDemoDatabase database;
        CddbDemoServer server(database);
        ASSERT_TRUE(server.Listen(0));
        if (c.entry) {
            ASSERT_TRUE(database.Add("misc", "DISCID=" + discId + "\n" + c.entry));
            form->ui->ProxyPortEdit->setText(QString::number(server.Port()));
            QTest::mouseClick(form->ui->dxButton1, Qt::LeftButton);
            ASSERT_EQ(server.Requests(), 2);
        } else {
            form->SelectDriveAndListTracks();
        }
        QTemporaryDir out;
        form->ui->dir->setText(out.path() + "/");
        form->ui->CheckBoxVBR->setChecked(c.vbr);
        form->Label14Click();
        form->BtnExtraireClick();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !form->ExtractionRunning(); }, 60000));
        ASSERT_EQ(QDir(out.path()).entryList({"*.mp3"}, QDir::Files).size(), c.files.size());
        for (int row = 0; row < 3; ++row) {
            const QString path = out.filePath(c.files[row]);
            EXPECT_EQ(ReadId3Frames(path), c.tags[size_t(row)]) << path.toStdString();
            EXPECT_EQ(DecodeMp3(path).frames(), size_t(tracks[size_t(row ? row + 1 : 0)].sectors) * 588);
        }
    }
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join("\n").toStdString();
}
