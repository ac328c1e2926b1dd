#include "rip/ExtractionRun.h"

#include "disc/Quarle.h"
#include "disc/WavHeader.h"
#include "encoder/FlacTag.h"
#include "encoder/MP3Coder.h"
#include "encoder/ReplayGain.h"
#include "lookup/DriveOffsets.h"
#include "lookup/HttpCli.h"
#include "lookup/MusicBrainz.h"
#include "platform/CdDevice.h"
#include "platform/CdRipLibrary.h"
#include "platform/Exception.h"
#include "platform/FileNames.h"
#include "platform/NewFile.h"
#include "rip/CueSheet.h"
#include "rip/TrackTags.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <utility>

namespace
{

// The reads of one track with "Prova e copia": the test read, the copy read and three more at most.
constexpr int MaxReads = 5;

// The run's settings as its log gives them.
QStringList SettingsLines(const TExtractionPlan &plan, bool jitterCorrection)
{
    const auto yesNo = [](bool v) { return v ? QStringLiteral("sì") : QStringLiteral("no"); };
    QString format;
    switch (plan.format) {
    case AudioFormat::Mp3: {
        static const char *const modes[] = {"Stereo", "Joint stereo", "Dual channel", "Mono"};
        static const char *const qualities[] = {"Normal", "Low", "High", "Voice"};
        const TCoderPage &c = plan.coder;
        format = QString("MP3, %1 kbps, %2 Hz").arg(c.bitRate, c.sampleRate);
        if (c.vbr)
            format += QString(", VBR qualità %1 fino a %2 kbps").arg(c.vbrQuality).arg(c.maxBitRate);
        if (c.mode >= 0 && c.mode < 4)
            format += QString(", ") + modes[c.mode];
        if (c.quality >= 0 && c.quality < 4)
            format += QString(", qualità ") + qualities[c.quality];
        break;
    }
    case AudioFormat::Wav:
        format = QStringLiteral("WAV");
        break;
    case AudioFormat::Flac:
        format = QStringLiteral("FLAC, compressione 8");
        break;
    case AudioFormat::Pcm:
        format = QStringLiteral("PCM");
        break;
    }
    return {"Correzione del jitter: " + yesNo(jitterCorrection), "Prova e copia: " + yesNo(plan.testAndCopy),
            "Formato: " + format, QStringLiteral("Intervalli: aggiunti alla traccia precedente")};
}

} // namespace

TExtractionRun::TExtractionRun(TQuarle &quarle, TMP3Coder &coder, TExtractionPlan plan, Fetch fetch,
                               QObject *parent)
    : QObject(parent), m_quarle(quarle), m_coder(coder), m_plan(std::move(plan)), m_fetch(std::move(fetch))
{
    qRegisterMetaType<TTrackReport>();
    qRegisterMetaType<TRunReport>();
}

TExtractionRun::~TExtractionRun()
{
    Stop();
    Wait();
}

