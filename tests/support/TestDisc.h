#pragma once

#include "DiscImage.h"

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
    QString dir() const { return m_dir.path(); }

    // Makes QUARLE_DRIVES name `drives` ("D=/path.cue;E=..."), until the TestDisc goes.
    static void setDrives(const QString &drives) { qputenv("QUARLE_DRIVES", drives.toLocal8Bit()); }
    // "D=<this image>"
    QString driveEntry(char letter = 'D') const { return QString(QChar(letter)) + "=" + m_image.cuePath; }

private:
    QTemporaryDir m_dir;
    DiscImage m_image;
};
