#include "app/DiscLookup.h"

#include "lookup/Cddb.h"

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
};

// Reads the disc through the device, which is closed again before this returns.
Query queryFor(DiscLookupContext &context)
{
    std::unique_ptr<TCDInfo> info = context.makeCdInfo ? context.makeCdInfo() : std::make_unique<TCDInfo>();
    info->Open(context.driveLetter);
    const QString idText = info->GetDiscIdText();
    const uint32_t count = info->GetNumberOfTracks();
    std::vector<uint32_t> offsets;
    for (uint32_t track = 1; track <= count; ++track)
        offsets.push_back(TCDInfo::MsfToFrames(info->GetTrackPosition(track)));
    const uint32_t length = info->GetDiscLength();
    info->Close();
    return {idText, Cddb::QueryUrl(idText, offsets, length)};
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

} // namespace

bool DiscLookupRunning()
{
    return g_running;
}

void QueryDiscDatabase(DiscLookupContext &context)
{
    if (g_running || context.driveLetter == 0)
        return;
    RunningFlag running;

    const Query query = queryFor(context);
    const QDeadlineTimer deadline(kLookupTimeLimitMs);
    std::optional<QStringList> answer;
    try {
        answer = fetch(context, query.url, deadline);
    } catch (const std::exception &) {
        // The query's document could not be read back: as silent as any failed query.
        return;
    }
    if (!answer)
        return;

    const CddbMatch match = Cddb::QueryMatch(*answer);
    if (match.found && context.setDiscTitle)
        context.setDiscTitle(match.title);

    // The read goes out even when the query found nothing; the server then answers it with an error.
    // An exact match is read by the disc's own identifier; a listed one by its own, since under the
    // disc's identifier its category may hold another disc or nothing.
    const QString readId = match.discId.isEmpty() ? query.discIdText : match.discId;
    const std::optional<QStringList> entry = fetch(context, Cddb::ReadUrl(match.category, readId), deadline);
    if (!entry || !Cddb::IsSuccess(Cddb::StatusWord(*entry)) || !context.trackList)
        return;
    Cddb::ScanTitles(*entry, [&context](int index, const QString &title) {
        const qsizetype row = rowOfTitle(context, index);
        if (row >= 0)
            (*context.trackList)[row] = title;
    });
    if (context.setEntry)
        context.setEntry(Cddb::ReadEntry(*entry));
}
