#pragma once

#include "disc/AccurateRip.h"
#include "disc/AudioFormat.h"
#include "disc/CdRip_dll.h"
#include "disc/ReadCrc.h"
#include "disc/WavHeader.h"
#include "encoder/MP3Coder.h"
#include "platform/Exception.h"
#include "platform/OwnedStringList.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class ECDRIPError : public Exception
{
public:
    explicit ECDRIPError(const QString &message) : Exception(message.toStdString()) {}
};

enum class TDriveType : uint8_t {
    GENERIC,
    TOSHIBA,
    TOSHIBANEW,
    IBM,
    NEC,
    DEC,
    IMS,
    KODAK,
    RICOH,
    HP,
    PHILIPS,
    PLASMON,
    GRUNDIGCDR100IPW,
    MITSUMICDR,
    PLEXTOR,
    SONY,
    YAMAHA,
    NRC,
    IMSCDD5,
    CUSTOMDRIVE
};
enum class TReadMethod : uint8_t {
    READMMC,
    READ10,
    READNEC,
    READSONY,
    READMMC2,
    READMMC3,
    READC1,
    READC2,
    READC3
};
enum class TSetSpeed : uint8_t {
    SPEEDNONE,
    SPEEDMMC,
    SPEEDSONY,
    SPEEDYAMAHA,
    SPEEDTOSHIBA,
    SPEEDPHILIPS,
    SPEEDNEC
};
enum class TEndian : uint8_t { BIGENDIAN, LITTLEENDIAN };
enum class TEnableMode : uint8_t { ENABLENONE, ENABLESTD };

// What the library reported of the active drive's drive-table block. Nothing copies these fields
// back into the parameter record: they only show the library's values.
class TDriveTableClass
{
public:
    TDriveType DriveType() const { return m_driveType; }
    void setDriveType(TDriveType v) { m_driveType = v; }
    TReadMethod ReadMethod() const { return m_readMethod; }
    void setReadMethod(TReadMethod v) { m_readMethod = v; }
    TSetSpeed SetSpeed() const { return m_setSpeed; }
    void setSetSpeed(TSetSpeed v) { m_setSpeed = v; }
    TEndian Endian() const { return m_endian; }
    void setEndian(TEndian v) { m_endian = v; }
    TEnableMode EnableMode() const { return m_enableMode; }
    void setEnableMode(TEnableMode v) { m_enableMode = v; }
    int32_t Density() const { return m_density; }
    void setDensity(int32_t v) { m_density = v; }
    bool Atapi() const { return m_atapi; }
    void setAtapi(bool v) { m_atapi = v; }

    void readFrom(const TCDROMParameters &record);

private:
    TDriveType m_driveType = TDriveType::GENERIC;
    TReadMethod m_readMethod = TReadMethod::READMMC;
    TSetSpeed m_setSpeed = TSetSpeed::SPEEDNONE;
    TEndian m_endian = TEndian::BIGENDIAN;
    TEnableMode m_enableMode = TEnableMode::ENABLENONE;
    int32_t m_density = 0;
    bool m_atapi = false;
};

// One entry of the table of contents as the library gave it, data tracks included, with what the
// library told of the track's layout: where its pre-gap (INDEX 00) begins (StartSector when it has
// none or nothing is known), where its index 02, 03... begin, its ISRC (12 characters, empty when
// none) and pre-emphasis. The lead-out entry has no layout.
struct TDiscEntry {
    int32_t StartSector = 0;
    bool Audio = false;
    int32_t PregapSector = 0;
    std::vector<int32_t> IndexSectors{};
    QString Isrc{};
    bool Preemphasis = false;

    bool operator==(const TDiscEntry &) const = default;
};

// The stretch before track 1's start (sector 0 up to it): none (track 1 starts at sector 0, is data,
// or the library told no layout), digital silence, audio (the hidden track), or unreadable.
enum class THiddenAudio { None, Silent, Present, Unreadable };

struct TDriveInfo {
    QString Name;
    char Letter = 0;
    int32_t Index = 0;
};

struct TTrack {
    int32_t Number = 0;
    int32_t StartSector = 0;
    int32_t EndSector = 0; // inclusive
    QString Kind;
};

