#include "disc/AudioFormat.h"

QString FileExtension(AudioFormat format)
{
    switch (format) {
    case AudioFormat::Mp3:
        return QStringLiteral(".mp3");
    case AudioFormat::Wav:
        return QStringLiteral(".wav");
    case AudioFormat::Flac:
        return QStringLiteral(".flac");
    case AudioFormat::Pcm:
        break;
    }
    return QStringLiteral(".pcm");
}
