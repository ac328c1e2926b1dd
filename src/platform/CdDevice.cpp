#include "platform/CdDevice.h"

#include "platform/CdPositions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <cdio/mmc.h>
#include <cdio/mmc_ll_cmds.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include <algorithm>
#include <cctype>
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

// The stretch before track 1 is read this far at most (three minutes), a second at a time; what lies
// beyond is not looked at.
constexpr int32_t HiddenScanSectors = 3 * 60 * 75;
constexpr int32_t HiddenReadSectors = 75;
// Reads of the Q sub-channel that may fail before no more are tried: a drive that cannot read it
// at all (or a disc's gap between sessions) costs a few of its time-outs, not one per track.
constexpr int QReadFailures = 3;

// A string libcdio allocated, freed here.
QString takeCdioString(char *text)
{
    const QString value = text ? QString::fromLatin1(text).trimmed() : QString();
    cdio_free(text);
    return value;
}

// A catalogue number or ISRC of the expected form and not all zeros (what drives answer for none).
QString codeOrNothing(const QString &code, const QRegularExpression &form)
{
    return form.match(code).hasMatch() && code.count('0') != code.size() ? code : QString();
}

// A CUE sheet is read this far at most: a real one, with CD-Text for 99 tracks, is a few kilobytes.
constexpr qint64 MaxSheetBytes = 1 << 20;

// The data files a CUE sheet's FILE lines name, each once, as written; `binary` while every one of them is
// of type BINARY (raw little-endian sectors, the only kind libcdio reads from a sheet).
struct SheetFiles {
    QStringList names;
    bool binary = true;
};

SheetFiles sheetFiles(const QByteArray &sheet)
{
    SheetFiles files;
    for (const QByteArray &raw : sheet.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.size() < 5 || line.left(4).toUpper() != "FILE" || !std::isspace(uchar(line[4])))
            continue;
        QByteArray rest = line.mid(5).trimmed(), name;
        if (rest.startsWith('"')) {
            const qsizetype end = rest.indexOf('"', 1);
            name = end < 0 ? QByteArray() : rest.mid(1, end - 1);
            rest = end < 0 ? QByteArray() : rest.mid(end + 1).trimmed();
        } else {
            const qsizetype end = rest.indexOf(' ');
            name = rest.left(end);
            rest = end < 0 ? QByteArray() : rest.mid(end + 1).trimmed();
        }
        if (name.isEmpty())
            continue;
        files.binary = files.binary && rest.toUpper() == "BINARY";
        if (!files.names.contains(QFile::decodeName(name)))
            files.names << QFile::decodeName(name);
    }
    return files;
}

// Where the data file a sheet names is looked for: a relative name in the sheet's folder or below it;
// a name that is absolute or climbs out of that folder (as sheets written on another machine give, often
// with Windows' separators) by its last part, in the sheet's folder. A sheet thus never has anything
// read but a file beside it or below it.
QString sheetDataPath(const QString &sheetPath, QString name)
{
    name.replace('\\', '/');
    const QDir folder = QFileInfo(sheetPath).absoluteDir();
    const QString clean = QDir::cleanPath(name);
    const bool inside =
        QDir::isRelativePath(clean) && !clean.contains(':') && clean != ".." && !clean.startsWith("../");
    return QDir::cleanPath(folder.filePath(inside ? clean : QFileInfo(clean).fileName()));
}

// An open CUE sheet, or why it cannot be opened (words that follow the sheet's path).
struct OpenedSheet {
    CdIo_t *cdio = nullptr;
    std::unique_ptr<QTemporaryDir> links;
    QString error;
};