void TExtractionRun::Start()
{
    if (m_worker)
        return;
    // The disc and the drive as the ripper has them now, on the caller's thread; the device itself is
    // asked (for its model) on the worker.
    TRipVerification::Setup setup;
    const std::vector<TDiscEntry> &entries = m_quarle.DiscEntries();
    for (size_t i = 0; i + 1 < entries.size(); ++i) {
        setup.toc.push_back({entries[i].StartSector, entries[i].Audio});
        setup.layout.push_back({entries[i].StartSector - entries[i].PregapSector, entries[i].Isrc,
                                entries[i].Preemphasis});
    }
    setup.mcn = m_quarle.Mcn();
    switch (m_quarle.HiddenAudio()) {
    case THiddenAudio::None:
        setup.hiddenAudio = QStringLiteral("assente");
        break;
    case THiddenAudio::Silent:
        setup.hiddenAudio = QStringLiteral("silenzio digitale, non estratto");
        break;
    case THiddenAudio::Present: {
        const int32_t sectors = m_quarle.HiddenTrack() ? m_quarle.HiddenTrack()->EndSector + 1 : 0;
        const bool extracted = std::any_of(m_plan.rows.begin(), m_plan.rows.end(),
                                           [](const TExtractionRow &row) { return row.trackNum == 0; });
        setup.hiddenAudio = QString("presente, %1 settori (traccia 0)%2")
                                .arg(sectors)
                                .arg(extracted ? QString() : QStringLiteral(", non estratto"));
        break;
    }
    case THiddenAudio::Unreadable:
        setup.hiddenAudio = QStringLiteral("illeggibile");
        break;
    }
    setup.leadOutSector = entries.empty() ? 0 : entries.back().StartSector;
    setup.offsetFrom = QStringLiteral("nessun offset noto");
    setup.program = "QUARLE " QUARLE_VERSION;
    setup.settings = SettingsLines(m_plan, m_quarle.JitterCorrect());
    {
        std::vector<MusicBrainzTocTrack> tracks;
        for (const TDiscTocEntry &entry : setup.toc)
            tracks.push_back({uint32_t(entry.startSector + 150), !entry.audio});
        setup.musicBrainzId = MusicBrainz::DiscId(tracks, uint32_t(setup.leadOutSector + 150));
    }
    const int active = m_quarle.ActiveCdRomNum();
    if (active >= 0 && active < m_quarle.Drives().Count()) {
        const TDriveInfo *drive = m_quarle.Drives().object(active);
        setup.drive = QString(QChar(drive->Letter)) + ": " + drive->Name;
        for (const DriveLetterEntry &entry : DriveLetters::current()) {
            if (entry.letter == drive->Letter) {
                setup.drive += " (" + entry.path + ")";
                m_driveEntry = entry;
            }
        }
    }
    m_verification = TRipVerification(std::move(setup));
    if (m_verification.Disc().audioTracks > 0)
        m_url = m_verification.Disc().Url();
    if (!m_verification.Ctdb().tocId.isEmpty())
        m_ctdbUrl = m_verification.Ctdb().Url();
    // The reads give the CRC the CTDB keeps of each track beside their own.
    std::vector<TReadCrc::Window> windows;
    for (const TCtdbTrackSpan &span : m_verification.Ctdb().tracks)
        windows.push_back({span.FirstFrame(), span.EndFrame()});
    m_quarle.setCrcWindows(std::move(windows));

    m_ripping = true;
    m_quarle.OnBeginTrack = [this](QObject *, uint16_t trackNum) {
        // The rip has just cleared its cancel request: a stop that came after this track was chosen,
        // or a cancel between two reads of it, must still end it.
        if (m_stop || m_cancelTrack)
            m_quarle.CancelRip();
        emit TrackStarted(m_row, trackNum);
    };
    m_quarle.OnProgress = [this](QObject *, uint16_t percent, uint16_t trackNum) {
        emit Progress(m_row, trackNum, percent);
    };
    m_quarle.OnEndTrack = nullptr;
    m_quarle.OnSamples = [this](QObject *, const int16_t *samples, size_t count) {
        if (m_gain)
            m_gain->Add(samples, count);
        int peak = m_peak;
        for (size_t i = 0; i < count; ++i)
            peak = std::max(peak, std::abs(int(samples[i])));
        m_peak = peak;
    };
    m_network.reset(QThread::create([this] { FetchAnswers(); }));
    m_worker.reset(QThread::create([this] { Rip(); }));
    m_network->start();
    m_worker->start();
}

void TExtractionRun::CancelTrack()
{
    if (m_ripping) {
        m_cancelTrack = true;
        m_quarle.CancelRip();
    }
}

void TExtractionRun::Stop()
{
    m_stop = true;
    if (m_ripping)
        m_quarle.CancelRip();
    std::lock_guard lock(m_mutex);
    m_offsetChosen.notify_all();
    // The client lives on the network thread: the abort is handed to it, and ends its wait at once.
    if (m_http)
        QMetaObject::invokeMethod(
            m_http, [http = m_http] { http->Abort(); }, Qt::QueuedConnection);
}

void TExtractionRun::Wait()
{
    for (QThread *thread : {m_worker.get(), m_network.get()}) {
        if (thread)
            thread->wait();
    }
}

