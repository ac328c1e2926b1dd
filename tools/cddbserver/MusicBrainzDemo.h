#pragma once

#include "CddbDemoDatabase.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The answer MusicBrainz would give to the disc id lookup of a disc image, made from the image's table
// of contents and a demo entry's titles: one release, whose one medium is the disc. `path` is where
// the service answers it, without the query.
struct MusicBrainzDemoAnswer {
    QByteArray path; // "/ws/2/discid/<disc id>"
    QByteArray bytes;
    QByteArray coverPath; // where the Cover Art Archive keeps the release's front cover, a small PNG
    QByteArray cover;
};

std::optional<MusicBrainzDemoAnswer>
MakeMusicBrainzDemoAnswer(const QString &imagePath, const CddbDemoEntry &entry, QString *error = nullptr);
