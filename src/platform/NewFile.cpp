#include "platform/NewFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace
{

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// What stands at a name may be replaced when it is a file or a link (never written through); a device,
// a pipe or a folder is not a file of the user's to replace (as root, a rename would put a plain file
// in the place of /dev/null).
bool replaceable(const QByteArray &path)
{
    struct stat there {
    };
    return ::lstat(path.constData(), &there) != 0 || S_ISREG(there.st_mode) || S_ISLNK(there.st_mode);
}

const char *const kNotAFile = "not a regular file";

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

TNewFile::TNewFile(const QString &path, qsizetype bufferBytes) : m_path(path), m_buffer(size_t(bufferBytes))
{
    if (!replaceable(QFile::encodeName(path))) {
        setErrorString(QString::fromLatin1(kNotAFile));
        return;
    }
    // A short hidden name, so that a name of the longest length still works.
    QByteArray name = QFile::encodeName(QFileInfo(path).absolutePath() + QStringLiteral("/.quarle-XXXXXX"));
    m_fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (m_fd < 0) {
        setErrorString(systemReason(errno));
        return;
    }
    m_newPath = QFile::decodeName(name);
    // A link in path's place is replaced, and its target's modes are not the new file's to take.
    struct stat old {
    };
    const bool replacing = ::lstat(QFile::encodeName(path).constData(), &old) == 0 && S_ISREG(old.st_mode);
    m_mode = replacing ? old.st_mode & 07777 : 0666 & ~processUmask();
    // Its owner may open it again while it is new (a library that writes by name), even in place of a
    // read-only file; it takes its own modes at Commit.
    ::fchmod(m_fd, m_mode | S_IRUSR | S_IWUSR);
    QIODevice::open(QIODevice::WriteOnly);
}

TNewFile::~TNewFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_committed && !m_newPath.isEmpty())
        ::unlink(QFile::encodeName(m_newPath).constData());
}

QString TNewFile::handlePath() const
{
    return QStringLiteral("/proc/self/fd/%1").arg(m_fd);
}

bool TNewFile::failWith(const QString &reason)
{
    if (!m_failed)
        setErrorString(reason);
    m_failed = true;
    return false;
}

bool TNewFile::fail()
{
    if (!m_failed)
        setErrorString(systemReason(errno));
    m_failed = true;
    return false;
}

bool TNewFile::writeOut(const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t written = ::write(m_fd, data, size_t(size));
        if (written < 0 && errno == EINTR)
            continue;
        // A write that stores nothing without saying why would go on forever.
        if (written == 0)
            errno = ENOSPC;
        if (written <= 0)
            return fail();
        data += written;
        size -= written;
    }
    return true;
}

bool TNewFile::flush()
{
    if (m_failed || m_fd < 0)
        return false;
    const qsizetype buffered = std::exchange(m_buffered, 0);
    return writeOut(m_buffer.data(), buffered);
}

qint64 TNewFile::writeData(const char *data, qint64 size)
{
    if (m_failed || m_fd < 0)
        return -1;
    if (m_buffered + size > qint64(m_buffer.size()) && !flush())
        return -1;
    if (size >= qint64(m_buffer.size()))
        return writeOut(data, size) ? size : -1;
    std::memcpy(m_buffer.data() + m_buffered, data, size_t(size));
    m_buffered += qsizetype(size);
    return size;
}

bool TNewFile::setPermissions(QFileDevice::Permissions permissions)
{
    // Qt's owner, group and other bits are the system's, each in a nibble of its own.
    const auto bits = [&permissions](int nibble) {
        return mode_t((permissions.toInt() >> (4 * nibble)) & 7);
    };
    m_mode = bits(3) << 6 | bits(1) << 3 | bits(0);
    return m_fd >= 0 && (::fchmod(m_fd, m_mode | S_IRUSR | S_IWUSR) == 0 || fail());
}

qint64 TNewFile::readData(char *, qint64)
{
    return -1;
}

bool TNewFile::seek(qint64 pos)
{
    if (!flush())
        return false;
    if (::lseek(m_fd, off_t(pos), SEEK_SET) < 0)
        return fail();
    return QIODevice::seek(pos);
}

QString TNewFile::Commit()
{
    if (m_fd < 0)
        return errorString();
    struct stat old {
    };
    const QByteArray target = QFile::encodeName(m_path);
    const QByteArray own = QFile::encodeName(m_newPath);
    m_committed = flush() && ((m_mode & 0600) == 0600 || ::fchmod(m_fd, m_mode) == 0 || fail()) &&
                  // Only a file replaced has anything to lose if the system stops before the new one is
                  // on the disk.
                  (::lstat(target.constData(), &old) != 0 || ::fsync(m_fd) == 0 || fail()) &&
                  (replaceable(target) || failWith(QString::fromLatin1(kNotAFile))) &&
                  (std::rename(own.constData(), target.constData()) == 0 || fail());
    ::close(std::exchange(m_fd, -1));
    QIODevice::close();
    if (!m_committed)
        ::unlink(own.constData());
    m_newPath.clear();
    return m_committed ? QString() : errorString();
}

QString ReplaceFile(const QString &path, const std::function<bool(TNewFile &file)> &write)
{
    TNewFile file(path);
    if (!file.isOpen())
        return file.errorString();
    if (!write(file) || !file.flush())
        return file.errorString().isEmpty() ? QStringLiteral("write error") : file.errorString();
    return file.Commit();
}

bool WriteHeadAndRest(QIODevice &out, const char *head, qint64 headBytes, QIODevice &rest)
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

bool OpenForReading(QFile &file, const QString &path, QString *why)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (why)
            *why = systemReason(errno);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    return true;
}
