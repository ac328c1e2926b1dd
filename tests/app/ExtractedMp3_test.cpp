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
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace
{

using Frames = std::map<std::string, std::string>;

Frames tag(const char *title, const char *track, const char *artist = nullptr, const char *album = nullptr,
           const char *year = nullptr, const char *genre = nullptr)
{
    Frames frames{{"version", "4"}, {"TIT2", title}, {"TRCK", track}};
    const std::pair<const char *, const char *> more[] = {
        {"TPE1", artist}, {"TALB", album}, {"TDRC", year}, {"TCON", genre}};
    for (const auto &[id, text] : more) {
        if (text)
            frames[id] = text;
    }
    return frames;
}

const char kPlain[] = "DTITLE=Ensemble Quarle / Prove\nDYEAR=2024\nDGENRE=Classical\nTTITLE0=Preludio\n"
                      "TTITLE1=(dati)\nTTITLE2=Andante / Allegro\nTTITLE3=Finale: pi\u00f9\nTTITLE3= mosso\n";

} // namespace

// Rows 1, 2, 3 are disc tracks 1, 3, 4 (track 2 holds data). Each run extracts every row after a
// lookup through the demo's CDDB server, or after choosing the drive again (no lookup).
TEST(ExtractedMp3, TagsFromTheLookupAndTheExactLengthOfTheRip)
{
    const std::vector<DiscTrack> tracks = {DiscTrack::tone(150, 440), DiscTrack::data(300),
                                           DiscTrack::tone(113, 660), DiscTrack::tone(190, 880)};
    const DiscTrack *audio[] = {&tracks[0], &tracks[2], &tracks[3]};
    TestDisc disc(tracks);
    QString discId;
    {
        TCDInfo info;
        info.Open('D');
        discId = info.GetDiscIdText();
    }
    ErrorRecorder errors;
    auto form = openMainWindow();
    ASSERT_TRUE(form);
    form->ui->ProxyHostEdit->setText("127.0.0.1");

    struct Case {
        const char *name;
        const char *entry; // null: no lookup
        bool wav, vbr;
        QStringList files;
        std::vector<Frames> tags;
    };
    const Case cases[] = {
        {"plain disc, CBR",
         kPlain,
         false,
         false,
         {"Preludio.mp3", "Andante - Allegro.mp3", "Finale: pi\u00f9 mosso.mp3"},
         {tag("Preludio", "1/3", "Ensemble Quarle", "Prove", "2024", "Classical"),
          tag("Andante / Allegro", "2/3", "Ensemble Quarle", "Prove", "2024", "Classical"),
          tag("Finale: pi\u00f9 mosso", "3/3", "Ensemble Quarle", "Prove", "2024", "Classical")}},
        {"compilation, VBR",
         "DTITLE=Various Artists / Raccolta\nDYEAR=1999\nDGENRE=Pop\nTTITLE0=Autore Uno / Brano Uno\n"
         "TTITLE2=Autore Due / Brano Due\n",
         false,
         true,
         {"Autore Uno - Brano Uno.mp3", "Autore Due - Brano Due.mp3", "Track 04.mp3"},
         {tag("Brano Uno", "1/3", "Autore Uno", "Raccolta", "1999", "Pop"),
          tag("Brano Due", "2/3", "Autore Due", "Raccolta", "1999", "Pop"),
          tag("Track 04", "3/3", "Various Artists", "Raccolta", "1999", "Pop")}},
        {"no lookup",
         nullptr,
         false,
         false,
         {"Track 01.mp3", "Track 03.mp3", "Track 04.mp3"},
         {tag("Track 01", "1/3"), tag("Track 03", "2/3"), tag("Track 04", "3/3")}},
        {"WAV after a lookup",
         kPlain,
         true,
         false,
         {"Preludio.wav", "Andante - Allegro.wav", "Finale: pi\u00f9 mosso.wav"},
         {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
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
        (c.wav ? form->ui->RGroupFormatExtractionWav : form->ui->RGroupFormatExtractionMP3)->click();
        form->ui->CheckBoxVBR->setChecked(c.vbr);
        form->Label14Click();
        form->BtnExtraireClick();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !form->ExtractionRunning(); }, 60000));
        QTest::qWait(50); // the worker's last changes to the controls
        QCoreApplication::processEvents();
        ASSERT_EQ(QDir(out.path()).entryList({"*.mp3", "*.wav"}, QDir::Files).size(), c.files.size());

        for (int row = 0; row < c.files.size(); ++row) {
            SCOPED_TRACE(c.files[row].toStdString());
            const QString path = out.filePath(c.files[row]);
            const int64_t frames = int64_t(audio[row]->sectors) * 588;
            if (c.wav) {
                QFile wav(path);
                ASSERT_TRUE(wav.open(QIODevice::ReadOnly));
                const QByteArray bytes = wav.readAll();
                EXPECT_EQ(bytes.size(), 44 + frames * 4);
                EXPECT_TRUE(bytes.startsWith("RIFF") && bytes.mid(44) == trackAudioBytes(*audio[row]));
                continue;
            }
            EXPECT_EQ(ReadId3Frames(path), c.tags[size_t(row)]);
            EXPECT_EQ(int64_t(DecodeMp3(path).frames()), frames);
        }
    }
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join("\n").toStdString();
}