void TExtractionRun::ChooseReadOffset()
{
    TReadOffset offset{0, QStringLiteral("nessun offset noto")};
    bool refresh = false;
    struct Chosen {
        TExtractionRun *run;
        TReadOffset &offset;
        bool &refresh;
        // However the choice ends, the network thread learns of it.
        ~Chosen()
        {
            std::lock_guard lock(run->m_mutex);
            run->m_verification.setReadOffset(offset.samples, offset.from);
            run->m_refreshDriveList = refresh;
            run->m_offsetKnown = true;
            run->m_offsetChosen.notify_all();
        }
    } chosen{this, offset, refresh};
    if (m_driveEntry) {
        const DriveLetterEntry &entry = *m_driveEntry;
        // The list as cached, however old: an extraction never waits for the network. A list that is
        // stale or missing is fetched beside the rip, for the extractions after this one.
        offset = ::ChooseReadOffset(entry.offsetGiven ? std::optional<int>(entry.sampleOffset) : std::nullopt,
                                    entry.offsetGiven ? std::nullopt : CdDevice::driveModel(entry.path),
                                    [&]() -> std::optional<QByteArray> {
                                        if (m_plan.driveOffsetsFile.isEmpty())
                                            return std::nullopt;
                                        return CachedDriveOffsets(
                                            m_plan.driveOffsetsFile, QDateTime::currentDateTime(),
                                            [&] { return refresh = true, std::nullopt; });
                                    });
        // The library reads with the offset the log names.
        CdRipSetReadOffset(entry.letter, offset.samples);
    }
}

TTrackOutcome TExtractionRun::RipOne(const TExtractionRow &row, TRipVerification::Track &track)
{
    std::vector<uint32_t> crcs;
    if (m_plan.testAndCopy) {
        m_quarle.TestTrack(row.trackNum);
        ++track.reads;
        if (!m_quarle.RipOpened())
            return {TTrackOutcome::Failed, 0, QStringLiteral("The CD-reading library could not open the track")};
        // A cancelled test read leaves no file: the one at the track's name stays as it was.
        if (m_quarle.RipCancelled())
            return {m_stop ? TTrackOutcome::Interrupted : TTrackOutcome::Cancelled, 0, {}};
        track.testCrc = m_quarle.ReadCrc();
        crcs.push_back(*track.testCrc);
    }
    for (;;) {
        m_peak = 0;
        const TTrackOutcome outcome = CopyOne(row);
        ++track.reads;
        if (outcome.kind == TTrackOutcome::Failed)
            return outcome;
        track.copyCrc = m_quarle.ReadCrc();
        track.peak = m_peak / 32768.0;
        if (!m_plan.testAndCopy || !outcome.WholeLength())
            return outcome;
        // The file holds the latest read: it is confirmed once an earlier read gave the same samples.
        track.confirmed = std::find(crcs.begin(), crcs.end(), *track.copyCrc) != crcs.end();
        if (track.confirmed || track.reads >= MaxReads || m_stop || m_cancelTrack)
            return outcome;
        crcs.push_back(*track.copyCrc);
    }
}

TTrackOutcome TExtractionRun::CopyOne(const TExtractionRow &row)
{
    // The pattern's folders are made as the first file goes into them, not when the plan is made.
    QString why;
    if (const QString failed = MakeFolders(m_plan.folder, row.path.left(row.path.lastIndexOf('/') + 1), why);
        !failed.isEmpty())
        return {TTrackOutcome::Failed, 0,
                QString("Impossibile creare la cartella \"%1\" (%2)").arg(failed, why)};
    const bool tagged = IsTagged(m_plan.format);
    const SampleFormat format = sampleFormatOf(m_quarle.OutputFormat());
    m_gain = tagged ? std::make_unique<TReplayGainTrack>(int(format.rate), format.channels) : nullptr;
    const auto outcomeSoFar = [this] {
        TTrackOutcome outcome{TTrackOutcome::Complete, m_quarle.UnreadableSectors(), {}};
        if (m_quarle.RipCancelled())
            outcome.kind = m_stop ? TTrackOutcome::Interrupted : TTrackOutcome::Cancelled;
        else if (outcome.unreadableSectors > 0)
            outcome.kind = TTrackOutcome::ReadErrors;
        return outcome;
    };
    // Only a file of the whole track is tagged: a cancelled one must not pass for complete. The tags go
    // into the new file before it takes its name, so that a failure leaves the file there as it was.
    std::optional<Mp3TagFields> tags;
    m_quarle.OnFileWritten = [&](QObject *, const QString &newFile) {
        if (!tagged || !outcomeSoFar().WholeLength())
            return;
        tags = row.tags;
        const TReplayGain gain = m_gain->Finish();
        tags->trackGain = gain.GainText();
        tags->trackPeak = gain.PeakText();
        {
            std::lock_guard lock(m_mutex);
            tags->cover = m_cover;
            tags->coverMimeType = m_coverType;
        }
        try {
            WriteTrackTags(newFile, m_plan.format, *tags);
        } catch (const std::exception &e) {
            // Told by the name the user knows, not the new file's own.
            throw Exception(
                QString::fromUtf8(e.what()).replace(newFile, AudioFile(m_plan, row)).toStdString());
        }
    };
    struct Unhook {
        TQuarle &quarle;
        ~Unhook() { quarle.OnFileWritten = nullptr; }
    } unhook{m_quarle};
    m_quarle.RipTrack(row.trackNum, row.path);
    if (!m_quarle.RipOpened())
        return {TTrackOutcome::Failed, 0, QStringLiteral("The CD-reading library could not open the track")};
    const TTrackOutcome outcome = outcomeSoFar();
    if (tags) {
        std::lock_guard lock(m_mutex);
        m_tagged.emplace_back(AudioFile(m_plan, row), *tags);
        if (outcome.kind == TTrackOutcome::Complete)
            m_completeGains.push_back(std::move(*m_gain));
    }
    m_gain.reset();
    return outcome;
}

