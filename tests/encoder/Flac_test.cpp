// TFlacWriter and FlacTagWriter, read back by libFLAC's own decoder and by TagLib.
#include "encoder/FlacTag.h"
#include "encoder/FlacWriter.h"

#include "FlacDecode.h"
#include "WavTestFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <gmock/gmock.h>
#include <sys/resource.h>
#include <taglib/flacfile.h>
#include <taglib/tpropertymap.h>

#include <csignal>

namespace
{

// Stretches of a sawtooth and of full-scale noise.
std::vector<int16_t> Samples(size_t count)
{
    std::vector<int16_t> samples(count);
    for (uint32_t i = 0, noise = 1; i < count; ++i, noise = noise * 1664525 + 1013904223)
        samples[i] = int16_t((i / 4999) % 2 ? noise >> 16 : (i * 97) % 24000 - 12000);
    return samples;
}

} // namespace

// Samples written in uneven chunks decode one for one, also when the rip ends before the length announced,
// with Finish or only the destructor (an exception's way out).
TEST(FlacWriter, DecodesToTheSamplesWritten)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("t.flac");
    // clang-format off
    const struct { uint32_t channels; uint64_t announced, written; bool finish; } rows[] = {
        {2, 3 * 44100,  3 * 44100,     true},
        {2, 25 * 44100, 3 * 44100 + 7, true}, // the seek points at 10 and 20 s are never reached
        {2, 25 * 44100, 44100 + 1,     false},
        {1, 2 * 44100,  2 * 44100,     true},
    };
    // clang-format on
    const uint32_t chunks[] = {588 * 7, 1, 4097, 13 * 588 + 3, 9000};
    for (const auto &row : rows) {
        const std::vector<int16_t> samples = Samples(row.written * row.channels);
        TNewFile file(path);
        {
            TFlacWriter writer(file, 44100, row.channels, row.announced);
            for (uint64_t done = 0, i = 0, n = 0; done < row.written; done += n)
                writer.Write(samples.data() + done * row.channels,
                             uint32_t(n = std::min<uint64_t>(chunks[i++ % 5], row.written - done)));
            if (row.finish)
                writer.Finish();
        }
        ASSERT_EQ(file.Commit(), "");
        EXPECT_TRUE(DecodeFlac(path) == samples) << row.written;
    }
    // A full disk is told by the system's own words.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small{20000, saved.rlim_max};
    setrlimit(RLIMIT_FSIZE, &small);
    EXPECT_THAT(
        [&] {
            TNewFile file(path);
            TFlacWriter(file, 44100, 2, 44100).Write(Samples(88200).data(), 44100);
        },
        testing::ThrowsMessage<EFlacError>("Cannot write \"" + path.toStdString() + "\" (File too large)"));
    setrlimit(RLIMIT_FSIZE, &saved);
}

// Comments and a front cover that TagLib reads back, each written again in place of the old one, and the
// audio as it was. With no room on the disk for the tagged copy the file keeps its bytes.
TEST(FlacTag, WritesCommentsAndCoverAndKeepsTheAudio)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("t.flac");
    const std::vector<int16_t> samples = Samples(88200);
    {
        TNewFile file(path);
        TFlacWriter(file, 44100, 2, 44100).Write(samples.data(), 44100);
        ASSERT_EQ(file.Commit(), "");
    }
    FlacTagFields fields{
        "Vecchio",  "Artista",  "Album",    "Artista",  "1999",      "Rock",         "3",
        "12",       "1",        "2",        "mb-a",     "mb-t",      "ITA012300003", "8012345678901",
        "-6.52 dB", "0.988312", "-7.00 dB", "1.000000", "old cover", "image/png"};
    FlacTagWriter::Write(path, fields);
    fields.title = "Perché";
    // A progressive JPEG of 600 x 500 pixels in three components: its frame header comes after a segment
    // and a fill byte before a Huffman table, whose code lies among those of the frame headers.
    const QByteArray jpeg = QByteArray::fromHex("ffd8ffe000104a46494600010100000100010000ffffc400040000"
                                                "ffc200110801f402580301220002110103110100")
                                .leftJustified(20000, 'j');
    fields.cover = jpeg;
    fields.coverMimeType = "image/jpeg";
    FlacTagWriter::Write(path, fields);

    TagLib::FLAC::File file(QFile::encodeName(path).constData());
    EXPECT_EQ(
        file.properties().toString().to8Bit(true),
        "ALBUM=Album\nARTIST=Artista\nBARCODE=8012345678901\nDATE=1999\nDISCNUMBER=1\nDISCTOTAL=2\n"
        "GENRE=Rock\nISRC=ITA012300003\nMUSICBRAINZ_ALBUMID=mb-a\nMUSICBRAINZ_TRACKID=mb-t\n"
        "REPLAYGAIN_ALBUM_GAIN=-7.00 dB\n"
        "REPLAYGAIN_ALBUM_PEAK=1.000000\nREPLAYGAIN_TRACK_GAIN=-6.52 dB\nREPLAYGAIN_TRACK_PEAK=0.988312\n"
        "TITLE=Perché\nTRACKNUMBER=3\nTRACKTOTAL=12\n");
    ASSERT_EQ(file.pictureList().size(), 1u);
    const TagLib::FLAC::Picture &cover = *file.pictureList().front();
    EXPECT_TRUE(cover.type() == cover.FrontCover && cover.mimeType() == "image/jpeg" &&
                cover.data() == TagLib::ByteVector(jpeg.constData(), 20000));
    EXPECT_TRUE(DecodeFlac(path) == samples);
    // The picture's size and colours as its image's header gives them: none from what holds no image, or
    // a header cut short (its missing bytes there to be read beyond the end).
    const QByteArray png = QByteArray::fromHex("89504e470d0a1a0a0000000d49484452");
    // clang-format off
    const std::pair<QByteArray, const char *> covers[] = {
        {jpeg, "600x500 24 0"},
        {QByteArray::fromRawData(jpeg.constData(), 35), "0x0 0 0"},
        {png + QByteArray::fromHex("0000001000000008080600000000000000"), "16x8 32 0"},
        {png + QByteArray::fromHex("0000000300000002040300000000000000" "0000000467414d410000b18f00000000" // gAMA
                                   "0000000f504c5445") + QByteArray(19, 'p'), "3x2 24 5"},
        {"old cover", "0x0 0 0"}};
    // clang-format on
    for (const auto &[image, shape] : covers) {
        fields.cover = image;
        FlacTagWriter::Write(path, fields);
        TagLib::FLAC::File tagged(QFile::encodeName(path).constData());
        const TagLib::FLAC::Picture &p = *tagged.pictureList().front();
        const QString read =
            QString("%1x%2 %3 %4").arg(p.width()).arg(p.height()).arg(p.colorDepth()).arg(p.numColors());
        EXPECT_EQ(read.toStdString(), shape);
    }

    const QByteArray tagged = WavTestFile::Read(path);
    fields.cover = QByteArray(1 << 16, 'x'); // more than the padding: the tagged copy is larger
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{}, small{};
    getrlimit(RLIMIT_FSIZE, &saved);
    small = {rlim_t(tagged.size() + 1000), saved.rlim_max};
    setrlimit(RLIMIT_FSIZE, &small);
    EXPECT_THAT([&] { FlacTagWriter::Write(path, fields); },
                testing::ThrowsMessage<EFlacError>(testing::EndsWith("(File too large)")));
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(WavTestFile::Read(path), tagged);
}
