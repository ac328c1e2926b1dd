#pragma once

#include "DiscImage.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <stdexcept>
#include <vector>

// A generated disc image in a temporary folder, and the drive-letter table pointing at it for as
// long as the object lives.
class TestDisc
{
public:
    explicit TestDisc(const std::vector<DiscTrack> &tracks, const QString &name = "disc",
                      const DiscText &text = {})
    {
        QString error;
        if (!m_dir.isValid() || !writeDiscImage(m_dir.filePath(name), tracks, &m_image, &error, text))
            throw std::runtime_error("cannot write the test disc: " + error.toStdString());
        setDrives(driveEntry());
    }
    ~TestDisc() { qunsetenv("QUARLE_DRIVES"); }

    const DiscImage &image() const { return m_image; }
    // Gives the BIN another name, in the same folder, and the sheet's FILE line that name.
    bool renameBin(const QString &name)
    {
        QFile cue(m_image.cuePath);
        const QByteArray old = QFile::encodeName(QFileInfo(m_image.binPath).fileName());
        if (!cue.open(QIODevice::ReadWrite) || !QFile::rename(m_image.binPath, m_dir.filePath(name)))
            return false;
        m_image.binPath = m_dir.filePath(name);
        const QByteArray text = cue.readAll().replace('"' + old + '"', '"' + QFile::encodeName(name) + '"');
        return cue.resize(0) && cue.seek(0) && cue.write(text) == text.size();
    }
    QString dir() const { return m_dir.path(); }

    // Makes QUARLE_DRIVES name `drives` ("D=/path.cue;E=..."), until the TestDisc goes.
    static void setDrives(const QString &drives) { qputenv("QUARLE_DRIVES", drives.toLocal8Bit()); }
    // "D=<this image>"
    QString driveEntry(char letter = 'D') const { return QString(QChar(letter)) + "=" + m_image.cuePath; }

private:
    QTemporaryDir m_dir;
    DiscImage m_image;
};
