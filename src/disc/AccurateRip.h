#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

// The AccurateRip checksums of one track, fed with the track's samples as they are ripped: 16-bit
// stereo at 44100 Hz, a left and a right sample per frame. Frame k (counted from 1 in the track)
// adds k times the frame's 32-bit value (right << 16 | left): v1 keeps the low 32 bits of each
// product, v2 the low plus the high 32 bits. The disc's first track leaves out its first 2939
// frames and the disc's last audio track its last 2940 (five sectors), as the database does.
// The sums do not depend on the order the frames come in: pieces of the track may be added in any
// order, and from two threads at once.
class TAccurateRipChecksum
{
public:
    static constexpr uint32_t FramesPerSector = 588;

    // Starts a track of `frames` frames. Not to be called while frames are being added.
    void Start(uint32_t frames, bool firstTrack, bool lastTrack);
    // `frames` frames of the track from its frame `at` (counted from 0), interleaved left and right
    // little-endian samples. Frames beyond the length given to Start count for nothing.
    void Add(const uint8_t *samples, size_t frames, uint64_t at);

    uint32_t V1() const { return m_v1; }
    uint32_t V2() const { return m_v2; }

private:
    uint64_t m_from = 1; // first and last counted frame, from 1
    uint64_t m_to = 0;
    std::atomic<uint32_t> m_v1{0};
    std::atomic<uint32_t> m_v2{0};
};