// Outside the run's lock, so that a stop is not held up by the files; a stop ends the pass. One pass at a
// time, each with all that is known when it starts: a later one never leaves out what an earlier wrote.
QString TExtractionRun::RetagFiles()
{
    std::lock_guard writing(m_retagging);
    std::vector<std::pair<QString, Mp3TagFields>> tagged;
    {
        std::lock_guard lock(m_mutex);
        if (!m_tracksDone || (!m_album && m_cover.isEmpty()))
            return {};
        tagged = m_tagged;
        for (auto &[file, tags] : tagged) {
            if (m_album) {
                tags.albumGain = m_album->GainText();
                tags.albumPeak = m_album->PeakText();
            }
            tags.cover = m_cover;
            tags.coverMimeType = m_coverType;
        }
    }
    QString error;
    for (const auto &[file, tags] : tagged) {
        if (m_stop)
            break;
        try {
            WriteTrackTags(file, m_plan.format, tags);
        } catch (const std::exception &e) {
            error = QString::fromUtf8(e.what());
        }
    }
    return error;
}

QString TExtractionRun::WriteLogLocked()
{
    if (m_verification.TrackCount() == 0)
        return {};
    // The log's folder is the first track's, which a test read that was cancelled leaves unmade; a
    // folder that cannot be made fails the write, which says why.
    QString why;
    MakeFolders(m_plan.folder, m_plan.logFile.left(m_plan.logFile.lastIndexOf('/') + 1), why);
    const QString error = m_verification.WriteLog(m_plan.logFile, QDateTime::currentDateTime());
    // A failure is told once: the same one again, when the log is written anew, is no news.
    if (error.isEmpty() || error == std::exchange(m_logError, error))
        return {};
    std::fprintf(stderr, "quarle: %s\n", error.toLocal8Bit().constData());
    return error;
}

int TExtractionRun::TrackNumber(const TExtractionRow &row) const
{
    return row.trackNum >= 1 && row.trackNum <= m_quarle.Tracks().Count()
               ? m_quarle.Tracks().object(row.trackNum - 1)->Number
               : int(row.trackNum);
}

