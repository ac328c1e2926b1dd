#pragma once

#include <QString>

// What a track is ripped to: an MP3, a WAV or a FLAC file, or the samples alone (bare PCM, when no
// format is chosen). The settings file keeps it as a number, read into this at the edge.
enum class AudioFormat { Mp3, Wav, Flac, Pcm };

// Whether the format's files carry tags (and with them ReplayGain and the cover).
constexpr bool IsTagged(AudioFormat format)
{
    return format == AudioFormat::Mp3 || format == AudioFormat::Flac;
}

// ".mp3", ".wav", ".flac" or ".pcm".
QString FileExtension(AudioFormat format);
