#include "Mp3Tag.h"

#include "MP3CoderError.h"

#include <QFile>
#include <QRegularExpression>

#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

namespace
{

TagLib::String tagText(const QString &text)
{
    return TagLib::String(text.toStdString(), TagLib::String::UTF8);
}

} // namespace

void Mp3TagWriter::Write(const QString &path, const Mp3TagFields &fields)
{
    const auto fail = [&path](const char *what) {
        return EMP3CoderError(QStringLiteral("Cannot %1 the tag of \"%2\"").arg(what, path).toStdString());
    };
    // Without the audio properties TagLib reads only the tags' own bytes, not the stream.
    TagLib::MPEG::File file(QFile::encodeName(path).constData(), false);
    if (!file.isValid() || file.readOnly())
        throw fail("write");
    TagLib::ID3v2::Tag *tag = file.ID3v2Tag(true);

    const auto set = [tag](const char *id, const QString &text) {
        const TagLib::ByteVector frameId(id, 4);
        tag->removeFrames(frameId);
        if (text.isEmpty())
            return;
        auto *frame = new TagLib::ID3v2::TextIdentificationFrame(frameId, TagLib::String::UTF8);
        frame->setText(tagText(text));
        tag->addFrame(frame); // the tag owns the frame from here on
    };
    static const QRegularExpression year(QStringLiteral("^[0-9]{4}$"));
    set("TIT2", fields.title);
    set("TRCK", fields.track);
    set("TPE1", fields.artist);
    set("TALB", fields.album);
    set("TDRC", year.match(fields.year).hasMatch() ? fields.year : QString());
    set("TCON", fields.genre);

    if (!file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers, TagLib::ID3v2::v4,
                   TagLib::File::DoNotDuplicate))
        throw fail("save");
}