QString TExtractionRun::WriteCueSheet(const std::map<int, const TExtractionRow *> &complete)
{
    const TOwnedStringList<TTrack> &tracks = m_quarle.Tracks();
    const std::vector<TDiscEntry> &entries = m_quarle.DiscEntries();
    if (tracks.Count() == 0)
        return {};
    for (int i = 1; i <= tracks.Count(); ++i) {
        if (!complete.count(i))
            return QString("Foglio CUE non scritto: la traccia %1 non è stata estratta completa")
                .arg(tracks.object(i - 1)->Number, 2, 10, QChar('0'));
    }
    // Beside the sheet a file is named alone; a pattern may put tracks into folders of their own.
    const QDir sheetFolder = QFileInfo(CueSheetFile(m_plan)).dir();
    const auto fileOf = [&](const TExtractionRow &row) {
        return sheetFolder.relativeFilePath(AudioFile(m_plan, row));
    };
    const Mp3TagFields &album = complete.begin()->second->tags;
    TCueDisc disc;
    disc.catalog = m_quarle.Mcn();
    disc.performer = album.albumArtist.isEmpty() ? album.artist : album.albumArtist;
    disc.title = album.album;
    disc.date = album.year;
    disc.genre = album.genre;
    disc.discId = m_verification.Disc().Text().right(8);
    disc.fileType = m_plan.format == AudioFormat::Mp3 ? "MP3" : m_plan.format == AudioFormat::Pcm ? "BINARY" : "WAVE";
    disc.hiddenSectors = tracks.object(0)->StartSector;
    if (const auto hidden = complete.find(0); hidden != complete.end())
        disc.hiddenFile = fileOf(*hidden->second);
    for (int i = 1; i <= tracks.Count(); ++i) {
        const TTrack &track = *tracks.object(i - 1);
        const TExtractionRow &row = *complete.at(i);
        TCueTrack cue;
        cue.number = track.Number;
        cue.file = fileOf(row);
        cue.title = row.tags.title;
        cue.performer = row.tags.artist;
        if (track.Number >= 1 && size_t(track.Number) <= entries.size()) {
            const TDiscEntry &entry = entries[size_t(track.Number - 1)];
            cue.isrc = entry.Isrc;
            cue.preemphasis = entry.Preemphasis;
            cue.pregapSectors = entry.StartSector - entry.PregapSector;
            for (const int32_t index : entry.IndexSectors)
                cue.indexOffsets.push_back(index - entry.StartSector);
        }
        if (i > 1)
            cue.previousFileSectors = tracks.object(i - 2)->EndSector - tracks.object(i - 2)->StartSector + 1;
        disc.tracks.push_back(std::move(cue));
    }
    const QByteArray text = CueSheetText(disc);
    const QString path = CueSheetFile(m_plan);
    const QString error = ReplaceFile(path, [&](TNewFile &file) { return file.write(text) == text.size(); });
    return error.isEmpty() ? "Foglio CUE: " + QFileInfo(path).fileName()
                           : QString("Foglio CUE non scritto: \"%1\" (%2)").arg(path, error);
}

void TExtractionRun::Rip()
{
    TRunReport report;
    bool allComplete = true;
    std::map<int, const TExtractionRow *> complete;
    size_t started = 0; // rows whose tracks had their turn
    try {
        ChooseReadOffset();
        m_quarle.setFormat(m_plan.format);
        if (m_plan.format == AudioFormat::Mp3)
            ApplyCoderPage(m_coder, m_plan.coder);
        for (const TExtractionRow &row : m_plan.rows) {
            if (m_stop)
                break;
            m_row = row.row;
            ++started;
            m_cancelTrack = false;
            TRipVerification::Track track;
            TTrackOutcome outcome;
            try {
                outcome = RipOne(row, track);
            } catch (const std::exception &e) {
                outcome = {TTrackOutcome::Failed, 0, QString::fromUtf8(e.what())};
            }
            const TAccurateRipChecksum *sum = m_quarle.TrackChecksum();
            track.trackNumber = TrackNumber(row);
            track.fileName = QFileInfo(AudioFile(m_plan, row)).fileName();
            track.checksums = sum ? std::optional(std::pair(sum->V1(), sum->V2())) : std::nullopt;
            track.jitterErrors = m_quarle.JitterErrors();
            track.outcome = outcome;
            track.ctdbCrc = m_quarle.WindowCrc();
            if (!outcome.WholeLength())
                track.copyCrc.reset();
            {
                std::lock_guard lock(m_mutex);
                const size_t i = m_verification.AddTrack(std::move(track));
                m_trackRows.push_back({row.row, row.trackNum});
                emit TrackFinished(
                    {row.row, row.trackNum, outcome, m_verification.StatusText(i), m_verification.ResultText(i), {}});
            }
            if (outcome.kind == TTrackOutcome::Complete)
                complete[row.trackNum] = &row;
            if (outcome.kind == TTrackOutcome::Failed) {
                report.failure = outcome.message;
                break;
            }
            allComplete = allComplete && outcome.WholeLength();
        }
        // A run that lost a track gives no album: its files keep their tracks' own values.
        if (allComplete && !m_stop && report.failure.isEmpty() && !m_completeGains.empty()) {
            const TReplayGain album = TReplayGainTrack::Album(m_completeGains);
            std::lock_guard lock(m_mutex);
            m_album = album;
        }
    } catch (const std::exception &e) {
        report.failure = QString::fromUtf8(e.what());
    }
    m_quarle.OnBeginTrack = nullptr;
    m_quarle.OnProgress = nullptr;
    m_quarle.OnSamples = nullptr;
    m_quarle.setCrcWindows({});
    {
        std::lock_guard lock(m_mutex);
        for (size_t i = started; i < m_plan.rows.size(); ++i) {
            const TExtractionRow &row = m_plan.rows[i];
            m_verification.AddNotStarted(TrackNumber(row), QFileInfo(AudioFile(m_plan, row)).fileName());
        }
        m_tracksDone = true;
    }
    const QString tagError = RetagFiles();
    if (report.failure.isEmpty())
        report.failure = tagError;
    const QString cueNote = WriteCueSheet(complete);
    {
        std::lock_guard lock(m_mutex);
        m_verification.setCueSheetNote(cueNote);
    }
    {
        std::lock_guard lock(m_mutex);
        report.logError = WriteLogLocked();
        report.summary = m_verification.SummaryText(m_stop);
    }
    m_ripping = false;
    emit Finished(report);
    ThreadEnded();
}