// The ripper: the CD-ROM drives, the active drive's table of contents as audio tracks, and rips.
class TQuarle : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Fersion READ Fersion)
    Q_PROPERTY(int speed READ speed WRITE setSpeed)
    Q_PROPERTY(QString CdRomName READ CdRomName)
    Q_PROPERTY(int ActiveCdRomNum READ ActiveCdRomNum WRITE setActiveCdRomNum)
    Q_PROPERTY(bool Encode READ Encode)
    Q_PROPERTY(bool WriteWav READ WriteWav)
    Q_PROPERTY(bool WriteFlac READ WriteFlac)
    Q_PROPERTY(bool JitterCorrect READ JitterCorrect WRITE setJitterCorrect)

public:
    using ProcessTrackEvent = std::function<void(QObject *sender, uint16_t trackNum)>;
    using ProgressEvent = std::function<void(QObject *sender, uint16_t percentComplete, uint16_t trackNum)>;
    using SamplesEvent = std::function<void(QObject *sender, const int16_t *samples, size_t count)>;
    using FileEvent = std::function<void(QObject *sender, const QString &file)>;

    // Initialises the library, lists the drives and reads the first drive's table of contents.
    // Raises ECDRIPError "Inizializzazione fallita" when any of it fails.
    explicit TQuarle(QObject *parent = nullptr, CdRipApi api = CdRipApi::library());
    ~TQuarle() override;

    QString Fersion() const { return m_fersion; }
    int32_t speed() const { return m_speed; }
    void setSpeed(int32_t v) { m_speed = v; }
    QString CdRomName() const;
    int32_t ActiveCdRomNum() const { return m_activeCdRomNum; }
    void setActiveCdRomNum(int32_t value);
    TDriveTableClass *DriveTable() const { return m_driveTable.get(); }
    void setDriveTable(const TDriveTableClass &table) { *m_driveTable = table; }
    TOutputFormat OutputFormat() const { return m_outputFormat; }
    void setOutputFormat(TOutputFormat value);
    // What RipTrack writes; the samples alone (bare PCM) until set.
    AudioFormat Format() const { return m_format; }
    void setFormat(AudioFormat format) { m_format = format; }
    bool Encode() const { return m_format == AudioFormat::Mp3; }
    bool WriteWav() const { return m_format == AudioFormat::Wav; }
    bool WriteFlac() const { return m_format == AudioFormat::Flac; }
    bool JitterCorrect() const { return m_jitterCorrect; }
    void setJitterCorrect(bool value);
    TMP3Coder *Coder() const { return m_coder; }
    // Stores the coder (not owned) and sets its mode and rates to the samples this ripper delivers.
    void setCoder(TMP3Coder *coder);
    int32_t JitterErrors() const { return m_jitterErrors; }
    // How the latest rip ended: whether its ripping run opened, whether a cancel ended it before the
    // track's end, and how many of its sectors the library could not read (written as silence, so
    // that the file keeps the track's length and every later sample its place).
    bool RipOpened() const { return m_ripOpened; }
    bool RipCancelled() const { return m_ripCancelled; }
    int32_t UnreadableSectors() const { return m_unreadableSectors; }
    const QStringList &JitterLog() const { return m_jitterLog; }
    // The AccurateRip checksums of the samples of the latest rip, when it delivered them as they come
    // from the disc (stereo 44100 Hz) and the checksums were not switched off; nothing otherwise.
    // They are on unless switched off (the benchmarks time rips both ways).
    void setChecksums(bool v) { m_checksums = v; }
    const TAccurateRipChecksum *TrackChecksum() const { return m_checksumValid ? &m_checksum : nullptr; }

    void FillDriveList(QStringList &list) const;
    void RefreshTOC();
    const TOwnedStringList<TTrack> &Tracks() const { return m_tracks; }
    const QStringList &TrackLengths() const { return m_trackLengths; }
    const TOwnedStringList<TDriveInfo> &Drives() const { return m_drives; }
    // Every entry of the latest table of contents in disc order, then the lead-out (not audio).
    const std::vector<TDiscEntry> &DiscEntries() const { return m_discEntries; }
    // The disc's catalogue number (13 digits), empty when it has none or it is unknown.
    QString Mcn() const { return m_mcn; }
    THiddenAudio HiddenAudio() const { return m_hiddenAudio; }
    // The audio before track 1 as track 0 (sectors 0 to track 1's start less one) when it is there
    // (HiddenAudio Present); it is not one of Tracks. RipTrack(0, ...) rips it.
    std::optional<TTrack> HiddenTrack() const;

    // Rips the track at 1-based position trackNum of Tracks (0: the HiddenTrack) into fileName as Format
    // says: a WAV file or bare PCM by that name, or a FLAC or MP3 file whose name gets the extension ".flac"
    // or ".mp3". The track is written to a new file, which takes its name (and the jitter file's) when the
    // rip ends, cancelled or not; until then a file at that name stays as it was, and after a failure it
    // still does. Runs on the caller's thread and fires the events there. Raises ECDRIPError on failure.
    // Track 0 without a HiddenTrack raises "List index out of bounds (-1)"; the hidden track's checksums
    // are those of a track that is neither the disc's first nor its last.
    void RipTrack(uint16_t trackNum, const QString &fileName);
    // Reads the track as RipTrack does and writes nothing (the test read of "Prova e copia"): no file, no
    // checksums, no samples event, no jitter file; it begins the track and tells its progress as a rip
    // does. Its CRC is ReadCrc(). Raises ECDRIPError on failure.
    void TestTrack(uint16_t trackNum);
    // The CRC-32 (zlib's) of the samples the latest read delivered, as a file of bare samples holds them
    // (silence where the drive could not read).
    uint32_t ReadCrc() const { return m_readCrc; }
    // Stretches of the disc, as frames from its start ([from, to)), of which a read gives the CRC-32 too
    // (the CUETools database checks a track less some samples at the disc's two ends). A read takes the
    // first window that lies within its sectors.
    void setCrcWindows(std::vector<TReadCrc::Window> frames) { m_crcWindows = std::move(frames); }
    // The CRC-32 of the latest read's samples in its window, when it delivered all of them as they come
    // from the disc (stereo 44100 Hz); nothing otherwise.
    std::optional<uint32_t> WindowCrc() const { return m_windowCrc; }
    // Ends the rip in progress after the current chunk; safe from any thread.
    void CancelRip() { m_cancel = true; }

    ProcessTrackEvent OnBeginTrack;
    ProcessTrackEvent OnEndTrack;
    ProgressEvent OnProgress;
    // The samples of each chunk as they go into the file, interleaved in the output format (silence
    // where the drive could not read).
    SamplesEvent OnSamples;
    // The rip's new file, whole, by its own name just before it takes the track's: a handler may write it
    // anew under that name (its tags). A failure it raises fails the rip, and the new file goes.
    FileEvent OnFileWritten;

    // The parameter record of the active drive, shared by every ripper of the program.
    static TCDROMParameters &activeDriveRecord();

