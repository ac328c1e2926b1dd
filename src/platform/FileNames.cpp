#include "platform/FileNames.h"

#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

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

namespace
{

// The process's file mode mask, read without changing it (umask() would, for a moment, for every thread).
mode_t processUmask()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:"))
                return mode_t(line.mid(6).trimmed().toUInt(nullptr, 8));
        }
    }
    return 022;
}

} // namespace

QString ReplaceFile(const QString &path, const std::function<bool(QFileDevice &file)> &write)
{
    const QFileInfo target(path);
    QTemporaryFile file(target.absolutePath() + QStringLiteral("/.quarle-XXXXXX"));
    const auto failure = [](const QString &why) {
        return why.isEmpty() ? QStringLiteral("write error") : why;
    };
    if (!file.open())
        return failure(file.errorString());
    // The new file gets the old one's modes, or those of any new file of the user's; a link in its
    // place is replaced, and its target's modes are not the new file's to take.
    struct stat old {
    };
    mode_t mode = 0;
    if (::lstat(QFile::encodeName(path).constData(), &old) == 0 && S_ISREG(old.st_mode)) {
        mode = old.st_mode & 07777;
    } else {
        mode = 0666 & ~processUmask();
    }
    ::fchmod(file.handle(), mode);
    if (!write(file) || !file.flush())
        return failure(file.errorString());
    if (::fsync(file.handle()) != 0)
        return failure(QString::fromLocal8Bit(std::strerror(errno)));
    if (std::rename(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(path).constData()) != 0)
        return failure(QString::fromLocal8Bit(std::strerror(errno)));
    file.setAutoRemove(false);
    return {};
}

bool WriteHeadAndRest(QFileDevice &out, const char *head, qint64 headBytes, QIODevice &rest)
{
    if (out.write(head, headBytes) != headBytes)
        return false;
    QByteArray block;
    while (!(block = rest.read(1 << 20)).isEmpty()) {
        if (out.write(block) != block.size())
            return false;
    }
    // A read that failed ends the loop as the end would: the copy must not pass for whole.
    const auto *file = qobject_cast<const QFileDevice *>(&rest);
    return !file || file->error() == QFileDevice::NoError;
}
