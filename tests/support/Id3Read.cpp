#include "Id3Read.h"

#include <QFile>

#include <taglib/id3v2frame.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

std::map<std::string, std::string> ReadId3Frames(const QString &path)
{
    std::map<std::string, std::string> frames;
    TagLib::MPEG::File file(QFile::encodeName(path).constData(), false);
    if (!file.isValid() || !file.hasID3v2Tag())
        return frames;
    frames["version"] = std::to_string(file.ID3v2Tag()->header()->majorVersion());
    for (const TagLib::ID3v2::Frame *frame : file.ID3v2Tag()->frameList()) {
        const TagLib::ByteVector id = frame->frameID();
        frames[std::string(id.data(), id.size())] = frame->toString().to8Bit(true);
    }
    return frames;
}
