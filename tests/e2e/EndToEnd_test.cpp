#include "EndToEndFixture.h"

#include "Mp3Decode.h"
#include "TestDisc.h"
#include "WavTestFile.h"

#include <QStandardPaths>
#include <QTest>
#include <QtEndian>

namespace
{

QByteArray FileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// No drive at all: the error box comes up in place of the window, Return dismisses it and the program
// ends with a failure code, having said why on stderr too.
TEST_F(EndToEnd, WithoutADriveTheErrorBoxShowsAndTheProgramEnds)
{
    ASSERT_TRUE(Start(""));
    const QString box = WaitForWindow("^QUARLE$");
    ASSERT_FALSE(box.isEmpty()) << "no error box; errors:\n" << ErrorOutput().toStdString();
    EXPECT_EQ(XDoTool({"search", "--onlyvisible", "--name", MainWindow}).value_or(""), "");
    // Return takes the box away before its release, on which xdotool then fails.
    XDoTool({"key", "--window", box, "Return"});
    ASSERT_TRUE(WaitForExit(1));
    EXPECT_TRUE(
        ErrorOutput().contains("quarle: Attenzione!   Nessun lettore trovato o utente con diritti minimi.\n"))
        << ErrorOutput().toStdString();
}

// Every row is checked at start: one click on "Estrai" encodes the whole disc, and what mpg123 decodes
// has each track's length and pitch on both channels.
TEST_F(EndToEnd, EstraiEncodesEveryRowToMp3WithTheTracksLengthAndPitch)
{
    if (QStandardPaths::findExecutable("mpg123").isEmpty())
        GTEST_SKIP() << "mpg123 is not installed";
    const std::vector<DiscTrack> tracks = {DiscTrack::tone(300, 440), DiscTrack::tone(225, 660),
                                           DiscTrack::tone(375, 880)};
    TestDisc disc(tracks);
    QTemporaryDir out;
    WriteIni({.dir = out.path() + "/"});
    ASSERT_TRUE(Launch(disc.driveEntry()));
    ASSERT_TRUE(Click("dxButton2"));
    const QStringList names = {"Track 01.mp3", "Track 02.mp3", "Track 03.mp3"};
    ASSERT_TRUE(WaitForExtraction(QDir(out.path()), names));
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files, QDir::Name), names);
    for (size_t i = 0; i < tracks.size(); ++i) {
        const TestPcm pcm = DecodeMp3(out.filePath(names[int(i)]));
        EXPECT_EQ(pcm.rate, 44100u) << i;
        ASSERT_EQ(pcm.channels, 2) << i;
        EXPECT_NEAR(pcm.seconds(), tracks[i].sectors / 75.0, 0.06) << i;
        for (int channel : {0, 1})
            EXPECT_NEAR(WavTestFile::ToneFrequency(pcm, channel), tracks[i].frequency,
                        tracks[i].frequency * 0.01);
    }
    EXPECT_TRUE(Close());
}

// A settings file with a Latin-1 folder and every field set: the program finds the folder (the
// extraction lands in it), a click on "Wav" switches the format, a click on a row's description
// unchecks it, so only the other rows are ripped, each as the disc's own bytes after a 44-byte header;
// the close writes the file back with only the format changed, readable by its owner alone.
TEST_F(EndToEnd, SettingsFolderClicksAndWavFilesSurviveARun)
{
    const std::vector<DiscTrack> tracks = {DiscTrack::tone(150, 440), DiscTrack::tone(120, 550),
                                           DiscTrack::music(180, 330)};
    TestDisc disc(tracks);
    const QString folder = Folder() + "/Musica è più/";
    ASSERT_TRUE(QDir().mkpath(folder));
    IniValues values{folder, "0", "2", "1", "3", "1", "2", "proxy.invalid", "3128", "utente", "pässwörd"};
    WriteIni(values);
    ASSERT_TRUE(IniBytes(values).contains("\xe8 pi\xf9/\r\n")) << "the test's own file is not Latin-1";
    ASSERT_TRUE(Launch(disc.driveEntry()));
    ASSERT_TRUE(Click("RGroupFormatExtractionWav"));
    ASSERT_TRUE(ClickRow(1, 1));
    ASSERT_TRUE(Click("dxButton2"));
    const QStringList names = {"Track 01.wav", "Track 03.wav"};
    ASSERT_TRUE(WaitForExtraction(QDir(folder), names));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files, QDir::Name), names);
    for (int i = 0; i < 2; ++i) {
        const QByteArray bytes = FileBytes(QDir(folder).filePath(names[i]));
        const QByteArray audio = trackAudioBytes(tracks[size_t(2 * i)]);
        ASSERT_EQ(bytes.size(), 44 + audio.size()) << i;
        EXPECT_EQ(qFromLittleEndian<quint32>(bytes.constData() + 40), quint32(audio.size())) << i;
        EXPECT_TRUE(bytes.mid(44) == audio) << "the samples of " << i << " differ from the disc's";
    }
    ASSERT_TRUE(Close());
    values.format = "1";
    EXPECT_EQ(ReadIni(), IniBytes(values));
    EXPECT_FALSE(QFileInfo(QDir(Folder()).filePath("quarle.ini")).permissions() &
                 (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther |
                  QFileDevice::WriteOther))
        << "the file that holds the proxy password is open to others";
}
