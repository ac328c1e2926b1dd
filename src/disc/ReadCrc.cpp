#include "disc/ReadCrc.h"

#include <zlib.h>

TReadCrc::TReadCrc(std::optional<Window> window) : m_window(window)
{
    if (m_window && m_window->to <= m_window->from)
        m_window.reset();
}

void TReadCrc::Add(const uint8_t *bytes, size_t count)
{
    while (count > 0) {
        // Up to the next end of the window not yet passed, so that the CRC there is seen.
        size_t take = count;
        if (m_window) {
            for (const uint64_t mark : {m_window->from, m_window->to}) {
                if (m_done < mark && mark - m_done < take)
                    take = size_t(mark - m_done);
            }
        }
        m_crc = uint32_t(crc32_z(m_crc, bytes, take));
        m_done += take;
        bytes += take;
        count -= take;
        if (m_window && m_done == m_window->from)
            m_atFrom = m_crc;
        if (m_window && m_done == m_window->to)
            m_atTo = m_crc;
    }
}

std::optional<uint32_t> TReadCrc::WindowCrc() const
{
    if (!m_atTo)
        return std::nullopt;
    // CRC(before + window) = CRC(before) carried over the window's length, plus CRC(window).
    return *m_atTo ^ Combine(m_atFrom, 0, m_window->to - m_window->from);
}

uint32_t TReadCrc::Combine(uint32_t first, uint32_t second, uint64_t secondBytes)
{
    return uint32_t(crc32_combine(first, second, z_off_t(secondBytes)));
}
