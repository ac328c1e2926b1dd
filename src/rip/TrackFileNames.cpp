#include "rip/TrackFileNames.h"

#include "platform/FileNames.h"

#include <QFile>
#include <QStringView>

#include <algorithm>

namespace
{

// The marks and embeddings that turn text's direction: "\u202eevil\u202dcod.exe" would show as a name
// it is not.
bool turnsDirection(char16_t c)
{
    return c == 0x061c || c == 0x200e || c == 0x200f || (c >= 0x202a && c <= 0x202e) ||
           (c >= 0x2066 && c <= 0x2069);
}

} // namespace

QString CleanFileName(const QString &title)
{
    QString name;
    for (const QChar c : WellFormedText(title)) {
        if (c.unicode() >= 0x20 && c.unicode() != 0x7f && !turnsDirection(c.unicode()))
            name += c == QLatin1Char('/') ? QLatin1Char('-') : c;
    }
    const auto trimmable = [](QChar c) { return c.isSpace() || c == QLatin1Char('.'); };
    qsizetype from = 0, to = name.size();
    while (from < to && trimmable(name[from]))
        ++from;
    while (to > from && trimmable(name[to - 1]))
        --to;
    return name.sliced(from, to - from);
}

QString FitFileName(const QString &text, qsizetype maxBytes)
{
    qsizetype bytes = 0;
    qsizetype end = 0;
    while (end < text.size()) {
        const qsizetype units =
            text[end].isHighSurrogate() && end + 1 < text.size() && text[end + 1].isLowSurrogate() ? 2 : 1;
        const qsizetype size = QStringView(text).mid(end, units).toUtf8().size();
        if (bytes + size > maxBytes)
            break;
        bytes += size;
        end += units;
    }
    return text.left(end);
}

QString TTrackFileNames::Next(const QString &folder, const QString &title, const QString &caption,
                              const QString &ripperExt, const QString &finalExt)
{
    QString name = CleanFileName(title);
    if (name.isEmpty())
        name = caption;
    // A folder without its final "/" runs into the name: that part of the name counts too.
    const qsizetype taken = folder.mid(folder.lastIndexOf('/') + 1).toUtf8().size() +
                            std::max(ripperExt.toUtf8().size(), finalExt.toUtf8().size());
    for (int n = 1;; ++n) {
        const QString suffix = n == 1 ? QString() : QString(" (%1)").arg(n);
        const QString candidate = FitFileName(name, MaxNameBytes - taken - suffix.toUtf8().size()) + suffix;
        const QString path = folder + candidate;
        const QByteArray bytes = QFile::encodeName(path + finalExt);
        if (!m_given.contains(bytes) &&
            !(m_besideExisting && (FileOrLinkExists(path + finalExt) || FileOrLinkExists(path + "jitt")))) {
            m_given.insert(bytes);
            return path + ripperExt;
        }
    }
}
