#include "platform/FileNames.h"

#include <QFileInfo>

QString ChangeFileExt(const QString &path, const QString &ext)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return (dot > slash ? path.left(dot) : path) + ext;
}

bool FileOrLinkExists(const QString &path)
{
    const QFileInfo file(path);
    return file.exists() || file.isSymLink();
}

QString WellFormedText(const QString &text)
{
    QString wellFormed = text;
    for (qsizetype i = 0; i < wellFormed.size(); ++i) {
        const QChar c = wellFormed[i];
        if (c.isHighSurrogate() && i + 1 < wellFormed.size() && wellFormed[i + 1].isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            wellFormed[i] = QChar::ReplacementCharacter;
    }
    return wellFormed;
}