// libcdio reads a sheet's audio from the file of the sheet's own name with "bin" for "cue", whatever its
// FILE line says. A sheet that names one BINARY file of another name is therefore shown to libcdio as two
// links of one name in a private folder, kept for as long as the image is open. A sheet that names no
// such file is left to libcdio's own rule.
OpenedSheet openSheet(const QString &path)
{
    OpenedSheet opened;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        opened.error = QString::fromUtf8("non si può leggere (%1)").arg(file.errorString());
        return opened;
    }
    const QByteArray sheet = file.read(MaxSheetBytes + 1);
    const QString invalid = QString::fromUtf8("non è un foglio CUE valido");
    if (sheet.size() > MaxSheetBytes) {
        opened.error = invalid;
        return opened;
    }
    const SheetFiles files = sheetFiles(sheet);
    const QString named = files.names.size() == 1 ? sheetDataPath(path, files.names.front()) : QString();
    const QFileInfo data(named);
    const bool follow = !named.isEmpty() && files.binary && data.isFile();
    const bool ownSuffix = path.endsWith("cue") || path.endsWith("CUE");
    const QFileInfo own(path.left(path.size() - 3) + (path.endsWith("CUE") ? "BIN" : "bin"));
    if (follow && !(ownSuffix && own.canonicalFilePath() == data.canonicalFilePath())) {
        opened.links = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/quarle-image-XXXXXX");
        const QString cue = opened.links->filePath("image.cue"), bin = opened.links->filePath("image.bin");
        if (!opened.links->isValid() || !QFile::link(QFileInfo(path).absoluteFilePath(), cue) ||
            !QFile::link(data.absoluteFilePath(), bin)) {
            opened.error = QString::fromUtf8("non si può leggere: la cartella temporanea %1 non è scrivibile")
                               .arg(QDir::tempPath());
            return opened;
        }
        opened.cdio = cdio_open_cue(QFile::encodeName(cue).constData());
    } else {
        opened.cdio = cdio_open_cue(QFile::encodeName(path).constData());
    }
    if (opened.cdio)
        return opened;
    if (named.isEmpty() || follow)
        opened.error = files.names.size() > 1 ? QString::fromUtf8("nomina più file: si legge solo "
                                                                  "un'immagine in un unico file BINARY")
                                              : invalid;
    else if (!files.binary)
        opened.error = QString::fromUtf8("nomina un file che non è BINARY: si legge solo un'immagine in un "
                                         "unico file BINARY");
    else if (!data.exists())
        opened.error = QString("nomina \"%1\", che non esiste").arg(named);
    else
        opened.error = QString::fromUtf8("nomina \"%1\", che non è un file").arg(named);
    return opened;
}

} // namespace

struct CdDevice::Handle {
    std::unique_ptr<QTemporaryDir> links; // after cdio, which may read through them, is gone
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
    const QString suffix = QFileInfo(path).suffix().toLower();
    const bool image = looksLikeImage(path) || QFileInfo(path).isFile();
    auto handle = std::make_unique<Handle>();
    const QByteArray native = path.toLocal8Bit();
    CdIo_t *p = nullptr;
    if (suffix == "cue") {
        OpenedSheet sheet = openSheet(path);
        if (!sheet.cdio) {
            if (error)
                *error = sheet.error;
            return nullptr;
        }
        p = sheet.cdio;
        handle->links = std::move(sheet.links);
    } else if (suffix == "toc") {
        p = cdio_open(native.constData(), DRIVER_CDRDAO);
    } else if (suffix == "nrg") {
        p = cdio_open(native.constData(), DRIVER_NRG);
    } else if (image) {
        p = cdio_open_bincue(native.constData());
    } else {
        p = cdio_open(native.constData(), DRIVER_DEVICE);
    }
    if (!p) {
        if (error)
            *error = QString("cannot open %1").arg(path);
        return nullptr;
    }
    handle->cdio.reset(p);
    return std::unique_ptr<CdDevice>(new CdDevice(std::move(handle), path, image));
}