void TExtractionRun::ThreadEnded()
{
    if (m_threadsRunning.fetch_sub(1) == 1)
        emit Settled();
}

void TExtractionRun::FetchAnswers()
{
    THttpCli http;
    {
        std::lock_guard lock(m_mutex);
        m_http = m_stop ? nullptr : &http;
    }
    // Each database's answer, as it comes, to the tracks already done (the later ones take it as they end).
    const auto answer = [&](const QString &url, void (TRipVerification::*set)(const TFetchedFile &)) {
        TFetchedFile file;
        if (!m_stop && !url.isEmpty())
            file = m_fetch(http, m_plan.proxy, url, kSmallFileBytes);
        std::lock_guard lock(m_mutex);
        (m_verification.*set)(file);
        for (size_t i = 0; i < m_verification.TrackCount(); ++i) {
            const TRipVerification::Track &track = m_verification.TrackAt(i);
            if (track.outcome.WholeLength())
                emit TrackVerified({m_trackRows[i].first, m_trackRows[i].second, track.outcome,
                                    m_verification.StatusText(i), m_verification.ResultText(i),
                                    m_tracksDone ? m_verification.SummaryText(m_stop) : QString()});
        }
        if (m_tracksDone) {
            const QString error = WriteLogLocked();
            if (!error.isEmpty())
                emit LogFailed(error);
        }
    };
    answer(m_url, &TRipVerification::SetAnswer);
    answer(m_ctdbUrl, &TRipVerification::SetCtdbAnswer);

    // The release's cover (the Cover Art Archive relocates to the image's host), for the files tagged
    // from now on and, once the tracks are done, for every file of the run.
    std::pair<QByteArray, QString> cover;
    if (!m_stop && !m_plan.coverUrl.isEmpty())
        cover = CoverImage(m_fetch(http, m_plan.proxy, m_plan.coverUrl, kCoverBytes));
    {
        std::lock_guard lock(m_mutex);
        std::tie(m_cover, m_coverType) = cover;
    }
    if (const QString error = cover.first.isEmpty() ? QString() : RetagFiles(); !error.isEmpty()) {
        std::lock_guard lock(m_mutex);
        emit LogFailed(error);
    }

    // The drive list, when the one in the cache was stale or missing, for the extractions to come.
    std::unique_lock lock(m_mutex);
    m_offsetChosen.wait(lock, [this] { return m_offsetKnown || m_stop; });
    if (m_refreshDriveList && !m_stop) {
        lock.unlock();
        CachedDriveOffsets(
            m_plan.driveOffsetsFile, QDateTime::currentDateTime(), [&]() -> std::optional<QByteArray> {
                const TFetchedFile list = m_fetch(http, m_plan.proxy, DriveOffsetsUrl, kSmallFileBytes);
                if (list.kind != TFetchedFile::Found)
                    return std::nullopt;
                return list.bytes;
            });
        lock.lock();
    }
    m_http = nullptr;
    lock.unlock();
    ThreadEnded();
}
