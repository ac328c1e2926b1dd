#include "platform/CdAudioDevice.h"
#include "platform/DriveLetters.h"

#include "TestDisc.h"
#include "WavTestFile.h"

#include <QDir>

#include <gtest/gtest.h>

namespace
{

using D = CdAudioDevice;

// A packed position or length as m:s:f.
std::string Msf(uint32_t packed)
{
    return std::to_string(packed & 0xFF) + ":" + std::to_string(packed >> 8 & 0xFF) + ":" +
           std::to_string(packed >> 16 & 0xFF);
}

} // namespace

// A generated image with a data track between two audio tracks, through the letter table and libcdio:
// positions count the 150 sectors of pre-gap, the last track's length is one frame short. Its sheet names
// a BIN of another name. Beside it, sheets the table leaves out, each with the reason it gives.
TEST(CdAudioDevice, OpensByLetterAndReportsPositionsAndLengthsOfARealImage)
{
    TestDisc disc({DiscTrack::tone(4574, 440), DiscTrack::data(600), DiscTrack::tone(76, 660)});
    ASSERT_TRUE(disc.renameBin("demo.bin"));
    QFile own(disc.image().cuePath);
    ASSERT_TRUE(own.open(QIODevice::ReadOnly) && QDir(disc.dir()).mkdir("sub"));
    const QByteArray sheet = own.readAll();
    const auto naming = [&sheet](const QByteArray &bin) {
        return QByteArray(sheet).replace("\"demo.bin\"", "\"" + bin + "\"");
    };
    const QString dir = disc.dir() + "/";
    // clang-format off
    const struct { char letter; const char *file; QByteArray text; QString warning; } sheets[] = {
        {'F', "missing.cue", {},                                  "missing.cue non esiste"},
        {'G', "broken.cue",  "this is not a cue sheet\n",         "broken.cue non è un foglio CUE valido"},
        {'H', "lost.cue",    naming("lost.bin"),                  {}}, // loses its BIN once the table holds it
        {'I', "gone.cue",    naming("gone.bin"),                  "gone.cue nomina \"" + dir + "gone.bin\", che non esiste"},
        {'J', "sub/up.cue",  naming("../demo.bin"),               "sub/up.cue nomina \"" + dir + "sub/demo.bin\", che non esiste"},
        {'K', "dir.cue",     naming("sub"),                       "dir.cue nomina \"" + dir + "sub\", che non è un file"},
        {'L', "long.cue",    naming("demo.bin") + QByteArray(1 << 20, ' '), "long.cue non è un foglio CUE valido"},
    };
    // clang-format on
    QString drives = disc.driveEntry('E');
    for (const auto &s : sheets) {
        ASSERT_TRUE(s.text.isNull() || WavTestFile::Write(dir + s.file, s.text));
        drives += QString(";%1=%2%3").arg(s.letter).arg(dir, s.file);
    }
    ASSERT_TRUE(QFile::link(disc.image().binPath, dir + "lost.bin"));
    TestDisc::setDrives(drives);
    QStringList warnings;
    for (const auto &s : sheets) {
        if (!s.warning.isEmpty())
            warnings
                << QString("QUARLE_DRIVES: %1: %2%3; lettore ignorato").arg(s.letter).arg(dir, s.warning);
        EXPECT_EQ(D::create()->open(QString(s.letter)),
                  s.warning.isEmpty() ? D::NoError : D::ErrorNoSuchDrive)
            << s.file;
    }
    EXPECT_EQ(DriveLetters::warnings().join('\n').toStdString(), warnings.join('\n').toStdString());
    ASSERT_TRUE(QFile::remove(dir + "lost.bin"));
    EXPECT_EQ(D::create()->open("h"), D::ErrorCannotOpen);
    auto device = D::create();
    ASSERT_EQ(device->open("e"), D::NoError);
    EXPECT_EQ(device->open("E:\\0@"), D::ErrorAlreadyOpen);

    uint32_t count = 0, position = 0, length = 0;
    ASSERT_EQ(device->numberOfTracks(&count), D::NoError);
    EXPECT_EQ(count, 3u);
    const char *expected[] = {"0:2:0 1:0:74", "1:2:74 0:8:0", "1:10:74 0:1:0"};
    for (uint32_t track = 1; track <= 3; ++track) {
        ASSERT_EQ(device->trackPosition(track, &position), D::NoError);
        ASSERT_EQ(device->trackLength(track, &length), D::NoError);
        EXPECT_EQ(Msf(position) + " " + Msf(length), expected[track - 1]);
    }
    EXPECT_EQ(device->trackPosition(0, &position), D::ErrorNoSuchTrack);
    EXPECT_EQ(device->trackLength(4, &length), D::ErrorNoSuchTrack);
    EXPECT_EQ(device->close(), D::NoError);
}

TEST(CdAudioDevice, PositionsBeyondWhatAPackedByteHoldsAreAnError)
{
    CdToc toc;
    toc.tracks = {{1, 0, true}, {2, 255 * 4500 - 150, true}};
    toc.leadOutLsn = 255 * 4500 - 150 + 75;
    uint32_t packed = 0;
    ASSERT_EQ(D::positionInToc(toc, 2, &packed), D::NoError);
    EXPECT_EQ(Msf(packed), "255:0:0");
    // One more minute would wrap around to a wrong time: refused instead.
    toc.tracks[1].startLsn += 4500;
    toc.leadOutLsn += 4500;
    EXPECT_EQ(D::positionInToc(toc, 2, &packed), D::ErrorPositionOutOfRange);
    // A lead-out on the last track's start leaves nothing to measure.
    toc.leadOutLsn = toc.tracks[1].startLsn;
    EXPECT_EQ(D::lengthInToc(toc, 2, &packed), D::ErrorPositionOutOfRange);
}
