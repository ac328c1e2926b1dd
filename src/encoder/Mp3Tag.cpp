#include "Mp3Tag.h"

#include "MP3CoderError.h"
#include "platform/NewFile.h"

#include <QFile>
#include <QRegularExpression>

#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/textidentificationframe.h>
#include <taglib/uniquefileidentifierframe.h>

namespace
{

TagLib::String tagText(const QString &text)
{
    return TagLib::String(text.toStdString(), TagLib::String::UTF8);
}

// The bytes of the ID3v2 tag at the start of `head` (its first ten bytes), 0 when there is none: the
// header, the size in four bytes of seven bits, and a footer when flag 0x10 says so.
qint64 leadingTagBytes(const QByteArray &head)
{
    if (head.size() < 10 || !head.startsWith("ID3"))
        return 0;
    qint64 size = 0;
    for (int i = 6; i < 10; ++i)
        size = (size << 7) | (uint8_t(head[i]) & 0x7f);
    return 10 + size + ((uint8_t(head[5]) & 0x10) ? 10 : 0);
}

} // namespace

void Mp3TagWriter::Write(const QString &path, const Mp3TagFields &fields)
{
    const auto fail = [&path](const char *what) {
        return EMP3CoderError(QStringLiteral("Cannot %1 the tag of \"%2\"").arg(what, path).toStdString());
    };
    TagLib::ID3v2::Tag tag;
    const auto set = [&tag](const char *id, const QString &text) {
        if (text.isEmpty())
            return;
        auto *frame =
            new TagLib::ID3v2::TextIdentificationFrame(TagLib::ByteVector(id, 4), TagLib::String::UTF8);
        frame->setText(tagText(text));
        tag.addFrame(frame); // the tag owns the frame from here on
    };
    static const QRegularExpression year(QStringLiteral("^[0-9]{4}$"));
    set("TIT2", fields.title);
    set("TRCK", fields.track);
    set("TPE1", fields.artist);
    set("TALB", fields.album);
    set("TDRC", year.match(fields.year).hasMatch() ? fields.year : QString());
    set("TCON", fields.genre);
    set("TPE2", fields.albumArtist != fields.artist ? fields.albumArtist : QString());
    set("TPOS", fields.disc);
    set("TSRC", fields.isrc);
    const auto setUser = [&tag](const char *description, const QString &text) {
        if (!text.isEmpty())
            tag.addFrame(new TagLib::ID3v2::UserTextIdentificationFrame(description, tagText(text)));
    };
    setUser("MusicBrainz Album Id", fields.musicBrainzAlbumId);
    setUser("MusicBrainz Release Track Id", fields.musicBrainzReleaseTrackId);
    setUser("BARCODE", fields.barcode);
    if (!fields.musicBrainzRecordingId.isEmpty()) {
        const QByteArray id = fields.musicBrainzRecordingId.toUtf8();
        tag.addFrame(new TagLib::ID3v2::UniqueFileIdentifierFrame(
            "http://musicbrainz.org", TagLib::ByteVector(id.constData(), unsigned(id.size()))));
    }
    setUser("REPLAYGAIN_TRACK_GAIN", fields.trackGain);
    setUser("REPLAYGAIN_TRACK_PEAK", fields.trackPeak);
    setUser("REPLAYGAIN_ALBUM_GAIN", fields.albumGain);
    setUser("REPLAYGAIN_ALBUM_PEAK", fields.albumPeak);
    if (!fields.cover.isEmpty()) {
        auto *cover = new TagLib::ID3v2::AttachedPictureFrame;
        cover->setTextEncoding(TagLib::String::UTF8);
        cover->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
        cover->setMimeType(tagText(fields.coverMimeType));
        cover->setPicture(TagLib::ByteVector(fields.cover.constData(), unsigned(fields.cover.size())));
        tag.addFrame(cover);
    }
    const TagLib::ByteVector rendered = tag.render(TagLib::ID3v2::v4);

    QFile audio;
    if (!OpenForReading(audio, path) || !audio.seek(leadingTagBytes(audio.peek(10))))
        throw fail("read");
    // The old file is replaced only once the tagged one is whole: a failure leaves its audio as it was.
    const QString error = ReplaceFile(path, [&](TNewFile &out) {
        return WriteHeadAndRest(out, rendered.data(), qint64(rendered.size()), audio);
    });
    if (!error.isEmpty())
        throw EMP3CoderError(
            QStringLiteral("Cannot write the tag of \"%1\" (%2)").arg(path, error).toStdString());
}
