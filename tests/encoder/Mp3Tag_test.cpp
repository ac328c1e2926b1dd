#include "encoder/MP3CoderError.h"
#include "encoder/Mp3Tag.h"

#include "Id3Read.h"
#include "WavTestFile.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>

TEST(Mp3Tag, ExtraFramesAreWrittenAndTheNextWriteReplacesThem)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("track.mp3");
    const QByteArray audio(5000, '\x55');
    ASSERT_TRUE(WavTestFile::Write(path, audio));
    // One write after the other on the same file; the frames as TagLib names them, then each picture; the
    // frames' identifiers.
    // clang-format off
    const struct { Mp3TagFields fields; const char *frames, *ids; } writes[] = {
        {{.artist = "A", .albumArtist = "Various", .disc = "1/2", .musicBrainzAlbumId = "album",
          .musicBrainzReleaseTrackId = "track", .isrc = "ITA012300001", .barcode = "8012345678901",
          .trackGain = "-6.52 dB", .trackPeak = "0.988312", .albumGain = "+1.23 dB", .albumPeak = "0.999969",
          .cover = "\xff\xd8", .coverMimeType = "image/jpeg"},
         "ALBUMARTIST=Various\nARTIST=A\nBARCODE=8012345678901\nDISCNUMBER=1/2\nISRC=ITA012300001\n"
         "MUSICBRAINZ_ALBUMID=album\nMUSICBRAINZ_RELEASETRACKID=track\n"
         "REPLAYGAIN_ALBUM_GAIN=+1.23 dB\nREPLAYGAIN_ALBUM_PEAK=0.999969\nREPLAYGAIN_TRACK_GAIN=-6.52 dB\n"
         "REPLAYGAIN_TRACK_PEAK=0.988312\nUnsupported Data: APIC\n3 image/jpeg \xff\xd8\n",
         "APIC TPE1 TPE2 TPOS TSRC TXXX version"},
        {{.artist = "A", .albumArtist = "A", .trackGain = "-2.00 dB", .cover = "\x89PNG", .coverMimeType = "image/png"},
         "ARTIST=A\nREPLAYGAIN_TRACK_GAIN=-2.00 dB\nUnsupported Data: APIC\n3 image/png \x89PNG\n",
         "APIC TPE1 TXXX version"},
    };
    // clang-format on
    for (const auto &write : writes) {
        Mp3TagWriter::Write(path, write.fields);
        TagLib::MPEG::File tagged(path.toUtf8().constData(), false);
        const TagLib::ID3v2::Tag *tag = tagged.ID3v2Tag(true);
        std::string frames = tag->properties().toString().to8Bit(true);
        for (const TagLib::ID3v2::Frame *frame : tag->frameList("APIC")) {
            const auto *cover = static_cast<const TagLib::ID3v2::AttachedPictureFrame *>(frame);
            frames += std::to_string(cover->type()) + " " + cover->mimeType().to8Bit() + " " +
                      std::string(cover->picture().data(), cover->picture().size()) + "\n";
        }
        EXPECT_EQ(frames, write.frames);
        std::string ids;
        for (const auto &[id, text] : ReadId3Frames(path))
            ids += (ids.empty() ? "" : " ") + id;
        EXPECT_EQ(ids, write.ids);
        const QByteArray bytes = WavTestFile::Read(path);
        EXPECT_EQ(bytes.count("ID3"), 1); // the old tag went whole, not only its frames
        EXPECT_TRUE(bytes.endsWith(audio));
    }
    // A link at the name is never read through: its target's bytes must not be copied beside it.
    const QString link = dir.filePath("link.mp3");
    ASSERT_TRUE(QFile::link(path, link));
    EXPECT_THROW(Mp3TagWriter::Write(link, {}), EMP3CoderError);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
}
