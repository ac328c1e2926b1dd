#include "session/DiscLookup.h"

#include "lookup/Cddb.h"

#include <algorithm>

namespace
{

bool g_running = false;

class RunningFlag
{
public:
    RunningFlag() { g_running = true; }
    ~RunningFlag() { g_running = false; }
    RunningFlag(const RunningFlag &) = delete;
    RunningFlag &operator=(const RunningFlag &) = delete;
};

struct Query {
    QString discIdText;
    QString url;
    QString musicBrainzId;
};

// Reads the disc through the device, which is closed again before this returns. The tracks without a
// row are the data tracks.
Query queryFor(DiscLookupContext &context)
{
    std::unique_ptr<TCDInfo> info = context.makeCdInfo ? context.makeCdInfo() : std::make_unique<TCDInfo>();
    info->Open(context.driveLetter);
    const QString idText = info->GetDiscIdText();
    const uint32_t count = info->GetNumberOfTracks();
    std::vector<uint32_t> offsets;
    std::vector<MusicBrainzTocTrack> toc;
    for (uint32_t track = 1; track <= count; ++track) {
        offsets.push_back(TCDInfo::MsfToFrames(info->GetTrackPosition(track)));
        const bool data = !context.rowTracks.empty() &&
                          std::find(context.rowTracks.begin(), context.rowTracks.end(), int(track)) ==
                              context.rowTracks.end();
        toc.push_back({offsets.back(), data});
    }
    uint32_t leadOut = 0;
    if (count > 0) {
        // The device measures the last track one frame short of the lead-out.
        leadOut = offsets.back() + TCDInfo::MsfToFrames(info->GetTrackLength(count)) + 1;
    }
    const uint32_t length = info->GetDiscLength();
    info->Close();
    return {idText, Cddb::QueryUrl(idText, offsets, length), MusicBrainz::DiscId(toc, leadOut)};
}

std::optional<QStringList> fetch(DiscLookupContext &context, const QString &url, QDeadlineTimer deadline)
{
    if (context.setRequestUrl)
        context.setRequestUrl(url);
    if (!context.fetch)
        return std::nullopt;
    return context.fetch(url, deadline);
}

// Title n belongs to disc track n + 1; its row is the line that stands for that track, if any.
qsizetype rowOfTitle(const DiscLookupContext &context, int titleIndex)
{
    const int64_t discTrack = int64_t(titleIndex) + 1;
    const qsizetype lines = context.trackList->size();
    if (context.rowTracks.empty())
        return discTrack >= 1 && discTrack <= lines ? qsizetype(discTrack - 1) : -1;
    for (qsizetype row = 0; row < lines && size_t(row) < context.rowTracks.size(); ++row) {
        if (context.rowTracks[size_t(row)] == discTrack)
            return row;
    }
    return -1;
}

// Row `row`'s disc track number (from 1).
int discTrackOfRow(const DiscLookupContext &context, qsizetype row)
{
    if (context.rowTracks.empty())
        return int(row) + 1;
    return size_t(row) < context.rowTracks.size() ? context.rowTracks[size_t(row)] : 0;
}

// Stores an entry keyed by disc track (index n for track n + 1) as a CDDB read would: the titles on
// their rows, the disc title ("Artist / Album") on the label. False when it holds no track title.
bool storeEntry(DiscLookupContext &context, const CddbEntry &entry)
{
    bool any = false;
    for (qsizetype row = 0; context.trackList && row < context.trackList->size(); ++row) {
        const auto found = entry.tracks.find(discTrackOfRow(context, row) - 1);
        if (found != entry.tracks.end() && !found->second.text.isEmpty()) {
            (*context.trackList)[row] = found->second.text;
            any = true;
        }
    }
    if (!any)
        return false;
    const QString label = DiscLabel(entry.artist, entry.album);
    if (context.setDiscTitle && !label.isEmpty())
        context.setDiscTitle(label);
    if (context.setEntry)
        context.setEntry(entry);
    return true;
}

// The medium's tracks in order stand for the rows in order: a medium lists the audio tracks, and an
// enhanced CD's data track at the end is left out of the disc id and the medium alike. A data track
// before the audio (an old game's CD) is in the disc id, so the medium lists it as a track of its own:
// when the medium has a track for every disc track up to the last row's, the disc's track numbers place
// them.
CddbEntry entryOf(const DiscLookupContext &context, const MusicBrainzRelease &release)
{
    CddbEntry entry{release.artist,    release.title,          release.year,       {}, false, {},
                    release.releaseId, release.mediumPosition, release.mediumCount};
    const qsizetype rows = context.trackList ? context.trackList->size() : 0;
    const bool byNumber = rows > 0 && release.tracks.size() == size_t(discTrackOfRow(context, rows - 1));
    for (qsizetype row = 0; row < rows; ++row) {
        const int number = discTrackOfRow(context, row);
        const size_t index = byNumber ? size_t(number - 1) : size_t(row);
        if (number < 1 || index >= release.tracks.size())
            continue;
        const MusicBrainzTrack &track = release.tracks[index];
        const QString own = track.artist == release.artist ? QString() : track.artist;
        entry.tracks[number - 1] = {track.title, own, track.title, track.trackId, track.recordingId};
    }
    return entry;
}

CddbEntry entryOf(const DiscLookupContext &context, const CdText &text)
{
    CddbEntry entry{text.performer, text.title, {}, {}, false, {}, {}, 0, 0};
    if (entry.album.isEmpty())
        entry.album = entry.artist;
    for (qsizetype row = 0; context.trackList && row < context.trackList->size(); ++row) {
        const int number = discTrackOfRow(context, row);
        const auto found = text.tracks.find(number);
        if (found == text.tracks.end())
            continue;
        const QString own = found->second.performer == text.performer ? QString() : found->second.performer;
        entry.tracks[number - 1] = {found->second.title, own, found->second.title, {}, {}};
    }
    return entry;
}

// Several editions go to the user; one is taken as it is. -1 when the user takes none.
template <typename T, typename Describe>
int chooseAmong(DiscLookupContext &context, const std::vector<T> &offers, Describe describe)
{
    if (offers.size() < 2 || !context.chooseEdition)
        return 0;
    std::vector<DiscEdition> editions;
    for (const T &offer : offers)
        editions.push_back(describe(offer));
    const int chosen = context.chooseEdition(editions);
    return chosen >= 0 && size_t(chosen) < offers.size() ? chosen : -1;
}

// The MusicBrainz step: nothing when the server has nothing for the disc or is not reached.
std::optional<TitleSource> askMusicBrainz(DiscLookupContext &context, const QString &discId)
{
    if (discId.isEmpty() || !context.fetchMusicBrainz)
        return std::nullopt;
    const QString url = MusicBrainz::LookupUrl(discId, context.musicBrainzServer);
    if (context.setRequestUrl)
        context.setRequestUrl(url);
    const std::optional<QByteArray> answer = context.fetchMusicBrainz(url);
    if (!answer)
        return std::nullopt;
    const std::vector<MusicBrainzRelease> releases = MusicBrainz::ReadReleases(*answer, discId);
    if (releases.empty())
        return std::nullopt;
    const int chosen = chooseAmong(context, releases, [](const MusicBrainzRelease &r) {
        return DiscEdition{r.artist,
                           r.title,
                           r.year,
                           r.country,
                           r.label.isEmpty() ? r.format : r.label,
                           int(r.tracks.size())};
    });
    if (chosen < 0)
        return TitleSource::Declined;
    if (!storeEntry(context, entryOf(context, releases[size_t(chosen)])))
        return std::nullopt;
    return TitleSource::MusicBrainz;
}

// The CDDB step: the query, then the read of the match, which gives the titles. Nothing when it gives
// no title; a failed fetch of the query's document is as silent as any failed query.
std::optional<TitleSource> askCddb(DiscLookupContext &context, const Query &query)
{
    const QDeadlineTimer deadline(kLookupTimeLimitMs);
    std::optional<QStringList> answer;
    try {
        answer = fetch(context, query.url, deadline);
    } catch (const std::exception &) {
        return std::nullopt;
    }
    if (!answer)
        return std::nullopt;

    const std::vector<CddbMatch> matches = Cddb::QueryMatches(*answer);
    const int chosen = chooseAmong(context, matches, [](const CddbMatch &m) {
        const qsizetype slash = m.title.indexOf(" / ");
        return slash < 0 ? DiscEdition{m.title, m.title, {}, {}, m.category, 0}
                         : DiscEdition{m.title.left(slash), m.title.mid(slash + 3), {}, {}, m.category, 0};
    });
    if (chosen < 0)
        return TitleSource::Declined;
    const CddbMatch match = matches.empty() ? CddbMatch() : matches[size_t(chosen)];
    if (match.found && context.setDiscTitle)
        context.setDiscTitle(match.title);

    // The read goes out even when the query found nothing; the server then answers it with an error.
    // An exact match is read by the disc's own identifier; a listed one by its own, since under the
    // disc's identifier its category may hold another disc or nothing.
    const QString readId = match.discId.isEmpty() ? query.discIdText : match.discId;
    const std::optional<QStringList> entry = fetch(context, Cddb::ReadUrl(match.category, readId), deadline);
    if (!entry || !Cddb::IsSuccess(Cddb::StatusWord(*entry)) || !context.trackList)
        return std::nullopt;
    bool any = false;
    Cddb::ScanTitles(*entry, [&context, &any](int index, const QString &title) {
        const qsizetype row = rowOfTitle(context, index);
        if (row >= 0) {
            (*context.trackList)[row] = title;
            any = true;
        }
    });
    if (context.setEntry)
        context.setEntry(Cddb::ReadEntry(*entry));
    return any ? std::optional(TitleSource::Cddb) : std::nullopt;
}

} // namespace

QString DiscLabel(const QString &artist, const QString &album)
{
    if (artist.isEmpty() || artist == album)
        return album;
    return album.isEmpty() ? artist : artist + " / " + album;
}

bool DiscLookupRunning()
{
    return g_running;
}

TitleSource QueryDiscDatabase(DiscLookupContext &context)
{
    if (g_running || context.driveLetter == 0)
        return TitleSource::None;
    RunningFlag running;

    const Query query = queryFor(context);
    if (const std::optional<TitleSource> source = askMusicBrainz(context, query.musicBrainzId))
        return *source;
    const std::optional<TitleSource> source = askCddb(context, query);
    if (source)
        return *source;
    if (context.readCdText && storeEntry(context, entryOf(context, context.readCdText())))
        return TitleSource::CdText;
    return TitleSource::None;
}
