#include "disc/Quarle.h"

#include <cstring>

namespace
{

// One record for the active drive, shared by the whole program, and one scratch record used while
// the drives are listed.
TCDROMParameters g_activeDrive{};
TCDROMParameters g_scratch{};

bool failed(int32_t result)
{
    return result == CR_ERROR;
}

QString identifierText(const uint8_t *bytes)
{
    const auto *text = reinterpret_cast<const char *>(bytes);
    const size_t length = strnlen(text, TCDROMParameters::IdentifierSize);
    return QString::fromLatin1(text, qsizetype(length));
}

} // namespace

void TDriveTableClass::readFrom(const TCDROMParameters &record)
{
    const uint8_t *b = record.bytes + TCDROMParameters::DriveTableOffset;
    m_driveType = TDriveType(b[0]);
    m_readMethod = TReadMethod(b[1]);
    m_setSpeed = TSetSpeed(b[2]);
    m_endian = TEndian(b[3]);
    m_enableMode = TEnableMode(b[4]);
    m_density = record.int32At(TCDROMParameters::DriveTableOffset + 5);
    m_atapi = record.int32At(TCDROMParameters::DriveTableOffset + 9) != 0;
}

TCDROMParameters &TQuarle::activeDriveRecord()
{
    return g_activeDrive;
}

TQuarle::TQuarle(QObject *parent, CdRipApi api)
    : QObject(parent), m_api(std::move(api)), m_driveTable(std::make_unique<TDriveTableClass>())
{
    try {
        m_fersion = QString::number(m_api.CR_GetCDRipVersion());
        if (!failed(m_api.CR_Init()) && !failed(m_api.CR_GetCDROMParameters(&g_activeDrive))) {
            m_identifier = QByteArray(reinterpret_cast<const char *>(g_activeDrive.bytes),
                                      TCDROMParameters::IdentifierSize);
            m_activeCdRomNum = m_api.CR_GetActiveCDROM();
            copyFromRecord();
            m_jitterCorrect = true;
            g_activeDrive.setInt32At(TCDROMParameters::JitterCorrectionOffset, -1);
            listDrives();
            selectDrive(m_activeCdRomNum);
            readToc();
        }
        m_jitterErrors = 0;
    } catch (...) {
        throw ECDRIPError("Inizializzazione fallita");
    }
}

TQuarle::~TQuarle() = default;

void TQuarle::copyFromRecord()
{
    m_driveTable->readFrom(g_activeDrive);
    m_outputFormat = TOutputFormat(g_activeDrive.bytes[TCDROMParameters::OutputFormatOffset]);
    m_speed = g_activeDrive.int32At(TCDROMParameters::SpeedOffset);
}

void TQuarle::listDrives()
{
    int32_t k = 0;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        if (m_api.GetDriveType(letter) != 5)
            continue;
        if (failed(m_api.CR_SetActiveCDROM(k)) || failed(m_api.CR_GetCDROMParameters(&g_scratch)))
            continue;
        auto info = std::make_unique<TDriveInfo>();
        info->Name = identifierText(g_scratch.bytes);
        info->Letter = letter;
        info->Index = k;
        const QString caption = QString(QChar(letter)) + ": " + info->Name;
        m_drives.add(caption, std::move(info));
        ++k;
    }
}

void TQuarle::selectDrive(int32_t index)
{
    if (failed(m_api.CR_SetActiveCDROM(index)) || failed(m_api.CR_GetCDROMParameters(&g_activeDrive)))
        return;
    m_identifier =
        QByteArray(reinterpret_cast<const char *>(g_activeDrive.bytes), TCDROMParameters::IdentifierSize);
    copyFromRecord();
}

void TQuarle::readToc()
{
    m_tracks.clear();
    m_trackLengths.clear();
    m_discEntries.clear();
    m_mcn.clear();
    m_hiddenAudio = THiddenAudio::None;
    try {
        if (failed(m_api.CR_ReadToc()))
            return;
        const int32_t n = m_api.CR_GetNumTocEntries();
        for (int32_t i = 0; i < n; ++i) {
            const uint64_t entry = m_api.CR_GetTocEntry(i);
            const uint64_t next = m_api.CR_GetTocEntry(i + 1);
            const QString caption = "Track " + QString("%1").arg(i + 1, 2, 10, QChar('0'));
            const auto start = int32_t(uint32_t(entry));
            m_discEntries.push_back({start, uint8_t(entry >> 32) == TocFlagAudio, start});
            if (i == n - 1)
                m_discEntries.push_back({int32_t(uint32_t(next)), false, int32_t(uint32_t(next))});
            if (uint8_t(entry >> 32) != TocFlagAudio)
                continue;
            auto track = std::make_unique<TTrack>();
            track->Number = i + 1;
            track->StartSector = int32_t(uint32_t(entry));
            track->EndSector = int32_t(uint32_t(next)) - 1;
            track->Kind = "Audio";
            m_trackLengths << QString::number(int64_t(track->EndSector) - track->StartSector);
            m_tracks.add(caption, std::move(track));
        }
        readLayout();
    } catch (...) {
        throw ECDRIPError("Initialization failure");
    }
}

