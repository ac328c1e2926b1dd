#pragma once

#include <QFileDevice>
#include <QString>

#include <functional>
#include <vector>

class QFile;

// A file written anew in place of the one at `path`. It is made under a hidden name of its own in
// path's folder, created exclusively (no link there is followed, no file there is reused), with the modes
// of the regular file at path or else those of any new file of the user's, and takes path's name only
// at Commit: until then the old file stays whole, and a link at path is replaced there, its target
// never touched. Destroyed without Commit, the new file goes. What is neither a file nor a link (a
// device, a pipe, a folder) is never replaced: the file does not open, or Commit fails.
//
// Writes are gathered in a buffer of bufferBytes (0: none); every failure keeps the system's own
// reason ("No space left on device") as errorString(), and every write after a failure fails too.
class TNewFile : public QIODevice
{
public:
    explicit TNewFile(const QString &path, qsizetype bufferBytes = 64 * 1024);
    ~TNewFile() override;
    TNewFile(const TNewFile &) = delete;
    TNewFile &operator=(const TNewFile &) = delete;

    // The name the file takes at Commit, and its own name until then.
    QString path() const { return m_path; }
    QString newPath() const { return m_newPath; }
    // The file itself whatever its name, for a library that opens files by name; valid until Commit.
    QString handlePath() const;

    // The new file's modes, from now on (QFileDevice's names for them).
    bool setPermissions(QFileDevice::Permissions permissions);

    bool isSequential() const override { return false; }
    bool seek(qint64 pos) override;
    // Writes what the buffer holds.
    bool flush();

    // Puts the new file in path's place: what is buffered written, the file on the disk first when it
    // replaces one, then renamed. Empty when done, else the system's reason; either way the device is
    // closed, and after a failure the new file is gone.
    QString Commit();

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    bool writeOut(const char *data, qint64 size);
    bool fail();
    bool failWith(const QString &reason);

    QString m_path, m_newPath;
    int m_fd = -1;
    unsigned m_mode = 0600; // the file's modes once in place
    bool m_failed = false;
    bool m_committed = false;
    std::vector<char> m_buffer;
    qsizetype m_buffered = 0;
};

// Writes the file at `path` anew through a TNewFile: `write` fills it, and it takes the old file's place
// only once it is whole on the disk. Empty when the file was written, else why not ("No space left on
// device").
QString ReplaceFile(const QString &path, const std::function<bool(TNewFile &file)> &write);

// A writer for ReplaceFile of a file whose start changes (a tag) and whose rest is copied: `head`, then
// what is left to read of `rest`, a mebibyte at a time. False when a write or the reading fails.
bool WriteHeadAndRest(QIODevice &out, const char *head, qint64 headBytes, QIODevice &rest);

// Opens the file at `path` for reading, never through a link: a link planted at a name of the run's
// must not have its target's contents copied into the folder. False, with the system's reason in `why`,
// when it cannot.
bool OpenForReading(QFile &file, const QString &path, QString *why = nullptr);
