#include "platform/DriveLetters.h"

#include "platform/CdDevice.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <optional>

DriveLetterTable parseDriveLetters(const QString &text, const std::function<bool(const QString &)> &exists)
{
    DriveLetterTable table;
    const QStringList parts = text.split(';');
    for (const QString &raw : parts) {
        const QString entry = raw.trimmed();
        if (entry.isEmpty())
            continue;
        const qsizetype eq = entry.indexOf('=');
        const QString letterText = eq < 0 ? QString() : entry.left(eq).trimmed();
        QString path = eq < 0 ? QString() : entry.mid(eq + 1).trimmed();
        // "@+6": the drive's read offset in samples, at the end of the entry.
        static const QRegularExpression offsetSuffix(QStringLiteral("@([+-]?[0-9]{1,6})$"));
        const QRegularExpressionMatch offset = offsetSuffix.match(path);
        int sampleOffset = 0;
        if (offset.hasMatch()) {
            sampleOffset = offset.captured(1).toInt();
            path = path.left(offset.capturedStart()).trimmed();
        }
        // Only an ASCII letter names a drive: Unicode's upper case turns "ı" into "I" and "ſ" into "S".
        const char16_t written = letterText.size() == 1 ? letterText[0].unicode() : u'\0';
        if (!((written >= u'A' && written <= u'Z') || (written >= u'a' && written <= u'z')) ||
            path.isEmpty()) {
            table.warnings << QString("QUARLE_DRIVES: ignoring malformed entry \"%1\"").arg(entry);
            continue;
        }
        const char letter = char(written >= u'a' ? written - (u'a' - u'A') : written);
        const bool taken = std::any_of(table.entries.begin(), table.entries.end(),
                                       [letter](const DriveLetterEntry &e) { return e.letter == letter; });
        if (taken) {
            table.warnings
                << QString("QUARLE_DRIVES: drive %1 is given twice; keeping the first").arg(letter);
            continue;
        }
        if (!exists(path)) {
            table.warnings
                << QString("QUARLE_DRIVES: %1: %2 does not exist; drive skipped").arg(letter).arg(path);
            continue;
        }
        table.entries.push_back({letter, path, sampleOffset, offset.hasMatch()});
    }
    std::sort(table.entries.begin(), table.entries.end(),
              [](const DriveLetterEntry &a, const DriveLetterEntry &b) { return a.letter < b.letter; });
    return table;
}

namespace DriveLetters
{

namespace
{

std::mutex g_mutex;
std::optional<QByteArray> g_key; // the environment value the cached table was built from
std::vector<DriveLetterEntry> g_entries;

} // namespace

std::vector<DriveLetterEntry> current()
{
    const bool set = qEnvironmentVariableIsSet("QUARLE_DRIVES");
    const QByteArray key = set ? "=" + qgetenv("QUARLE_DRIVES") : QByteArray("<unset>");
    std::lock_guard lock(g_mutex);
    if (g_key && *g_key == key)
        return g_entries;
    g_key = key;
    g_entries.clear();
    if (set) {
        DriveLetterTable table = parseDriveLetters(QString::fromLocal8Bit(qgetenv("QUARLE_DRIVES")),
                                                   [](const QString &p) { return QFileInfo::exists(p); });
        for (const QString &w : table.warnings)
            std::fprintf(stderr, "quarle: %s\n", qPrintable(w));
        g_entries = std::move(table.entries);
    } else {
        char letter = 'D';
        for (const QString &device : CdDevice::opticalDrives()) {
            if (letter > 'Z')
                break;
            g_entries.push_back({letter++, device});
        }
    }
    return g_entries;
}

int driveType(char letter)
{
    const auto table = current();
    const bool found = std::any_of(table.begin(), table.end(),
                                   [letter](const DriveLetterEntry &e) { return e.letter == letter; });
    return found ? DriveCdRom : DriveNoRootDir;
}

} // namespace DriveLetters
