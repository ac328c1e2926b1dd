#pragma once

#include "DiscImage.h"

#include <QTemporaryDir>

#include <vector>

// A generated disc image in a temporary folder, and the drive-letter table pointing at it for as
// long as the object lives.
class TestDisc
{
public:
    explicit TestDisc(const std::vector<DiscTrack> &tracks, const QString &name = "disc");
    ~TestDisc();
    TestDisc(const TestDisc &) = delete;
    TestDisc &operator=(const TestDisc &) = delete;

    const DiscImage &image() const { return m_image; }
    QString dir() const { return m_dir.path(); }

    // Makes QUARLE_DRIVES name `drives` ("D=/path.cue;E=..."); the earlier value comes back when
    // the last TestDisc goes.
    static void setDrives(const QString &drives);
    // "D=<this image>"
    QString driveEntry(char letter = 'D') const;

private:
    QTemporaryDir m_dir;
    DiscImage m_image;
};