bool CdDevice::isDiscSource(const QString &path, QString *why)
{
    silenceLibcdio();
    if (!QFileInfo(path).isFile())
        return cdio_is_device(path.toLocal8Bit().constData(), DRIVER_DEVICE);
    QString error;
    if (open(path, &error))
        return true;
    if (why && QFileInfo(path).suffix().toLower() == "cue")
        *why = error;
    return false;
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

CdLayout CdDevice::readLayout(const CdToc &toc)
{
    static const QRegularExpression mcnForm("^[0-9]{13}$"), isrcForm("^[A-Z0-9]{5}[0-9]{7}$");
    CdIo_t *p = m_handle->cdio.get();
    CdLayout layout;
    layout.mcn = codeOrNothing(takeCdioString(cdio_get_mcn(p)), mcnForm);

    std::map<int, std::vector<int32_t>> cuePoints;
    if (m_image && QFileInfo(m_path).suffix().toLower() == "cue") {
        QFile sheet(m_path);
        if (sheet.open(QIODevice::ReadOnly))
            cuePoints = cueIndexPoints(sheet.read(1 << 20));
    }
    int failures = m_image ? QReadFailures : 0; // images have no sub-channel to read
    const CdQReader readQ = [p, &failures](int32_t lsn, std::optional<CdQPosition> &position) {
        // Sync, headers, user data and EDC make 2352 bytes for any kind of sector; the formatted Q follows.
        uint8_t sector[CDIO_CD_FRAMESIZE_RAW + 16];
        if (mmc_read_cd(p, sector, lsn, 0, false, true, 3, true, true, 0, 2, sizeof sector, 1) !=
            DRIVER_OP_SUCCESS) {
            ++failures;
            return false;
        }
        position = decodeCdQ(sector + CDIO_CD_FRAMESIZE_RAW);
        return true;
    };

    for (size_t i = 0; i < toc.tracks.size(); ++i) {
        const CdTocTrack &t = toc.tracks[i];
        const auto number = track_t(t.number);
        CdLayoutTrack track;
        const int32_t bound = i ? toc.tracks[i - 1].startLsn + 1 : 0;
        const lsn_t pregap = cdio_get_track_pregap_lsn(p, number);
        if (pregap != CDIO_INVALID_LSN && pregap >= bound && pregap < t.startLsn)
            track.pregapLsn = pregap;
        else if (i == 0)
            track.pregapLsn = 0; // whatever comes before track 1 is its INDEX 00
        else if (failures < QReadFailures)
            track.pregapLsn = findCdPregap(readQ, t.number, bound, t.startLsn).value_or(t.startLsn);
        else
            track.pregapLsn = t.startLsn;
        if (t.audio) {
            track.isrc = codeOrNothing(takeCdioString(cdio_get_track_isrc(p, number)), isrcForm);
            track.preemphasis = cdio_get_track_preemphasis(p, number) == CDIO_TRACK_FLAG_TRUE;
        }
        layout.tracks.push_back(track);
    }
    for (size_t i = 0; i < toc.tracks.size(); ++i) {
        const CdTocTrack &t = toc.tracks[i];
        const int32_t end = i + 1 < toc.tracks.size() ? layout.tracks[i + 1].pregapLsn : toc.leadOutLsn;
        std::vector<int32_t> &points = layout.tracks[i].indexLsns;
        if (m_image) {
            for (const int32_t offset : cuePoints[t.number]) {
                if (t.startLsn + offset < end)
                    points.push_back(t.startLsn + offset);
            }
        } else if (t.audio && failures < QReadFailures) {
            points = findCdIndexPoints(readQ, t.number, t.startLsn, end - 1).value_or(std::vector<int32_t>());
        }
    }

    const CdTocTrack &first = toc.tracks.empty() ? CdTocTrack{} : toc.tracks.front();
    if (first.audio && first.startLsn > 0) {
        layout.hidden = CdHiddenAudio::Silent;
        const int32_t scan = std::min(first.startLsn, HiddenScanSectors);
        std::vector<uint8_t> buffer(size_t(HiddenReadSectors) * SectorBytes);
        for (int32_t at = 0; at < scan && layout.hidden == CdHiddenAudio::Silent; at += HiddenReadSectors) {
            const int32_t n = std::min(HiddenReadSectors, scan - at);
            if (!readAudio(at, n, buffer.data()))
                layout.hidden = CdHiddenAudio::Unreadable;
            else if (std::any_of(buffer.begin(), buffer.begin() + ptrdiff_t(n) * SectorBytes,
                                 [](uint8_t b) { return b != 0; }))
                layout.hidden = CdHiddenAudio::Present;
        }
    }
    return layout;
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