private:
    void listDrives();
    void selectDrive(int32_t index);
    void copyFromRecord();
    void readToc();
    void readLayout();
    void configureCoder();
    void startChecksum(int32_t first, int32_t last);
    // The track at 1-based position trackNum of Tracks, or the HiddenTrack for 0; raises for none.
    TTrack TrackToRip(uint16_t trackNum) const;
    // Reads the range into fileName, or only for its CRC when fileName is empty.
    void RipSectors(int32_t first, int32_t last, const QString &fileName, uint16_t trackNum);

    CdRipApi m_api;
    int32_t m_activeCdRomNum = 0;
    std::unique_ptr<TDriveTableClass> m_driveTable;
    TOutputFormat m_outputFormat = TOutputFormat::STEREO44100;
    QByteArray m_identifier; // the record's first 256 bytes
    TOwnedStringList<TTrack> m_tracks;
    QStringList m_trackLengths;
    std::vector<TDiscEntry> m_discEntries;
    QString m_mcn;
    THiddenAudio m_hiddenAudio = THiddenAudio::None;
    QStringList m_jitterLog;
    int32_t m_jitterErrors = 0;
    bool m_ripOpened = false;
    bool m_ripCancelled = false;
    int32_t m_unreadableSectors = 0;
    uint32_t m_readCrc = 0;
    std::vector<TReadCrc::Window> m_crcWindows;
    std::optional<uint32_t> m_windowCrc;
    TAccurateRipChecksum m_checksum;
    bool m_checksumValid = false;
    bool m_checksums = true;
    bool m_jitterCorrect = false;
    AudioFormat m_format = AudioFormat::Pcm;
    std::atomic<bool> m_cancel{false};
    QPointer<TMP3Coder> m_coder;
    int32_t m_speed = 0;
    QString m_fersion;
    TOwnedStringList<TDriveInfo> m_drives;
};
