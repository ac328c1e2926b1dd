#include "lookup/CDInfo.h"

#include <array>

std::function<void()> TCDInfo::beginBusy;
std::function<void()> TCDInfo::endBusy;

// The device's error text travels the way the platform hands it back: a 250-character buffer with its
// terminating zero.
constexpr int ErrorTextMax = 249;

class TCDInfo::BusyCursor
{
public:
    BusyCursor()
    {
        if (beginBusy)
            beginBusy();
    }
    ~BusyCursor()
    {
        if (endBusy)
            endBusy();
    }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

namespace
{

uint32_t digitSum(uint32_t n)
{
    uint32_t sum = 0;
    for (; n > 0; n /= 10)
        sum += n % 10;
    return sum;
}

} // namespace

TCDInfo::TCDInfo() : TCDInfo(CdAudioDevice::create()) {}

TCDInfo::TCDInfo(std::unique_ptr<CdAudioDevice> device) : m_device(std::move(device)) {}

TCDInfo::~TCDInfo()
{
    if (m_open) {
        BusyCursor busy;
        m_device->close();
    }
}

void TCDInfo::SendCommand(const std::function<uint32_t(CdAudioDevice &)> &command)
{
    BusyCursor busy;
    const uint32_t result = command(*m_device);
    if (result != CdAudioDevice::NoError)
        throw Exception(CdAudioDevice::errorText(result).left(ErrorTextMax).toStdString());
}

void TCDInfo::Open(char driveLetter)
{
    BusyCursor busy;
    // The device is named like "d:\0@"; only the letter at its start picks the drive.
    const QString element = QString(QChar(driveLetter)).toLower() + ":\\0@";
    SendCommand([&](CdAudioDevice &d) { return d.open(element); });
    m_open = true;
}

void TCDInfo::Close()
{
    if (!m_open)
        return;
    m_open = false;
    SendCommand([](CdAudioDevice &d) { return d.close(); });
}

uint32_t TCDInfo::GetNumberOfTracks()
{
    uint32_t count = 0;
    SendCommand([&](CdAudioDevice &d) { return d.numberOfTracks(&count); });
    return count;
}

TMsf TCDInfo::GetTrackPosition(uint32_t track)
{
    uint32_t packed = 0;
    SendCommand([&](CdAudioDevice &d) { return d.trackPosition(track, &packed); });
    return UnpackMsf(packed);
}

TMsf TCDInfo::GetTrackLength(uint32_t track)
{
    uint32_t packed = 0;
    SendCommand([&](CdAudioDevice &d) { return d.trackLength(track, &packed); });
    return UnpackMsf(packed);
}

uint32_t TCDInfo::GetDiscLength()
{
    const uint32_t n = GetNumberOfTracks();
    const TMsf lastLength = GetTrackLength(n);
    const TMsf lastStart = GetTrackPosition(n);
    const TMsf firstStart = GetTrackPosition(1);
    return DiscLength(firstStart, lastStart, lastLength);
}

uint32_t TCDInfo::GetDiscId()
{
    const uint32_t n = GetNumberOfTracks();
    // The table has room for a real disc only; a device that reports more would overrun it.
    if (n > MaxTracks)
        throw Exception(QString("The disc reports %1 tracks; a disc holds at most %2.")
                            .arg(n)
                            .arg(MaxTracks)
                            .toStdString());
    std::vector<TMsf> starts;
    starts.reserve(n);
    for (uint32_t i = 1; i <= n; ++i)
        starts.push_back(GetTrackPosition(i));
    return DiscId(starts, GetDiscLength());
}

QString TCDInfo::GetDiscIdText()
{
    return DiscIdText(GetDiscId());
}

uint32_t TCDInfo::MsfToFrames(const TMsf &msf)
{
    return (msf.Minutes * 60 + msf.Seconds) * 75 + msf.Frames;
}

TMsf TCDInfo::FramesToMsf(uint32_t frames)
{
    return {frames / 75 / 60, frames / 75 % 60, frames % 75};
}

TMsf TCDInfo::UnpackMsf(uint32_t packed)
{
    return {packed & 0xFF, packed >> 8 & 0xFF, packed >> 16 & 0xFF};
}

uint32_t TCDInfo::DiscLength(const TMsf &firstStart, const TMsf &lastStart, const TMsf &lastLength)
{
    // The device measures the last track one frame short of the lead-out. The frame count may reach
    // 75 here; converting to frames carries it into the next second.
    TMsf length = lastLength;
    length.Frames += 1;
    const TMsf leadOut = FramesToMsf(MsfToFrames(lastStart) + MsfToFrames(length));
    const uint32_t end = leadOut.Minutes * 60 + leadOut.Seconds;
    const uint32_t start = firstStart.Minutes * 60 + firstStart.Seconds;
    return end - start;
}

uint32_t TCDInfo::DiscId(const std::vector<TMsf> &starts, uint32_t discLength)
{
    uint32_t sum = 0;
    for (const TMsf &s : starts)
        sum += digitSum(s.Minutes * 60 + s.Seconds);
    return (sum % 255) << 24 | discLength << 8 | uint32_t(starts.size());
}

QString TCDInfo::DiscIdText(uint32_t discId)
{
    return QString("%1").arg(discId, 8, 16, QChar('0')).toLower();
}
