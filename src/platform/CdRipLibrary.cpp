#include "platform/CdRipLibrary.h"

#include "platform/CdDevice.h"
#include "platform/DriveLetters.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

int32_t TCDROMParameters::int32At(size_t offset) const
{
    return static_cast<int32_t>(uint32_t(bytes[offset]) | uint32_t(bytes[offset + 1]) << 8 |
                                uint32_t(bytes[offset + 2]) << 16 | uint32_t(bytes[offset + 3]) << 24);
}

void TCDROMParameters::setInt32At(size_t offset, int32_t value)
{
    const auto v = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

size_t convertCdAudio(const int16_t *in, size_t frames, uint8_t outputFormat, int16_t *out)
{
    static constexpr struct {
        int channels;
        int factor;
    } formats[] = {{2, 1}, {1, 1}, {2, 2}, {1, 2}, {2, 4}, {1, 4}};
    const auto fmt = formats[outputFormat <= 5 ? outputFormat : 0];
    if (fmt.channels == 2 && fmt.factor == 1) {
        if (out != in)
            std::memmove(out, in, frames * 4);
        return frames * 4;
    }
    auto divide = [](int32_t sum, int32_t by) {
        return static_cast<int16_t>((sum >= 0 ? sum + by / 2 : sum - by / 2) / by);
    };
    size_t o = 0;
    for (size_t f = 0; f + fmt.factor <= frames; f += fmt.factor) {
        int32_t left = 0, right = 0;
        for (int k = 0; k < fmt.factor; ++k) {
            left += in[2 * (f + k)];
            right += in[2 * (f + k) + 1];
        }
        if (fmt.channels == 1) {
            out[o++] = divide(left + right, 2 * fmt.factor);
        } else {
            out[o++] = divide(left, fmt.factor);
            out[o++] = divide(right, fmt.factor);
        }
    }
    return o * 2;
}

namespace
{

constexpr int32_t LibraryVersion = 110;

struct Drive {
    DriveLetterEntry entry;
    TCDROMParameters params;
};

struct Rip {
    bool open = false;
    int32_t first = 0;
    int32_t last = 0;
    int32_t next = 0;
    bool finishPending = false; // the range is read; the next call answers 4
    int32_t jitterErrors = 0;
    int32_t jitterFirst = 0;
    int32_t jitterLast = 0;
    uint8_t outputFormat = 0;
    std::unique_ptr<CdParanoiaReader> paranoia;
    std::vector<CdJitterEvent> events;
    // What paranoia could not read in this run: it reports a read error when it reads ahead, before
    // the sectors are delivered.
    std::vector<CdJitterEvent> unreadable;
    // The drive's read offset moves the range by a number of samples, so a chunk's bytes may start
    // inside a sector: the disc is read sector by sector from readNext into staging, whose first
    // `held` bytes are read and not yet delivered, the first `skip` of them lying before the range.
    std::vector<uint8_t> staging;
    int32_t readNext = 0;
    size_t held = 0;
    size_t skip = 0;
    int32_t leadOut = INT32_MAX;
};

struct Library {
    std::mutex mutex;
    std::vector<Drive> drives;
    int32_t active = 0;
    std::unique_ptr<CdDevice> device; // opened for the active drive when first needed
    std::vector<uint64_t> toc;        // n entries and the lead-out
    std::optional<CdLayout> layout;   // of the disc of toc
    Rip rip;

    Drive *activeDrive()
    {
        return active >= 0 && active < int32_t(drives.size()) ? &drives[active] : nullptr;
    }

    CdDevice *openDevice()
    {
        if (!device) {
            if (Drive *d = activeDrive())
                device = CdDevice::open(d->entry.path, nullptr);
        }
        return device.get();
    }

    void closeRip() { rip = Rip{}; }
};

Library &lib()
{
    static Library instance;
    return instance;
}

TCDROMParameters defaultParameters(const DriveLetterEntry &entry)
{
    TCDROMParameters p{};
    const QByteArray id =
        CdDevice::identify(entry.path).toLatin1().left(TCDROMParameters::IdentifierSize - 1);
    std::memcpy(p.bytes + TCDROMParameters::IdentifierOffset, id.constData(), size_t(id.size()));
    p.setInt32At(TCDROMParameters::SpeedOffset, 0);
    p.setInt32At(TCDROMParameters::JitterCorrectionOffset, -1);
    p.setInt32At(TCDROMParameters::DriveTableOffset + 9, -1); // ATAPI
    return p;
}

uint64_t tocEntry(int32_t start, uint8_t flag, int number)
{
    return uint64_t(uint32_t(start)) | uint64_t(flag) << 32 | uint64_t(uint8_t(number)) << 40;
}

} // namespace

bool CdRipDiscLayout(CdLayout *layout)
{
    Library &l = lib();
    std::lock_guard lock(l.mutex);
    if (!l.layout || !layout)
        return false;
    *layout = *l.layout;
    return true;
}

bool CdRipSetReadOffset(char letter, int32_t samples)
{
    Library &l = lib();
    std::lock_guard lock(l.mutex);
    for (Drive &d : l.drives) {
        if (d.entry.letter == letter) {
            d.entry.sampleOffset = samples;
            return true;
        }
    }
    return false;
}

extern "C" {

int32_t CR_GetCDRipVersion()
{
    return LibraryVersion;
}

int32_t CR_Init()
{
    Library &l = lib();
    std::lock_guard lock(l.mutex);
    l.closeRip();
    l.device.reset();
    l.toc.clear();
    l.layout.reset();
    l.drives.clear();
    l.active = 0;
    for (const DriveLetterEntry &entry : DriveLetters::current())
        l.drives.push_back({entry, defaultParameters(entry)});
    return CR_OK;
}

int32_t CR_GetActiveCDROM()
{
    Library &l = lib();
    std::lock_guard lock(l.mutex);
    return l.active;
}

int32_t CR_SetActiveCDROM(int32_t index)
{
    Library &l = lib();
    std::lock_guard lock(l.mutex);
    if (index < 0 || index >= int32_t(l.drives.size()))
        return CR_ERROR;
    if (index != l.active) {
        l.closeRip();
        l.device.reset();
        l.toc.clear();
        l.layout.reset();
        l.active = index;
    }
    return CR_OK;
}

int32_t CR_GetCDROMParameters(TCDROMParameters *params)
{
    Library &l = lib();
    std::lock_guard lock(l.mutex);
    Drive *d = l.activeDrive();
    if (!d || !params)
        return CR_ERROR;
    *params = d->params;
    return CR_OK;
}

int32_t CR_SetCDROMParameters(const TCDROMParameters *params)
{
    Library &l = lib();
    std::lock_guard lock(l.mutex);
    Drive *d = l.activeDrive();
    if (!d || !params)
        return CR_ERROR;
    d->params = *params;
    return CR_OK;
}

int32_t CR_ReadToc()
{
    Library &l = lib();
    std::lock_guard lock(l.mutex);
    l.toc.clear();
    l.layout.reset();
    // Open the drive anew, so that a changed disc is seen.
    l.closeRip();
    l.device.reset();
    CdDevice *device = l.openDevice();
    CdToc toc;
    if (!device || !device->readToc(toc))
        return CR_ERROR;
    for (const CdTocTrack &t : toc.tracks)
        l.toc.push_back(tocEntry(t.startLsn, t.audio ? TocFlagAudio : TocFlagData, t.number));
    l.toc.push_back(tocEntry(toc.leadOutLsn, 0, 0xAA));
    l.layout = device->readLayout(toc);
    return CR_OK;
}

int32_t CR_GetNumTocEntries()
{
    Library &l = lib();
    std::lock_guard lock(l.mutex);
    return l.toc.empty() ? 0 : int32_t(l.toc.size()) - 1;
}

uint64_t CR_GetTocEntry(int32_t index)
{
    Library &l = lib();
    std::lock_guard lock(l.mutex);
    if (index < 0 || index >= int32_t(l.toc.size()))
        return 0;
    return l.toc[size_t(index)];
}

int32_t CR_OpenRipper(int32_t *chunkBytes, int32_t firstSector, int32_t lastSector)
{
    Library &l = lib();
    std::lock_guard lock(l.mutex);
    l.closeRip();
    Drive *d = l.activeDrive();
    CdDevice *device = l.openDevice();
    if (!d || !device || !chunkBytes || firstSector < 0 || lastSector < firstSector)
        return CR_ERROR;
    Rip &r = l.rip;
    if (!l.toc.empty())
        r.leadOut = int32_t(uint32_t(l.toc.back()));
    // With read offset n the range's first sample is the disc's sample n after the range's start.
    constexpr int64_t sector = CdDevice::SectorBytes;
    const int64_t startByte = int64_t(firstSector) * sector + int64_t(d->entry.sampleOffset) * 4;
    const int64_t startSector = startByte >= 0 ? startByte / sector : -((-startByte + sector - 1) / sector);
    r.readNext = int32_t(startSector);
    r.skip = size_t(startByte - startSector * sector);
    if (d->params.int32At(TCDROMParameters::JitterCorrectionOffset) != 0) {
        r.paranoia = device->openParanoia(nullptr);
        if (!r.paranoia || !r.paranoia->seek(std::max(r.readNext, 0))) {
            l.closeRip();
            return CR_ERROR;
        }
    }
    r.open = true;
    r.first = r.next = firstSector;
    r.last = lastSector;
    r.outputFormat = d->params.bytes[TCDROMParameters::OutputFormatOffset];
    r.staging.resize(size_t(CdRipChunkSectors + 2) * CdDevice::SectorBytes);
    r.events.reserve(64);
    *chunkBytes = CdRipChunkSectors * CdDevice::SectorBytes;
    return CR_OK;
}

namespace
{

// Reads `count` sectors from r.readNext on into `out`. Sectors outside the disc that the read offset
// pulls in before or after the range are silence; the range's own sectors are always read.
bool readSectors(CdDevice &device, Rip &r, int32_t count, uint8_t *out)
{
    auto silent = [&r](int32_t s) { return (s < 0 || s >= r.leadOut) && (s < r.first || s > r.last); };
    bool ok = true;
    int32_t s = r.readNext;
    const int32_t end = r.readNext + count;
    while (s < end) {
        uint8_t *at = out + size_t(s - r.readNext) * CdDevice::SectorBytes;
        if (silent(s)) {
            std::memset(at, 0, CdDevice::SectorBytes);
            ++s;
            continue;
        }
        int32_t run = 1;
        while (s + run < end && !silent(s + run))
            ++run;
        if (r.paranoia) {
            for (int32_t i = 0; i < run; ++i) {
                if (!r.paranoia->read(at + size_t(i) * CdDevice::SectorBytes, r.events))
                    ok = false;
            }
            // A read error in these sectors fails them, whatever paranoia handed back; paranoia also
            // reports errors of places the chunk never reaches (its read-ahead, its first look at
            // the disc), and those count only when their sectors are delivered.
            for (const CdJitterEvent &e : r.events) {
                if (e.unreadable)
                    r.unreadable.push_back(e);
            }
            for (const CdJitterEvent &e : r.unreadable) {
                if (e.firstSector < s + run && e.lastSector >= s)
                    ok = false;
            }
        } else if (!device.readAudio(s, run, at)) {
            ok = false;
        }
        s += run;
    }
    r.readNext = end;
    return ok;
}

} // namespace

int32_t CR_RipChunk(uint8_t *buffer, int32_t *bytes)
{
    Library &l = lib();
    std::lock_guard lock(l.mutex);
    Rip &r = l.rip;
    if (bytes)
        *bytes = 0;
    if (!r.open || !buffer || !bytes || !l.device)
        return CR_ERROR;
    if (r.finishPending || r.next > r.last) {
        r.finishPending = false;
        return CR_RIP_DONE;
    }
    const int32_t count = std::min(CdRipChunkSectors, r.last - r.next + 1);
    r.events.clear();
    const size_t want = r.skip + size_t(count) * CdDevice::SectorBytes;
    bool ok = true;
    if (r.held < want) {
        const auto sectors = int32_t((want - r.held + CdDevice::SectorBytes - 1) / CdDevice::SectorBytes);
        ok = readSectors(*l.device, r, sectors, r.staging.data() + r.held);
        r.held += size_t(sectors) * CdDevice::SectorBytes;
    }
    const uint8_t *samples = r.staging.data() + r.skip;
    r.next += count;
    const bool lastChunk = r.next > r.last;
    if (ok)
        *bytes = int32_t(convertCdAudio(reinterpret_cast<const int16_t *>(samples),
                                        size_t(count) * (CdDevice::SectorBytes / 4), r.outputFormat,
                                        reinterpret_cast<int16_t *>(buffer)));
    // What was read beyond this chunk (less than a sector) starts the next one.
    r.held -= want;
    std::memmove(r.staging.data(), r.staging.data() + want, r.held);
    r.skip = 0;
    if (!ok) {
        r.finishPending = lastChunk;
        return CR_ERROR;
    }
    if (!r.events.empty()) {
        r.jitterErrors += int32_t(r.events.size());
        r.jitterFirst = r.events.front().firstSector;
        r.jitterLast = r.events.back().lastSector;
        // Report the jitter now; the end of the range follows on the next call.
        r.finishPending = lastChunk;
        return CR_JITTER;
    }
    return lastChunk ? CR_RIP_DONE : CR_OK;
}

void CR_GetLastJitterErrorPosition(int32_t *first, int32_t *last)
{
    Library &l = lib();
    std::lock_guard lock(l.mutex);
    if (first)
        *first = l.rip.jitterFirst;
    if (last)
        *last = l.rip.jitterLast;
}

int32_t CR_GetPercentCompleted()
{
    Library &l = lib();
    std::lock_guard lock(l.mutex);
    const Rip &r = l.rip;
    if (!r.open)
        return 0;
    const int64_t total = int64_t(r.last) - r.first + 1;
    const int64_t done = std::min<int64_t>(int64_t(r.next) - r.first, total);
    return int32_t(done * 100 / total);
}

int32_t CR_GetNumberOfJitterErrors()
{
    Library &l = lib();
    std::lock_guard lock(l.mutex);
    return l.rip.jitterErrors;
}

int32_t CR_CloseRipper()
{
    Library &l = lib();
    std::lock_guard lock(l.mutex);
    l.closeRip();
    return CR_OK;
}

} // extern "C"
