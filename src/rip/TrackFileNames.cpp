#include "rip/TrackFileNames.h"

#include <QStringView>

#include <algorithm>

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
    QString name = title.trimmed().isEmpty() ? caption : title;
    // A title may hold "/": in the file name (only there) it must not lead out of the folder.
    name.replace('/', '-');
    // A folder without its final "/" runs into the name: that part of the name counts too.
    const qsizetype taken = folder.mid(folder.lastIndexOf('/') + 1).toUtf8().size() +
                            std::max(ripperExt.toUtf8().size(), finalExt.toUtf8().size());
    for (int n = 1;; ++n) {
        const QString suffix = n == 1 ? QString() : QString(" (%1)").arg(n);
        const QString candidate = FitFileName(name, MaxNameBytes - taken - suffix.toUtf8().size()) + suffix;
        if (!m_given.contains(folder + candidate + finalExt)) {
            m_given.insert(folder + candidate + finalExt);
            return folder + candidate + ripperExt;
        }
    }
}
