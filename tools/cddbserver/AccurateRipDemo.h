#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The file the AccurateRip database would hold for a disc image, made from the image's own audio:
// two pressings, one with each track's v1 checksum and one with its v2 checksum, so that a faithful
// rip of the image is verified. `path` is where the database keeps it on its host.
struct AccurateRipDemoFile {
    QByteArray path; // "/accuraterip/a/b/c/dBAR-....bin"
    QByteArray bytes;
};

std::optional<AccurateRipDemoFile> MakeAccurateRipDemoFile(const QString &imagePath,
                                                           QString *error = nullptr);

// The answer the CUETools database would give to the lookup of a disc image, made from the image's own
// audio with zlib's CRC-32 over what the database checks of each track and of the disc: one pressing of
// confidence 8, so that a faithful rip of the image is verified. `path` is the lookup's, on its host.
std::optional<AccurateRipDemoFile> MakeCtdbDemoAnswer(const QString &imagePath, QString *error = nullptr);
