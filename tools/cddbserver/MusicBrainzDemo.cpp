#include "MusicBrainzDemo.h"

#include "lookup/Cddb.h"
#include "lookup/MusicBrainz.h"
#include "platform/CdDevice.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <memory>

namespace
{

// Identifiers of the demo's own, in the form MusicBrainz gives its ids.
QString demoId(int kind, int number)
{
    return QString("00000000-0000-4000-8000-%1%2")
        .arg(kind, 4, 10, QChar('0'))
        .arg(number, 8, 10, QChar('0'));
}

// A 48 x 48 PNG: a teal disc on the window's grey.
const char CoverPng[] =
    "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x30\x00\x00\x00\x30"
    "\x08\x02\x00\x00\x00\xd8\x60\x6e\xd0\x00\x00\x00\x88\x49\x44\x41\x54\x78\xda\xed\xd8\x31\x0a\xc0"
    "\x30\x0c\x43\x51\x1d\x3d\x47\xc9\xd0\x83\x76\xed\xd0\xa4\x69\x88\x8d\x0c\x1f\xb4\x06\xde\x14\x2c"
    "\xa9\xf7\xcb\x2a\x02\x04\x08\xd0\xf3\x71\x6b\xaf\xc9\x06\x8d\x1c\x47\x64\x0a\xa2\x6c\xb3\x14\x4a"
    "\xd9\x60\x29\x47\xb3\x6e\x52\x9a\x66\xd1\xa4\x4c\xcd\x8a\x49\xc9\x9a\x4f\x53\x1d\x50\x9c\x66\x6e"
    "\x2a\x02\x8a\xd6\x4c\x4c\x80\x36\x40\x39\x9a\x91\x09\x10\x20\x40\x80\xf8\xa9\x6b\x82\xb8\x87\xb8"
    "\xa9\xcf\x80\xec\x6a\x90\x63\x51\x74\xac\xd2\x8e\x63\x83\xe3\x1c\x63\x3a\x58\x99\x4e\x7a\xac\xb0"
    "\x80\x00\xfd\xc9\x0d\x11\x26\x78\x54\x3d\xfd\xd4\x41\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60"
    "\x82";

QJsonArray credit(const QString &name)
{
    return QJsonArray{
        QJsonObject{{"name", name}, {"joinphrase", ""}, {"artist", QJsonObject{{"name", name}}}}};
}

} // namespace

std::optional<MusicBrainzDemoAnswer> MakeMusicBrainzDemoAnswer(const QString &imagePath,
                                                               const CddbDemoEntry &entry, QString *error)
{
    QString why;
    const std::unique_ptr<CdDevice> device = CdDevice::open(imagePath, &why);
    CdToc toc;
    if (!device || !device->readToc(toc)) {
        if (error)
            *error = why.isEmpty() ? QString("no table of contents") : why;
        return std::nullopt;
    }
    std::vector<MusicBrainzTocTrack> tracks;
    for (const CdTocTrack &track : toc.tracks)
        tracks.push_back({uint32_t(track.startLsn + 150), !track.audio});
    const QString discId = MusicBrainz::DiscId(tracks, uint32_t(toc.leadOutLsn + 150));

    QStringList document{"210"};
    document += entry.lines;
    const CddbEntry disc = Cddb::ReadEntry(document);
    QJsonArray mediumTracks;
    int position = 0;
    for (const CdTocTrack &track : toc.tracks) {
        if (!track.audio)
            continue;
        ++position;
        const auto title = disc.tracks.find(track.number - 1);
        const QString text =
            title == disc.tracks.end() ? QString("Track %1").arg(position) : title->second.text;
        mediumTracks.append(
            QJsonObject{{"id", demoId(2, position)},
                        {"position", position},
                        {"number", QString::number(position)},
                        {"title", text},
                        {"recording", QJsonObject{{"id", demoId(3, position)}, {"title", text}}}});
    }
    const QJsonObject medium{{"position", 1},
                             {"format", "CD"},
                             {"track-count", position},
                             {"discs", QJsonArray{QJsonObject{{"id", discId}}}},
                             {"tracks", mediumTracks}};
    const QJsonObject release{{"id", demoId(1, 1)},
                              {"title", disc.album},
                              {"date", disc.year},
                              {"country", "IT"},
                              {"artist-credit", credit(disc.artist)},
                              {"media", QJsonArray{medium}}};
    const QJsonObject answer{{"id", discId}, {"releases", QJsonArray{release}}};
    return MusicBrainzDemoAnswer{
        "/ws/2/discid/" + discId.toLatin1(), QJsonDocument(answer).toJson(QJsonDocument::Compact),
        "/release/" + demoId(1, 1).toLatin1() + "/front-500", QByteArray(CoverPng, sizeof CoverPng - 1)};
}
