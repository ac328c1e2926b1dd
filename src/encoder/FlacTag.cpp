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

// What a FLAC picture block tells of its image besides the bytes: width and height in pixels, bits per
// pixel, and for an image of indexed colours the number of colours (0 for any other).
struct PictureShape {
    uint32_t width = 0, height = 0, depth = 0, colours = 0;
};

// The big-endian number of `bytes` bytes at `at`; false when the image ends before it.
bool numberAt(const QByteArray &image, qsizetype at, int bytes, uint32_t *value)
{
    if (at < 0 || bytes > image.size() || at > image.size() - bytes)
        return false;
    *value = 0;
    for (int i = 0; i < bytes; ++i)
        *value = *value << 8 | uint8_t(image[at + i]);
    return true;
}

// A PNG's IHDR comes first; its colour type gives the channels. An image of a palette has 8-bit entries of
// three channels, as many as its PLTE chunk (which comes before the image data) holds.
PictureShape pngShape(const QByteArray &image)
{
    uint32_t width = 0, height = 0, bits = 0, type = 0;
    if (image.mid(12, 4) != "IHDR" || !numberAt(image, 16, 4, &width) || !numberAt(image, 20, 4, &height) ||
        !numberAt(image, 24, 1, &bits) || !numberAt(image, 25, 1, &type))
        return {};
    const uint32_t channels[] = {1, 0, 3, 1, 2, 0, 4};
    if (type != 3)
        return {width, height, type < 7 ? bits * channels[type] : 0, 0};
    uint32_t length = 0;
    for (qsizetype at = 8; numberAt(image, at, 4, &length) && at + 12 + qsizetype(length) <= image.size();
         at += 12 + qsizetype(length)) {
        const QByteArray chunk = image.mid(at + 4, 4);
        if (chunk == "PLTE")
            return {width, height, 24, length / 3};
        if (chunk == "IDAT")
            break;
    }
    return {width, height, 24, 0};
}

// A JPEG's frame header (SOF0 to SOF15 but for DHT, JPG and DAC, which share their codes) gives the sample
// precision, the height, the width and the number of components; the segments before it are skipped by
// their lengths.
PictureShape jpegShape(const QByteArray &image)
{
    qsizetype at = 2;
    uint32_t marker = 0, length = 0;
    while (numberAt(image, at, 1, &marker) && marker == 0xFF) {
        for (++at; numberAt(image, at, 1, &marker) && marker == 0xFF;)
            ++at; // fill bytes before the marker
        ++at;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8))
            continue; // markers without a segment
        if (marker == 0xD9 || marker == 0xDA || !numberAt(image, at, 2, &length) || length < 2)
            return {};
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        uint32_t precision = 0, height = 0, width = 0, components = 0;
        if (frame) {
            if (!numberAt(image, at + 2, 1, &precision) || !numberAt(image, at + 3, 2, &height) ||
                !numberAt(image, at + 5, 2, &width) || !numberAt(image, at + 7, 1, &components))
                return {};
            return {width, height, precision * components, 0};
        }
        at += length;
    }
    return {};
}

PictureShape pictureShape(const QByteArray &image)
{
    if (image.startsWith("\x89PNG\r\n\x1a\n"))
        return pngShape(image);
    if (image.startsWith("\xFF\xD8"))
        return jpegShape(image);
    return {};
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
        const PictureShape shape = pictureShape(fields.cover);
        cover->setWidth(int(shape.width));
        cover->setHeight(int(shape.height));
        cover->setColorDepth(int(shape.depth));
        cover->setNumColors(int(shape.colours));
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
