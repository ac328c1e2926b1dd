#include "app/RipVerification.h"

#include "app/FileLocations.h"
#include "disc/AccurateRip.h"
#include "disc/Quarle.h"
#include "lookup/DriveOffsets.h"
#include "lookup/HttpCli.h"
#include "platform/CdRipLibrary.h"
#include "platform/DriveLetters.h"

#include <QDir>
#include <QFile>

std::function<std::optional<QByteArray>(const ProxySettings &, const QString &)> TRipVerification::fetchFile =
    [](const ProxySettings &proxy, const QString &url) {
        THttpCli http;
        return FetchAccurateRipFile(http, proxy, url);
    };

TRipVerification::TRipVerification(Setup setup)
    : m_setup(std::move(setup)), m_disc(AccurateRipDiscId(m_setup.toc, m_setup.leadOutSector))
{
}

QString TRipVerification::TrackRipped(int trackNumber, const QString &fileName,
                                      const TAccurateRipChecksum *checksum, int jitterErrors)
{
    if (!m_fetched) {
        m_fetched = true;
        if (m_setup.fetch && m_disc.audioTracks > 0) {
            if (const std::optional<QByteArray> file = m_setup.fetch(m_disc.Url()))
                m_answer = ParseAccurateRipFile(*file);
        }
    }
    const uint32_t v1 = checksum ? checksum->V1() : 0;
    const uint32_t v2 = checksum ? checksum->V2() : 0;
    TAccurateRipVerdict verdict = CompareWithAccurateRip(m_answer, m_disc, trackNumber, v1, v2);
    if (!checksum && verdict.kind == TAccurateRipVerdict::Accurate)
        verdict = {TAccurateRipVerdict::NotAccurate, 0};
    const QString number = QString("%1").arg(trackNumber, 2, 10, QChar('0'));
    auto hex = [](uint32_t v) { return QString("%1").arg(v, 8, 16, QChar('0')).toUpper(); };
    m_lines << QString("Traccia %1  %2  CRC v1 %3  v2 %4  AccurateRip: %5  errori di jitter %6")
                   .arg(number, fileName, hex(v1), hex(v2), verdict.Text())
                   .arg(jitterErrors);
    return QString("Traccia %1 AccurateRip: %2").arg(number, verdict.Text());
}

QByteArray TRipVerification::LogText(const QDateTime &when) const
{
    const QString offset = (m_setup.readOffset > 0 ? "+" : "") + QString::number(m_setup.readOffset);
    QStringList text;
    text << "QUARLE - estrazione verificata con AccurateRip"
         << "Data: " + when.toString("yyyy-MM-dd hh:mm:ss") << "Lettore: " + m_setup.drive
         << "Offset di lettura: " + offset + " campioni (" + m_setup.offsetFrom + ")"
         << "Disco AccurateRip: " + m_disc.Text() << "Disco CDDB: " + m_disc.Text().right(8) << "";
    text << m_lines;
    return (text.join("\n") + "\n").toUtf8();
}

QString TRipVerification::LogFileName(const QString &discLabel)
{
    QString name = discLabel.trimmed();
    name.replace('/', '-');
    return (name.isEmpty() ? QStringLiteral("QUARLE") : name) + ".log";
}

bool TRipVerification::WriteLog(const QString &folder, const QString &discLabel, const QDateTime &when) const
{
    QFile file(QDir(folder).filePath(LogFileName(discLabel)));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray text = LogText(when);
    return file.write(text) == text.size() && file.flush();
}

namespace
{

// The database's list of drive offsets, from the user's cache folder or fetched anew.
std::optional<QByteArray> DriveOffsetsFile(const ProxySettings &proxy, const std::atomic<bool> &stop)
{
    const QString folder = ProgramCacheFolder(UserFolders::Standard());
    MakePrivateFolder(folder);
    return CachedDriveOffsets(QDir(folder).filePath(QStringLiteral("DriveOffsets.bin")),
                              QDateTime::currentDateTime(), [&]() -> std::optional<QByteArray> {
                                  if (stop)
                                      return std::nullopt;
                                  return TRipVerification::fetchFile(proxy, DriveOffsetsUrl);
                              });
}

} // namespace

TRipVerification::Setup MakeVerificationSetup(const TQuarle &quarle, const ProxySettings &proxy,
                                              const std::atomic<bool> &stop)
{
    TRipVerification::Setup setup;
    const std::vector<TDiscEntry> &entries = quarle.DiscEntries();
    for (size_t i = 0; i + 1 < entries.size(); ++i)
        setup.toc.push_back({entries[i].StartSector, entries[i].Audio});
    setup.leadOutSector = entries.empty() ? 0 : entries.back().StartSector;

    setup.offsetFrom = QStringLiteral("nessun offset noto");
    const int active = quarle.ActiveCdRomNum();
    if (active >= 0 && active < quarle.Drives().Count()) {
        const TDriveInfo *drive = quarle.Drives().object(active);
        setup.drive = QString(QChar(drive->Letter)) + ": " + drive->Name;
        for (const DriveLetterEntry &entry : DriveLetters::current()) {
            if (entry.letter != drive->Letter)
                continue;
            setup.drive += " (" + entry.path + ")";
            const TReadOffset offset =
                ChooseReadOffset(entry.offsetGiven ? std::optional<int>(entry.sampleOffset) : std::nullopt,
                                 entry.offsetGiven ? std::nullopt : CdDevice::driveModel(entry.path),
                                 [&] { return DriveOffsetsFile(proxy, stop); });
            setup.readOffset = offset.samples;
            setup.offsetFrom = offset.from;
            // The library reads with the offset the log names.
            CdRipSetReadOffset(entry.letter, offset.samples);
        }
    }
    setup.fetch = [proxy, &stop](const QString &url) -> std::optional<QByteArray> {
        if (stop)
            return std::nullopt;
        return TRipVerification::fetchFile(proxy, url);
    };
    return setup;
}
