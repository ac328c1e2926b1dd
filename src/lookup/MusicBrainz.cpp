#include "lookup/MusicBrainz.h"

#include "platform/FileNames.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <discid/discid.h>

#include <limits>
#include <memory>
#include <optional>

const QString MusicBrainz::DefaultServer = "https://musicbrainz.org";

namespace
{

// The program's page in its AppStream data, the contact the service asks for.
const QString ProjectPage = "https://github.com/quarle/quarle";

// Between the audio and an enhanced CD's data track lie the first session's lead-out and the second
// session's lead-in and pregap, which the disc id counts to no track.
constexpr uint32_t SessionGap = 11400;

struct DiscIdDeleter {
    void operator()(DiscId *disc) const { discid_free(disc); }
};

// A string of the answer; "\ud800" and kin, halves of a pair standing alone, become U+FFFD here, so
// that the rows, the tags, the file names and the log all show the same text.
QString textOf(const QJsonValue &value)
{
    return WellFormedText(value.toString());
}

// [{"name":"A","joinphrase":" feat. "},{"name":"B","joinphrase":""}] reads "A feat. B".
QString joinedCredit(const QJsonValue &credit)
{
    QString text;
    for (const QJsonValue &value : credit.toArray()) {
        const QJsonObject name = value.toObject();
        text += textOf(name.value("name")) + textOf(name.value("joinphrase"));
    }
    return text;
}

bool holdsDisc(const QJsonObject &medium, const QString &discId)
{
    for (const QJsonValue &disc : medium.value("discs").toArray()) {
        if (textOf(disc.toObject().value("id")) == discId)
            return true;
    }
    return false;
}

// The medium's tracks, or nothing when the list is not one the disc could have: not an array, more
// tracks than a disc holds, an entry that is not a track with a title. A list with a gap would put
// the titles on the wrong rows, so it is refused whole.
std::optional<std::vector<MusicBrainzTrack>> tracksOf(const QJsonObject &medium, const QString &releaseArtist)
{
    const QJsonValue list = medium.value("tracks");
    if (!list.isArray() || size_t(list.toArray().size()) > MusicBrainz::MaxTracks)
        return std::nullopt;
    std::vector<MusicBrainzTrack> tracks;
    for (const QJsonValue &entry : list.toArray()) {
        if (!entry.isObject() || !entry.toObject().value("title").isString())
            return std::nullopt;
        const QJsonObject track = entry.toObject();
        const QJsonObject recording = track.value("recording").toObject();
        MusicBrainzTrack &read = tracks.emplace_back();
        read.title = textOf(track.value("title"));
        read.artist = joinedCredit(track.value("artist-credit"));
        if (read.artist.isEmpty())
            read.artist = joinedCredit(recording.value("artist-credit"));
        if (read.artist.isEmpty())
            read.artist = releaseArtist;
        read.trackId = textOf(track.value("id"));
        read.recordingId = textOf(recording.value("id"));
        read.position = track.value("position").toInt();
        read.number = textOf(track.value("number"));
    }
    return tracks;
}

// "1999-05-03", "1999-05", "1999" give "1999"; anything else no year.
QString yearOf(const QString &date)
{
    const QString year = date.left(4);
    for (const QChar c : year) {
        if (c < '0' || c > '9')
            return {};
    }
    return year.size() == 4 ? year : QString();
}

} // namespace

QString MusicBrainz::DiscId(const std::vector<MusicBrainzTocTrack> &tracks, uint32_t leadOut)
{
    if (tracks.empty() || tracks.size() > MaxTracks)
        return {};
    size_t last = tracks.size();
    uint32_t audioEnd = leadOut;
    if (tracks.size() > 1 && tracks.back().data) {
        --last;
        audioEnd = tracks.back().start < SessionGap ? 0 : tracks.back().start - SessionGap;
    }
    // offsets[0] is the lead-out, offsets[n] the start of track n.
    int offsets[100] = {};
    uint32_t previous = 0;
    for (size_t i = 0; i < last; ++i) {
        if (tracks[i].start <= previous)
            return {};
        previous = tracks[i].start;
        offsets[i + 1] = int(previous);
    }
    if (audioEnd <= previous || audioEnd > uint32_t(std::numeric_limits<int>::max()))
        return {};
    offsets[0] = int(audioEnd);

    const std::unique_ptr<::DiscId, DiscIdDeleter> disc(discid_new());
    if (!disc || !discid_put(disc.get(), 1, int(last), offsets))
        return {};
    return QString::fromLatin1(discid_get_id(disc.get()));
}

QString MusicBrainz::LookupUrl(const QString &discId, const QString &server)
{
    QString base = server;
    while (base.endsWith('/'))
        base.chop(1);
    // A disc id is letters, digits and "._-"; anything else must not reach the path or the query.
    return base + "/ws/2/discid/" + QString::fromLatin1(QUrl::toPercentEncoding(discId)) +
           "?inc=artist-credits+recordings&fmt=json";
}

QString MusicBrainz::UserAgent()
{
    return QString("QUARLE/%1 ( %2 )").arg(QUARLE_VERSION, ProjectPage);
}

std::vector<MusicBrainzRelease> MusicBrainz::ReadReleases(const QByteArray &answer, const QString &discId)
{
    // {"releases":[{"id":"...","title":"...","date":"1999-05-03","country":"IT",
    //   "artist-credit":[{"name":"...","joinphrase":""}],
    //   "media":[{"position":1,"format":"CD","discs":[{"id":"<disc id>",...}],
    //     "tracks":[{"id":"...","number":"1","position":1,"title":"...","artist-credit":[...],
    //       "recording":{"id":"...","artist-credit":[...]}}]}]}]}
    std::vector<MusicBrainzRelease> releases;
    if (answer.size() > MaxAnswerBytes)
        return releases;
    // Malformed text, or a document that is not an object, reads as an empty object.
    const QJsonObject document = QJsonDocument::fromJson(answer).object();
    for (const QJsonValue &entry : document.value("releases").toArray()) {
        if (releases.size() == MaxReleases)
            break;
        const QJsonObject release = entry.toObject();
        if (!release.value("id").isString() || !release.value("title").isString())
            continue;
        const QJsonArray media = release.value("media").toArray();
        MusicBrainzRelease read;
        read.artist = joinedCredit(release.value("artist-credit"));
        for (const QJsonValue &value : media) {
            const QJsonObject medium = value.toObject();
            auto tracks = holdsDisc(medium, discId) ? tracksOf(medium, read.artist) : std::nullopt;
            if (!tracks)
                continue;
            read.tracks = std::move(*tracks);
            read.releaseId = textOf(release.value("id"));
            read.title = textOf(release.value("title"));
            read.year = yearOf(textOf(release.value("date")));
            read.country = textOf(release.value("country"));
            const QJsonValue firstLabel = release.value("label-info").toArray().at(0);
            read.label = textOf(firstLabel.toObject().value("label").toObject().value("name"));
            read.format = textOf(medium.value("format"));
            read.mediumPosition = medium.value("position").toInt();
            read.mediumCount = int(media.size());
            releases.push_back(std::move(read));
            break;
        }
    }
    return releases;
}
