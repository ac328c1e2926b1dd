#include "platform/CdDevice.h"

#include <QFileInfo>

#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <cdio/mmc.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

struct CdioDeleter {
    void operator()(CdIo_t *p) const { cdio_destroy(p); }
};
struct DriveDeleter {
    void operator()(cdrom_drive_t *d) const { cdio_cddap_close_no_free_cdio(d); }
};
struct ParanoiaDeleter {
    void operator()(cdrom_paranoia_t *p) const { cdio_paranoia_free(p); }
};

// paranoia's callback carries no user pointer; the reader that is reading on this thread
// collects what it reports.
thread_local std::vector<CdJitterEvent> *t_events = nullptr;

void paranoiaCallback(long inpos, paranoia_cb_mode_t mode)
{
    if (!t_events)
        return;
    switch (mode) {
    case PARANOIA_CB_FIXUP_EDGE:
    case PARANOIA_CB_FIXUP_ATOM:
    case PARANOIA_CB_FIXUP_DROPPED:
    case PARANOIA_CB_FIXUP_DUPED:
    case PARANOIA_CB_SKIP:
    case PARANOIA_CB_DRIFT:
    case PARANOIA_CB_READERR: {
        // inpos counts 16-bit words from the start of the disc.
        const auto sector = static_cast<int32_t>(inpos / (CDIO_CD_FRAMESIZE_RAW / 2));
        const bool unreadable = mode == PARANOIA_CB_READERR || mode == PARANOIA_CB_SKIP;
        CdJitterEvent *last = t_events->empty() ? nullptr : &t_events->back();
        if (last && last->unreadable == unreadable && last->lastSector + 1 >= sector &&
            last->firstSector <= sector) {
            last->lastSector = std::max(last->lastSector, sector);
        } else {
            t_events->push_back({sector, sector, unreadable});
        }
        break;
    }
    default:
        break;
    }
}

// libcdio's own handler ends the whole process on an error-level message, which it also uses for
// a malformed disc image: such an image must only fail to open.
void logHandler(cdio_log_level_t level, const char message[])
{
    if (level < cdio_loglevel_default)
        return;
    std::fprintf(stderr, "libcdio: %s\n", message);
    if (level == CDIO_LOG_ASSERT)
        std::abort();
}

void silenceLibcdio()
{
    static bool done = false;
    if (!done) {
        cdio_loglevel_default = CDIO_LOG_ERROR;
        cdio_log_set_handler(logHandler);
        done = true;
    }
}

} // namespace

struct CdDevice::Handle {
    std::unique_ptr<CdIo_t, CdioDeleter> cdio;
};

struct CdParanoiaReader::Handle {
    std::unique_ptr<cdrom_drive_t, DriveDeleter> drive;
    std::unique_ptr<cdrom_paranoia_t, ParanoiaDeleter> paranoia;
};

CdDevice::CdDevice(std::unique_ptr<Handle> handle, const QString &path, bool image)
    : m_handle(std::move(handle)), m_path(path), m_image(image)
{
}

CdDevice::~CdDevice() = default;

bool CdDevice::looksLikeImage(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == "cue" || suffix == "toc" || suffix == "nrg" || suffix == "bin";
}

std::unique_ptr<CdDevice> CdDevice::open(const QString &path, QString *error)
{
    silenceLibcdio();
    const bool image = looksLikeImage(path) || QFileInfo(path).isFile();
    const QByteArray native = path.toLocal8Bit();
    CdIo_t *p = nullptr;
    if (image) {
        const QString suffix = QFileInfo(path).suffix().toLower();
        if (suffix == "cue")
            p = cdio_open_cue(native.constData());
        else if (suffix == "toc")
            p = cdio_open(native.constData(), DRIVER_CDRDAO);
        else if (suffix == "nrg")
            p = cdio_open(native.constData(), DRIVER_NRG);
        else
            p = cdio_open_bincue(native.constData());
    } else {
        p = cdio_open(native.constData(), DRIVER_DEVICE);
    }
    if (!p) {
        if (error)
            *error = QString("cannot open %1").arg(path);
        return nullptr;
    }
    auto handle = std::make_unique<Handle>();
    handle->cdio.reset(p);
    return std::unique_ptr<CdDevice>(new CdDevice(std::move(handle), path, image));
}

bool CdDevice::isDiscSource(const QString &path)
{
    silenceLibcdio();
    if (!QFileInfo(path).isFile())
        return cdio_is_device(path.toLocal8Bit().constData(), DRIVER_DEVICE);
    return open(path, nullptr) != nullptr;
}

QStringList CdDevice::opticalDrives()
{
    silenceLibcdio();
    QStringList result;
    char **devices = cdio_get_devices(DRIVER_DEVICE);
    if (!devices)
        return result;
    for (char **d = devices; *d; ++d)
        result << QString::fromLocal8Bit(*d);
    cdio_free_device_list(devices);
    return result;
}

std::optional<CdDriveModel> CdDevice::driveModel(const QString &path)
{
    if (looksLikeImage(path) || QFileInfo(path).isFile())
        return std::nullopt;
    auto device = open(path, nullptr);
    cdio_hwinfo_t info{};
    if (!device || !cdio_get_hwinfo(device->m_handle->cdio.get(), &info))
        return std::nullopt;
    return CdDriveModel{QString::fromLatin1(info.psz_vendor), QString::fromLatin1(info.psz_model)};
}

