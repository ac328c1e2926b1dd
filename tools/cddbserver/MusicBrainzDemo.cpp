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
    return MusicBrainzDemoAnswer{"/ws/2/discid/" + discId.toLatin1(),
                                 QJsonDocument(answer).toJson(QJsonDocument::Compact)};
}
