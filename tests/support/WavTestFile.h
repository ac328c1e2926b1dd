#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

// Interleaved 16-bit audio as the tests build and decode it.
struct TestPcm {
    uint32_t rate = 44100;
    int channels = 2;
    std::vector<int16_t> samples;

    size_t frames() const { return channels > 0 ? samples.size() / static_cast<size_t>(channels) : 0; }
    double seconds() const { return rate > 0 ? static_cast<double>(frames()) / rate : 0.0; }
};

class WavTestFile
{
public:
    // A sine of `hz` at half the full scale on every channel.
    static TestPcm Tone(uint32_t rate, int channels, double hz, double seconds);
    // A 16-bit PCM WAV: "RIFF" size "WAVE", "fmt " (16 bytes, or 40 with WAVE_FORMAT_EXTENSIBLE),
    // `between`, "data" with the samples, then `after`; `between` and `after` are whole chunks (Chunk).
    static QByteArray WavBytes(const TestPcm &pcm, const QByteArray &between = {},
                               const QByteArray &after = {}, bool extensible = false);
    // One RIFF chunk: id, size, body, pad byte.
    static QByteArray Chunk(const char *id, const QByteArray &body);
    // Any file's bytes, written whole or read whole (none when it cannot be read).
    static bool Write(const QString &path, const QByteArray &bytes);
    static QByteArray Read(const QString &path);
    // Frequency of the dominant tone of one channel, from its rising zero crossings over the middle
    // of the signal (the encoder's start and end are left out).
    static double ToneFrequency(const TestPcm &pcm, int channel);
};
