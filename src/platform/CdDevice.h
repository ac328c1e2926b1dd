#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

// The one place that talks to libcdio and libcdio-paranoia. A CdDevice is an open drive or disc
// image; everything above it sees sector numbers (LSN), raw 2352-byte audio sectors and a table of
// contents, never a libcdio type.

struct CdTocTrack {
    int number = 0;       // track number as recorded on the disc
    int32_t startLsn = 0; // first sector
    bool audio = true;
};

struct CdToc {
    std::vector<CdTocTrack> tracks;
    int32_t leadOutLsn = 0; // first sector after the last track
};

// What a track's sub-channel says beyond its start: where its pre-gap (INDEX 00) begins (its start
// when it has none), where its index 02, 03... begin, its ISRC (12 characters, empty when none) and
// whether its audio has pre-emphasis.
struct CdLayoutTrack {
    int32_t pregapLsn = 0;
    std::vector<int32_t> indexLsns;
    QString isrc;
    bool preemphasis = false;
};

// The stretch before track 1 (LSN 0 up to its start): none (track 1 starts at 0, or is data),
// digital silence, audio, or unreadable.
enum class CdHiddenAudio { None, Silent, Present, Unreadable };

struct CdLayout {
    std::vector<CdLayoutTrack> tracks; // one per track of the TOC, in its order
    QString mcn;                       // the disc's catalogue number, 13 digits; empty when none
    CdHiddenAudio hidden = CdHiddenAudio::None;
};

// What the disc says of itself in its CD-Text (a pressed disc's subchannel, or a CUE sheet's TITLE and
// PERFORMER lines): the disc's title and performer, and each track's, by track number. Empty texts
// where the disc has none.
struct CdText {
    struct Track {
        QString title;
        QString performer;
    };
    QString title;
    QString performer;
    std::map<int, Track> tracks;
};

// A correction or failure that paranoia reported while reading, as a sector range. Unreadable: the
// drive failed to read it (paranoia's read error, or its giving up on the sectors), so whatever
// paranoia hands back there is not the disc's audio.
struct CdJitterEvent {
    int32_t firstSector = 0;
    int32_t lastSector = 0;
    bool unreadable = false;
};

// A drive's vendor and model as it reports them (padded with blanks as the drive pads them).
struct CdDriveModel {
    QString vendor;
    QString model;
};

class CdParanoiaReader;

class CdDevice
{
public:
    static constexpr int SectorBytes = 2352;

    ~CdDevice();
    CdDevice(const CdDevice &) = delete;
    CdDevice &operator=(const CdDevice &) = delete;

    // Opens a device node (/dev/sr0) or a disc image (CUE/BIN, cdrdao TOC, NRG). Null on failure,
    // with the reason in *error; for a CUE sheet in Italian words that follow its path (the BIN its FILE
    // line names is missing, the sheet is malformed). A sheet's audio is read from the BINARY file its
    // FILE line names, beside the sheet or below it, whatever its name.
    static std::unique_ptr<CdDevice> open(const QString &path, QString *error);

    // Device nodes of the optical drives the system has, in libcdio's order.
    static QStringList opticalDrives();

    // Vendor, model and revision for a drive; a short description for an image.
    static QString identify(const QString &path);
    // The vendor and model a drive reports; nothing for a disc image or a drive that does not answer.
    static std::optional<CdDriveModel> driveModel(const QString &path);

    static bool looksLikeImage(const QString &path);
    // Whether open() can serve `path`: a device node (not opened here), or a disc image libcdio reads.
    // For a CUE sheet it cannot, *why gets open()'s reason.
    static bool isDiscSource(const QString &path, QString *why = nullptr);

    bool readToc(CdToc &toc);
    // The layout of the disc whose TOC readToc gave. A disc image tells pre-gaps, ISRCs, the catalogue
    // number and pre-emphasis through libcdio, and a CUE sheet its further index points; a drive's
    // pre-gaps and index points come from the Q sub-channel where libcdio has no pre-gap. Whatever
    // cannot be read is left out (no pre-gap, no index points), never waited for.
    CdLayout readLayout(const CdToc &toc);
    CdText readCdText();
    // The CD-Text of the disc at `path`; empty when it cannot be opened or has none.
    static CdText cdTextOf(const QString &path);
    // Reads `count` sectors from `lsn` as they are on the disc: 16-bit little-endian stereo.
    bool readAudio(int32_t lsn, int count, uint8_t *buffer);
    std::unique_ptr<CdParanoiaReader> openParanoia(QString *error);

    const QString &path() const { return m_path; }
    bool isImage() const { return m_image; }

private:
    struct Handle;
    CdDevice(std::unique_ptr<Handle> handle, const QString &path, bool image);

    std::unique_ptr<Handle> m_handle;
    QString m_path;
    bool m_image = false;
};

// Sector-by-sector reading with paranoia's jitter correction over an open CdDevice (which must
// outlive it). Reads run on one thread at a time.
class CdParanoiaReader
{
public:
    ~CdParanoiaReader();
    CdParanoiaReader(const CdParanoiaReader &) = delete;
    CdParanoiaReader &operator=(const CdParanoiaReader &) = delete;

    bool seek(int32_t lsn);
    // Reads the next sector into `sector` (2352 bytes, little-endian). Corrections and failures
    // paranoia reports on the way are appended to `events`. False when the sector is unreadable.
    bool read(uint8_t *sector, std::vector<CdJitterEvent> &events);

private:
    friend class CdDevice;
    struct Handle;
    explicit CdParanoiaReader(std::unique_ptr<Handle> handle);
    std::unique_ptr<Handle> m_handle;
};
