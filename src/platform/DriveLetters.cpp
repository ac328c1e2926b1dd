#include "platform/DriveLetters.h"

#include "platform/CdDevice.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <optional>

DriveLetterTable parseDriveLetters(const QString &text,
                                   const std::function<DriveSource(const QString &path, QString *why)> &probe)
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
            table.warnings << QString("QUARLE_DRIVES: voce non valida \"%1\", ignorata").arg(entry);
            continue;
        }
        const char letter = char(written >= u'a' ? written - (u'a' - u'A') : written);
        const bool taken = std::any_of(table.entries.begin(), table.entries.end(),
                                       [letter](const DriveLetterEntry &e) { return e.letter == letter; });
        if (taken) {
            table.warnings
                << QString("QUARLE_DRIVES: il lettore %1 compare due volte; vale la prima voce").arg(letter);
            continue;
        }
        QString why;
        const DriveSource source = probe(path, &why);
        if (source != DriveSource::Usable) {
            if (why.isEmpty())
                why = source == DriveSource::Missing ? QString("non esiste")
                                                     : QString::fromUtf8("non è un lettore né un'immagine di "
                                                                         "disco (CUE/BIN, TOC di cdrdao)");
            table.warnings << QString("QUARLE_DRIVES: %1: %2 %3; lettore ignorato")
                                  .arg(QString(QChar(letter)), path, why);
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
DriveLetterTable g_table;

DriveSource probe(const QString &path, QString *why)
{
    if (!QFileInfo::exists(path))
        return DriveSource::Missing;
    return CdDevice::isDiscSource(path, why) ? DriveSource::Usable : DriveSource::NotADisc;
}

// The table for the environment as it is now; g_mutex must be held.
const DriveLetterTable &table()
{
    const bool set = qEnvironmentVariableIsSet("QUARLE_DRIVES");
    const QByteArray key = set ? "=" + qgetenv("QUARLE_DRIVES") : QByteArray("<unset>");
    if (g_key && *g_key == key)
        return g_table;
    g_key = key;
    g_table = {};
    if (set) {
        g_table = parseDriveLetters(QString::fromLocal8Bit(qgetenv("QUARLE_DRIVES")), probe);
        for (const QString &w : g_table.warnings)
            std::fprintf(stderr, "quarle: %s\n", qPrintable(w));
    } else {
        char letter = 'D';
        for (const QString &device : CdDevice::opticalDrives()) {
            if (letter > 'Z')
                break;
            g_table.entries.push_back({letter++, device});
        }
    }
    return g_table;
}

} // namespace

std::vector<DriveLetterEntry> current()
{
    std::lock_guard lock(g_mutex);
    return table().entries;
}

QStringList warnings()
{
    std::lock_guard lock(g_mutex);
    return table().warnings;
}

int driveType(char letter)
{
    const auto table = current();
    const bool found = std::any_of(table.begin(), table.end(),
                                   [letter](const DriveLetterEntry &e) { return e.letter == letter; });
    return found ? DriveCdRom : DriveNoRootDir;
}

} // namespace DriveLetters
