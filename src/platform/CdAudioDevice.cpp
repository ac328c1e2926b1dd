#include "platform/CdAudioDevice.h"

#include "platform/DriveLetters.h"

#include <algorithm>

namespace
{

constexpr int64_t LeadInFrames = 150;
constexpr int64_t FramesPerMinute = 75 * 60;

uint32_t packFrames(int64_t frames, uint32_t *packedMsf)
{
    if (frames < 0 || frames / FramesPerMinute > 255)
        return CdAudioDevice::ErrorPositionOutOfRange;
    *packedMsf = CdAudioDevice::packMsf(uint32_t(frames / FramesPerMinute), uint32_t(frames / 75 % 60),
                                        uint32_t(frames % 75));
    return CdAudioDevice::NoError;
}

bool trackExists(const CdToc &toc, uint32_t track)
{
    return track >= 1 && track <= toc.tracks.size();
}

// The drive-letter table's drive or image, read through libcdio. The table of contents is read
// again for every query, so a changed disc is seen at once.
class LibcdioAudioDevice : public CdAudioDevice
{
public:
    uint32_t open(const QString &element) override;
    uint32_t numberOfTracks(uint32_t *count) override;
    uint32_t trackPosition(uint32_t track, uint32_t *packedMsf) override;
    uint32_t trackLength(uint32_t track, uint32_t *packedMsf) override;
    uint32_t close() override;

private:
    uint32_t readToc(CdToc &toc);

    std::unique_ptr<CdDevice> m_device;
};

uint32_t LibcdioAudioDevice::open(const QString &element)
{
    if (m_device)
        return ErrorAlreadyOpen;
    if (element.isEmpty())
        return ErrorNoSuchDrive;
    const char letter = element[0].toUpper().toLatin1();
    const auto table = DriveLetters::current();
    const auto entry = std::find_if(table.begin(), table.end(),
                                    [letter](const DriveLetterEntry &e) { return e.letter == letter; });
    if (entry == table.end())
        return ErrorNoSuchDrive;
    QString reason;
    m_device = CdDevice::open(entry->path, &reason);
    return m_device ? NoError : ErrorCannotOpen;
}

uint32_t LibcdioAudioDevice::readToc(CdToc &toc)
{
    if (!m_device)
        return ErrorNotOpen;
    return m_device->readToc(toc) ? NoError : ErrorNoDisc;
}

uint32_t LibcdioAudioDevice::numberOfTracks(uint32_t *count)
{
    CdToc toc;
    if (const uint32_t error = readToc(toc))
        return error;
    *count = uint32_t(toc.tracks.size());
    return NoError;
}

uint32_t LibcdioAudioDevice::trackPosition(uint32_t track, uint32_t *packedMsf)
{
    CdToc toc;
    if (const uint32_t error = readToc(toc))
        return error;
    return positionInToc(toc, track, packedMsf);
}

uint32_t LibcdioAudioDevice::trackLength(uint32_t track, uint32_t *packedMsf)
{
    CdToc toc;
    if (const uint32_t error = readToc(toc))
        return error;
    return lengthInToc(toc, track, packedMsf);
}

uint32_t LibcdioAudioDevice::close()
{
    if (!m_device)
        return ErrorNotOpen;
    m_device.reset();
    return NoError;
}

} // namespace

QString CdAudioDevice::errorText(uint32_t code)
{
    switch (code) {
    case NoError:
        return "The command completed successfully.";
    case ErrorNoSuchDrive:
        return "The specified drive is not a CD audio device.";
    case ErrorCannotOpen:
        return "The CD audio device cannot be opened.";
    case ErrorNotOpen:
        return "The CD audio device is not open.";
    case ErrorNoDisc:
        return "There is no readable audio disc in the drive.";
    case ErrorNoSuchTrack:
        return "The specified track does not exist on the disc.";
    case ErrorPositionOutOfRange:
        return "The position lies outside what the device can report.";
    case ErrorAlreadyOpen:
        return "The CD audio device is already open.";
    default:
        return QString("Unknown CD audio device error %1.").arg(code);
    }
}

uint32_t CdAudioDevice::packMsf(uint32_t minutes, uint32_t seconds, uint32_t frames)
{
    return (minutes & 0xFF) | (seconds & 0xFF) << 8 | (frames & 0xFF) << 16;
}

uint32_t CdAudioDevice::positionInToc(const CdToc &toc, uint32_t track, uint32_t *packedMsf)
{
    if (!trackExists(toc, track))
        return ErrorNoSuchTrack;
    return packFrames(int64_t(toc.tracks[track - 1].startLsn) + LeadInFrames, packedMsf);
}

uint32_t CdAudioDevice::lengthInToc(const CdToc &toc, uint32_t track, uint32_t *packedMsf)
{
    if (!trackExists(toc, track))
        return ErrorNoSuchTrack;
    const bool last = track == toc.tracks.size();
    const int64_t next = last ? toc.leadOutLsn : toc.tracks[track].startLsn;
    return packFrames(next - toc.tracks[track - 1].startLsn - (last ? 1 : 0), packedMsf);
}

std::unique_ptr<CdAudioDevice> CdAudioDevice::create()
{
    return std::make_unique<LibcdioAudioDevice>();
}
