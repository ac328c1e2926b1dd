#include "platform/FileNames.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

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

QString MakeFolders(const QString &base, const QString &folder, QString &why)
{
    if (!folder.startsWith(base))
        return {};
    QString path = base;
    for (const QString &name : folder.mid(base.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        path += name;
        if (::mkdir(QFile::encodeName(path).constData(), 0777) != 0) {
            const int error = errno;
            if (error != EEXIST || !QFileInfo(path).isDir()) {
                why = QString::fromLocal8Bit(std::strerror(error == EEXIST ? ENOTDIR : error));
                return path;
            }
        }
        path += QLatin1Char('/');
    }
    return {};
}