QString CdDevice::identify(const QString &path)
{
    if (looksLikeImage(path) || QFileInfo(path).isFile())
        return QString("Disc image %1").arg(QFileInfo(path).fileName());
    QString error;
    auto device = open(path, &error);
    cdio_hwinfo_t info{};
    if (device && cdio_get_hwinfo(device->m_handle->cdio.get(), &info)) {
        return QString("%1 %2 %3")
            .arg(QString::fromLatin1(info.psz_vendor).trimmed(),
                 QString::fromLatin1(info.psz_model).trimmed(),
                 QString::fromLatin1(info.psz_revision).trimmed())
            .simplified();
    }
    return QString("CD-ROM %1").arg(path);
}

bool CdDevice::readToc(CdToc &toc)
{
    CdIo_t *p = m_handle->cdio.get();
    toc = {};
    const track_t first = cdio_get_first_track_num(p);
    const track_t count = cdio_get_num_tracks(p);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0)
        return false;
    for (track_t i = 0; i < count; ++i) {
        const track_t number = static_cast<track_t>(first + i);
        const lsn_t lsn = cdio_get_track_lsn(p, number);
        if (lsn == CDIO_INVALID_LSN)
            return false;
        toc.tracks.push_back({number, lsn, cdio_get_track_format(p, number) == TRACK_FORMAT_AUDIO});
    }
    const lsn_t leadOut = cdio_get_track_lsn(p, CDIO_CDROM_LEADOUT_TRACK);
    if (leadOut == CDIO_INVALID_LSN)
        return false;
    toc.leadOutLsn = leadOut;
    return true;
}

CdText CdDevice::readCdText()
{
    CdText text;
    CdIo_t *p = m_handle->cdio.get();
    const cdtext_t *cdtext = cdio_get_cdtext(p);
    if (!cdtext)
        return text;
    // libcdio hands CD-Text over as UTF-8, whatever character set the disc used.
    auto field = [cdtext](cdtext_field_t key, track_t track) {
        const char *value = cdtext_get_const(cdtext, key, track);
        return value ? QString::fromUtf8(value).trimmed() : QString();
    };
    text.title = field(CDTEXT_FIELD_TITLE, 0);
    text.performer = field(CDTEXT_FIELD_PERFORMER, 0);
    const track_t first = cdio_get_first_track_num(p);
    const track_t count = cdio_get_num_tracks(p);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK)
        return text;
    for (int number = first; number < first + count && number <= CDIO_CD_MAX_TRACKS; ++number) {
        CdText::Track track{field(CDTEXT_FIELD_TITLE, track_t(number)),
                            field(CDTEXT_FIELD_PERFORMER, track_t(number))};
        if (!track.title.isEmpty() || !track.performer.isEmpty())
            text.tracks[number] = track;
    }
    return text;
}

CdText CdDevice::cdTextOf(const QString &path)
{
    QString error;
    const std::unique_ptr<CdDevice> device = open(path, &error);
    return device ? device->readCdText() : CdText();
}

bool CdDevice::readAudio(int32_t lsn, int count, uint8_t *buffer)
{
    return cdio_read_audio_sectors(m_handle->cdio.get(), buffer, lsn, static_cast<uint32_t>(count)) ==
           DRIVER_OP_SUCCESS;
}

std::unique_ptr<CdParanoiaReader> CdDevice::openParanoia(QString *error)
{
    auto handle = std::make_unique<CdParanoiaReader::Handle>();
    handle->drive.reset(cdio_cddap_identify_cdio(m_handle->cdio.get(), CDDA_MESSAGE_FORGETIT, nullptr));
    if (!handle->drive) {
        if (error)
            *error = "paranoia cannot identify the drive";
        return nullptr;
    }
    cdrom_drive_t *d = handle->drive.get();
    if (m_image) {
        // Image files hold little-endian samples; never let paranoia guess and swap them.
        d->bigendianp = 0;
        d->b_swap_bytes = false;
    }
    if (cdio_cddap_open(d) != 0) {
        if (error)
            *error = "paranoia cannot open the drive";
        return nullptr;
    }
    if (m_image) {
        d->bigendianp = 0;
        d->b_swap_bytes = false;
    }
    handle->paranoia.reset(cdio_paranoia_init(d));
    if (!handle->paranoia) {
        if (error)
            *error = "paranoia cannot start";
        return nullptr;
    }
    cdio_paranoia_modeset(handle->paranoia.get(), PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP);
    return std::unique_ptr<CdParanoiaReader>(new CdParanoiaReader(std::move(handle)));
}

CdParanoiaReader::CdParanoiaReader(std::unique_ptr<Handle> handle) : m_handle(std::move(handle)) {}

CdParanoiaReader::~CdParanoiaReader()
{
    // The paranoia state refers to the drive: free it first.
    m_handle->paranoia.reset();
    m_handle->drive.reset();
}

bool CdParanoiaReader::seek(int32_t lsn)
{
    return cdio_paranoia_seek(m_handle->paranoia.get(), lsn, SEEK_SET) >= 0;
}

bool CdParanoiaReader::read(uint8_t *sector, std::vector<CdJitterEvent> &events)
{
    t_events = &events;
    int16_t *samples = cdio_paranoia_read_limited(m_handle->paranoia.get(), paranoiaCallback, 20);
    t_events = nullptr;
    if (!samples)
        return false;
    std::memcpy(sector, samples, CDIO_CD_FRAMESIZE_RAW);
    return true;
}
