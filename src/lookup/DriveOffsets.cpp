#include "lookup/DriveOffsets.h"

#include "platform/NewFile.h"

#include <QFile>
#include <QFileInfo>

namespace
{

constexpr qsizetype RecordBytes = 69;
constexpr qint64 CacheDays = 30;

} // namespace

std::optional<std::vector<TDriveOffset>> ParseDriveOffsets(const QByteArray &bytes)
{
    if (bytes.isEmpty() || bytes.size() % RecordBytes != 0)
        return std::nullopt;
    std::vector<TDriveOffset> list;
    list.reserve(size_t(bytes.size() / RecordBytes));
    for (qsizetype at = 0; at < bytes.size(); at += RecordBytes) {
        const auto *p = reinterpret_cast<const uint8_t *>(bytes.constData() + at);
        const auto offset = int16_t(uint16_t(p[0] | p[1] << 8));
        const char *name = bytes.constData() + at + 2;
        list.push_back({offset, QString::fromLatin1(name, qstrnlen(name, RecordBytes - 2))});
    }
    return list;
}

std::optional<int> FindDriveOffset(const std::vector<TDriveOffset> &list, const CdDriveModel &drive)
{
    const QString vendor = drive.vendor.simplified();
    const QString model = drive.model.simplified();
    for (const TDriveOffset &entry : list) {
        const qsizetype dash = entry.name.indexOf(QLatin1String(" - "));
        if (dash < 0)
            continue;
        if (entry.name.left(dash).simplified().compare(vendor, Qt::CaseInsensitive) == 0 &&
            entry.name.mid(dash + 3).simplified().compare(model, Qt::CaseInsensitive) == 0)
            return entry.offset;
    }
    return std::nullopt;
}

TReadOffset ChooseReadOffset(std::optional<int> entryOffset, const std::optional<CdDriveModel> &drive,
                             const std::function<std::optional<QByteArray>()> &listFile)
{
    if (entryOffset)
        return {*entryOffset, QStringLiteral("da QUARLE_DRIVES")};
    if (drive && listFile) {
        if (const std::optional<QByteArray> file = listFile()) {
            if (const auto list = ParseDriveOffsets(*file)) {
                if (const std::optional<int> offset = FindDriveOffset(*list, *drive))
                    return {*offset, QStringLiteral("dall'elenco di AccurateRip")};
            }
        }
    }
    return {0, QStringLiteral("nessun offset noto")};
}

std::optional<QByteArray> CachedDriveOffsets(const QString &cacheFile, const QDateTime &now,
                                             const std::function<std::optional<QByteArray>()> &fetch)
{
    std::optional<QByteArray> cached;
    QFile file(cacheFile);
    if (file.open(QIODevice::ReadOnly)) {
        // The list is a few kilobytes; a file (or a link to one) past 4 MiB is not it.
        const QByteArray bytes = file.read(4 << 20);
        if (ParseDriveOffsets(bytes))
            cached = bytes;
    }
    // A copy dated in the future (a clock set wrong at the time) is not trusted to be fresh.
    const qint64 age = QFileInfo(cacheFile).lastModified().secsTo(now);
    if (cached && age >= 0 && age < CacheDays * 24 * 3600)
        return cached;
    std::optional<QByteArray> fetched = fetch ? fetch() : std::nullopt;
    // An error page served with a 200 must not stand in for the list for a month.
    if (!fetched || !ParseDriveOffsets(*fetched))
        return cached;
    ReplaceFile(cacheFile, [&](TNewFile &out) { return out.write(*fetched) == fetched->size(); });
    return fetched;
}
