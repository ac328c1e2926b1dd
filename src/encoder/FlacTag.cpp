#include "FlacTag.h"

#include "FlacWriter.h"
#include "platform/NewFile.h"

#include <QFile>

#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/xiphcomment.h>

namespace
{

// TagLib looks for an ID3v1 tag in the last 128 bytes it is given and would rewrite one it found there. The
// metadata it edits is followed by this many zeros, never taken for one as the end of a cover could be.
constexpr unsigned kTailBytes = 128;

// "fLaC" and the metadata blocks up to the one flagged last, read from the file's start; the file is left
// at its first audio frame. Empty when the file does not start so or ends inside a block.
QByteArray readMetadata(QFile &file)
{
    QByteArray metadata = file.read(4);
    if (metadata != "fLaC")
        return {};
    for (bool last = false; !last;) {
        const QByteArray header = file.read(4);
        if (header.size() != 4)
            return {};
        last = uint8_t(header[0]) & 0x80;
        const qint64 length = (uint8_t(header[1]) << 16) | (uint8_t(header[2]) << 8) | uint8_t(header[3]);
        const QByteArray block = file.read(length);
        if (block.size() != length)
            return {};
        metadata += header + block;
    }
    return metadata;
}

TagLib::String tagText(const QString &text)
{
    return TagLib::String(text.toStdString(), TagLib::String::UTF8);
}

} // namespace

void FlacTagWriter::Write(const QString &path, const FlacTagFields &fields)
{
    const auto fail = [&path](const char *what) {
        return EFlacError(QStringLiteral("Cannot %1 the tags of \"%2\"").arg(what, path).toStdString());
    };
    QFile audio;
    const QByteArray metadata = OpenForReading(audio, path) ? readMetadata(audio) : QByteArray();
    if (metadata.isEmpty())
        throw fail("read");

    // TagLib edits the metadata alone, in memory; the audio frames are copied after it as they are.
    TagLib::ByteVectorStream stream(TagLib::ByteVector(metadata.constData(), unsigned(metadata.size())) +
                                    TagLib::ByteVector(kTailBytes, 0));
    TagLib::FLAC::File flac(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    TagLib::Ogg::XiphComment *comment = flac.isValid() ? flac.xiphComment(true) : nullptr;
    if (comment == nullptr)
        throw fail("read");
    const auto set = [comment](const char *key, const QString &text) {
        if (!text.isEmpty())
            comment->addField(key, tagText(text)); // in place of the field's values
    };
    set("TITLE", fields.title);
    set("ARTIST", fields.artist);
    set("ALBUM", fields.album);
    set("ALBUMARTIST", fields.albumArtist != fields.artist ? fields.albumArtist : QString());
    set("DATE", fields.date);
    set("GENRE", fields.genre);
    set("TRACKNUMBER", fields.trackNumber);
    set("TRACKTOTAL", fields.trackTotal);
    set("DISCNUMBER", fields.discNumber);
    set("DISCTOTAL", fields.discTotal);
    set("MUSICBRAINZ_ALBUMID", fields.musicBrainzAlbumId);
    set("MUSICBRAINZ_TRACKID", fields.musicBrainzTrackId);
    set("ISRC", fields.isrc);
    set("BARCODE", fields.barcode);
    set("REPLAYGAIN_TRACK_GAIN", fields.trackGain);
    set("REPLAYGAIN_TRACK_PEAK", fields.trackPeak);
    set("REPLAYGAIN_ALBUM_GAIN", fields.albumGain);
    set("REPLAYGAIN_ALBUM_PEAK", fields.albumPeak);
    if (!fields.cover.isEmpty()) {
        for (TagLib::FLAC::Picture *picture : flac.pictureList()) {
            if (picture->type() == TagLib::FLAC::Picture::FrontCover)
                flac.removePicture(picture);
        }
        auto *cover = new TagLib::FLAC::Picture;
        cover->setType(TagLib::FLAC::Picture::FrontCover);
        cover->setMimeType(tagText(fields.coverMimeType));
        cover->setData(TagLib::ByteVector(fields.cover.constData(), unsigned(fields.cover.size())));
        flac.addPicture(cover); // the file owns the picture from here on
    }
    if (!flac.save())
        throw fail("write");
    const TagLib::ByteVector &tagged = *stream.data();

    const QString error = ReplaceFile(path, [&](TNewFile &out) {
        return WriteHeadAndRest(out, tagged.data(), qint64(tagged.size()) - kTailBytes, audio);
    });
    if (!error.isEmpty())
        throw EFlacError(
            QStringLiteral("Cannot write the tags of \"%1\" (%2)").arg(path, error).toStdString());
}
