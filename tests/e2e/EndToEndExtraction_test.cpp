#include "EndToEndFixture.h"
#include "FormLayout.h"

#include "DiscImage.h"
#include "Mp3Decode.h"
#include "TestDisc.h"
#include "WavTestFile.h"

#include <QFile>
#include <QStandardPaths>

#include <cstring>

namespace
{

QByteArray FileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

uint32_t LittleEndian32(const QByteArray &bytes, int at)
{
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

} // namespace

class EndToEndExtraction : public EndToEnd
{
};

// Every row is checked at start: one click on "Estrai" encodes the whole disc, and what mpg123 decodes
// has each track's length and pitch on both channels.
TEST_F(EndToEndExtraction, EstraiEncodesEveryRowToMp3WithTheTracksLengthAndPitch)
{
    if (QStandardPaths::findExecutable("mpg123").isEmpty())
        GTEST_SKIP() << "mpg123 is not installed";
    const std::vector<DiscTrack> tracks = {DiscTrack::tone(300, 440), DiscTrack::tone(225, 660),
                                           DiscTrack::tone(375, 880)};
    TestDisc disc(tracks);
    QTemporaryDir out;
    WriteIni({.dir = out.path() + "/"});
    FormLayout layout;
    ASSERT_TRUE(layout.Valid()) << layout.Errors().join("\n").toStdString();
    ASSERT_EQ(layout.RowCount(), 3);

    std::unique_ptr<QuarleRun> run;
    QString window;
    ASSERT_TRUE(Launch(run, disc.driveEntry(), &window));
    ASSERT_TRUE(run->Click(window, layout.ClickPoint("dxButton2")));
    const QStringList names = {"Track 01.mp3", "Track 02.mp3", "Track 03.mp3"};
    ASSERT_TRUE(WaitForExtraction(*run, QDir(out.path()), names));
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files, QDir::Name), names);

    for (size_t i = 0; i < tracks.size(); ++i) {
        SCOPED_TRACE(names[int(i)].toStdString());
        const TestPcm pcm = DecodeMp3(QDir(out.path()).filePath(names[int(i)]));
        EXPECT_EQ(pcm.rate, 44100u);
        ASSERT_EQ(pcm.channels, 2);
        EXPECT_NEAR(pcm.seconds(), tracks[i].sectors / 75.0, 0.06);
        EXPECT_NEAR(WavTestFile::ToneFrequency(pcm, 0), tracks[i].frequency, tracks[i].frequency * 0.01);
        EXPECT_NEAR(WavTestFile::ToneFrequency(pcm, 1), tracks[i].frequency, tracks[i].frequency * 0.01);
    }
    EXPECT_TRUE(CloseWithButton(*run, window, layout));
}

// A click on the "Wav" radio button switches the format; a click on a row's description unchecks
// it, so only the other rows are ripped, each as the disc's own bytes after a 44-byte header.
TEST_F(EndToEndExtraction, WavClickedAndARowUncheckedWritesTheOtherRowsByteForByte)
{
    const std::vector<DiscTrack> tracks = {DiscTrack::tone(150, 440), DiscTrack::tone(120, 550),
                                           DiscTrack::music(180, 330)};
    TestDisc disc(tracks);
    QTemporaryDir out;
    WriteIni({.dir = out.path() + "/"});
    FormLayout layout;
    ASSERT_TRUE(layout.Valid()) << layout.Errors().join("\n").toStdString();
    ASSERT_EQ(layout.RowCount(), 3);

    std::unique_ptr<QuarleRun> run;
    QString window;
    ASSERT_TRUE(Launch(run, disc.driveEntry(), &window));
    ASSERT_TRUE(run->Click(window, layout.ClickPoint("RGroupFormatExtractionWav")));
    ASSERT_TRUE(run->Click(window, layout.RowPoint(1, 1)));
    ASSERT_TRUE(run->Click(window, layout.ClickPoint("dxButton2")));
    const QStringList names = {"Track 01.wav", "Track 03.wav"};
    ASSERT_TRUE(WaitForExtraction(*run, QDir(out.path()), names));
    EXPECT_EQ(QDir(out.path()).entryList(QDir::Files, QDir::Name), names);

    const struct {
        QString name;
        size_t track;
    } expected[] = {{"Track 01.wav", 0}, {"Track 03.wav", 2}};
    for (const auto &e : expected) {
        SCOPED_TRACE(e.name.toStdString());
        const QByteArray bytes = FileBytes(QDir(out.path()).filePath(e.name));
        const QByteArray audio = trackAudioBytes(tracks[e.track]);
        ASSERT_EQ(bytes.size(), 44 + audio.size());
        EXPECT_EQ(bytes.left(4), "RIFF");
        EXPECT_EQ(bytes.mid(8, 8), "WAVEfmt ");
        EXPECT_EQ(bytes.mid(36, 4), "data");
        EXPECT_EQ(LittleEndian32(bytes, 40), uint32_t(audio.size()));
        EXPECT_TRUE(bytes.mid(44) == audio) << "the samples differ from the disc's";
    }
    EXPECT_TRUE(CloseWithButton(*run, window, layout));
    EXPECT_EQ(ReadIni().split('\n').value(4), "1\r") << "the format clicked is not the one saved";
}
