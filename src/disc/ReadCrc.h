#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

// The CRC-32 (zlib's) of a read's bytes as they come, and of one stretch of them, its window (bytes
// [from, to) of the read): the value at the window's two ends is kept as the bytes go by, so that the
// window's CRC costs nothing beyond the read's own.
class TReadCrc
{
public:
    struct Window {
        uint64_t from = 0;
        uint64_t to = 0;
    };

    explicit TReadCrc(std::optional<Window> window = std::nullopt);

    void Add(const uint8_t *bytes, size_t count);
    uint32_t Crc() const { return m_crc; }
    // The window's CRC, once the bytes reached its end; nothing before, or without a window.
    std::optional<uint32_t> WindowCrc() const;

    // The CRC of two stretches one after the other, from the CRC of each and the second's length.
    static uint32_t Combine(uint32_t first, uint32_t second, uint64_t secondBytes);

private:
    std::optional<Window> m_window;
    uint64_t m_done = 0;
    uint32_t m_crc = 0;
    uint32_t m_atFrom = 0; // the CRC of the bytes before the window
    std::optional<uint32_t> m_atTo;
};
