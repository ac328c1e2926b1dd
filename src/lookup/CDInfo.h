#pragma once

#include "platform/CdAudioDevice.h"
#include "platform/Exception.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct TMsf {
    uint32_t Minutes = 0;
    uint32_t Seconds = 0;
    uint32_t Frames = 0;
};

// The track layout of the disc in one drive, as the CD audio device reports it, and the disc's CDDB
// identifier computed from it. Used for one lookup: Open, queries, then destruction closes the device.
// Every query asks the device again. A failing device command raises Exception with the device's
// own error text.
class TCDInfo
{
public:
    // The largest track count the identifier's table has room for.
    static constexpr uint32_t MaxTracks = 99;

    TCDInfo();
    explicit TCDInfo(std::unique_ptr<CdAudioDevice> device);
    // Closes the device if it is still open; a failure to close is not reported from here (call
    // Close() to see it).
    ~TCDInfo();
    TCDInfo(const TCDInfo &) = delete;
    TCDInfo &operator=(const TCDInfo &) = delete;

    void Open(char driveLetter);
    void Close();
    bool IsOpen() const { return m_open; }

    // Runs one device command under the busy cursor; raises the device's error text when it fails.
    void SendCommand(const std::function<uint32_t(CdAudioDevice &)> &command);

    uint32_t GetNumberOfTracks();
    TMsf GetTrackPosition(uint32_t track);
    TMsf GetTrackLength(uint32_t track);
    uint32_t GetDiscLength();
    uint32_t GetDiscId();
    QString GetDiscIdText();

    static uint32_t MsfToFrames(const TMsf &msf);
    static TMsf FramesToMsf(uint32_t frames);
    static TMsf UnpackMsf(uint32_t packed);

    // The identifier's parts on plain values. DiscLength: whole seconds from the second in which
    // track 1 starts to the second in which the lead-out starts, the lead-out being the last track's
    // start plus its device length plus one frame.
    static uint32_t DiscLength(const TMsf &firstStart, const TMsf &lastStart, const TMsf &lastLength);
    static uint32_t DiscId(const std::vector<TMsf> &starts, uint32_t discLength);
    static QString DiscIdText(uint32_t discId);

    // The busy cursor around device commands; the window sets them (the wait cursor and its
    // restoration). Always called in pairs, also when a command fails.
    static std::function<void()> beginBusy;
    static std::function<void()> endBusy;

private:
    class BusyCursor;

    std::unique_ptr<CdAudioDevice> m_device;
    bool m_open = false;
};
