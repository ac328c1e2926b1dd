#include "TestDisc.h"

#include <stdexcept>

TestDisc::TestDisc(const std::vector<DiscTrack> &tracks, const QString &name)
{
    QString error;
    if (!m_dir.isValid() || !writeDiscImage(m_dir.filePath(name), tracks, &m_image, &error))
        throw std::runtime_error("cannot write the test disc: " + error.toStdString());
    setDrives(driveEntry());
}

TestDisc::~TestDisc()
{
    qunsetenv("QUARLE_DRIVES");
}

void TestDisc::setDrives(const QString &drives)
{
    qputenv("QUARLE_DRIVES", drives.toLocal8Bit());
}

QString TestDisc::driveEntry(char letter) const
{
    return QString(QChar(letter)) + "=" + m_image.cuePath;
}