void TQuarle::readLayout()
{
    CdLayout layout;
    // A layout that does not match the table of contents entry for entry is no layout of this disc.
    if (!m_api.DiscLayout || !m_api.DiscLayout(&layout) || m_discEntries.empty() ||
        layout.tracks.size() != m_discEntries.size() - 1)
        return;
    for (size_t i = 0; i < layout.tracks.size(); ++i) {
        const CdLayoutTrack &from = layout.tracks[i];
        TDiscEntry &entry = m_discEntries[i];
        const int32_t previous = i ? m_discEntries[i - 1].StartSector : -1;
        const int32_t end = m_discEntries[i + 1].StartSector;
        if (from.pregapLsn > previous && from.pregapLsn <= entry.StartSector)
            entry.PregapSector = from.pregapLsn;
        for (const int32_t sector : from.indexLsns) {
            if (sector > (entry.IndexSectors.empty() ? entry.StartSector : entry.IndexSectors.back()) &&
                sector < end)
                entry.IndexSectors.push_back(sector);
        }
        entry.Isrc = from.isrc;
        entry.Preemphasis = from.preemphasis;
    }
    m_mcn = layout.mcn;
    if (!m_discEntries[0].Audio || m_discEntries[0].StartSector <= 0)
        return;
    switch (layout.hidden) {
    case CdHiddenAudio::None:
        break;
    case CdHiddenAudio::Silent:
        m_hiddenAudio = THiddenAudio::Silent;
        break;
    case CdHiddenAudio::Present:
        m_hiddenAudio = THiddenAudio::Present;
        break;
    case CdHiddenAudio::Unreadable:
        m_hiddenAudio = THiddenAudio::Unreadable;
        break;
    }
}

std::optional<TTrack> TQuarle::HiddenTrack() const
{
    if (m_hiddenAudio != THiddenAudio::Present)
        return std::nullopt;
    return TTrack{0, 0, m_discEntries[0].StartSector - 1, "Audio"};
}

QString TQuarle::CdRomName() const
{
    return identifierText(reinterpret_cast<const uint8_t *>(m_identifier.constData()));
}

void TQuarle::setActiveCdRomNum(int32_t value)
{
    if (m_drives.isEmpty()) {
        // The entries the drive table left out are often why there is none.
        QStringList lines{"Attenzione!   Nessun lettore trovato o utente con diritti minimi."};
        if (m_api.DriveWarnings)
            lines << m_api.DriveWarnings();
        throw ECDRIPError(lines.join('\n'));
    }
    if (value < 0 || value > m_drives.Count() - 1) {
        throw ECDRIPError(QString::fromUtf8("Il N° del lettore CDROM non è compreso tra 0 e ") +
                          QString::number(m_drives.Count() - 1));
    }
    if (value == m_activeCdRomNum)
        return;
    selectDrive(value);
    m_activeCdRomNum = value;
    readToc();
}

void TQuarle::setOutputFormat(TOutputFormat value)
{
    if (value == m_outputFormat)
        return;
    g_activeDrive.bytes[TCDROMParameters::OutputFormatOffset] = uint8_t(value);
    m_outputFormat = value;
    configureCoder();
}

void TQuarle::setCoder(TMP3Coder *coder)
{
    m_coder = coder;
    configureCoder();
}

void TQuarle::configureCoder()
{
    if (!m_coder || uint8_t(m_outputFormat) > 5)
        return;
    const SampleFormat f = sampleFormatOf(m_outputFormat);
    m_coder->setMode(f.channels == 1 ? MONO : STEREO);
    m_coder->setSampleRate(f.rate);
    m_coder->setInputChannels(f.channels);
    m_coder->setInputSampleRate(f.rate);
}

void TQuarle::setJitterCorrect(bool value)
{
    if (value == m_jitterCorrect)
        return;
    m_jitterCorrect = value;
    g_activeDrive.setInt32At(TCDROMParameters::JitterCorrectionOffset, value ? -1 : 0);
}

void TQuarle::FillDriveList(QStringList &list) const
{
    list = m_drives.captions();
}

void TQuarle::RefreshTOC()
{
    readToc();
}
