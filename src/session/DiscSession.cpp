#include "session/DiscSession.h"

#include "disc/Quarle.h"
#include "encoder/MP3Coder.h"
#include "platform/Exception.h"
#include "session/ConversionRun.h"
#include "session/FileLocations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

QString TitleSourceText(TitleSource source)
{
    switch (source) {
    case TitleSource::MusicBrainz:
        return QStringLiteral("Titoli da MusicBrainz");
    case TitleSource::Cddb:
        return QStringLiteral("Titoli da CDDB");
    case TitleSource::CdText:
        return QStringLiteral("Titoli dal CD-Text");
    case TitleSource::Unreachable:
        return QStringLiteral("Banche dati non raggiungibili");
    case TitleSource::None:
    case TitleSource::Declined:
        break;
    }
    return QStringLiteral("Nessun titolo trovato");
}

TDiscSession::TDiscSession(Services services, QObject *parent)
    : QObject(parent), m_services(std::move(services))
{
    qRegisterMetaType<TDiscSession::Job>();
    if (!m_services.programDir)
        m_services.programDir = [] { return QCoreApplication::applicationDirPath(); };
    // The ripper as the program uses it; selecting drive 0 raises its "Attenzione!" failure when there
    // is no usable drive.
    m_quarle = new TQuarle(this, m_services.api);
    m_quarle->setSpeed(32);
    m_quarle->setActiveCdRomNum(0);
    TDriveTableClass table;
    table.setDriveType(TDriveType::GENERIC);
    table.setReadMethod(TReadMethod::READMMC);
    table.setSetSpeed(TSetSpeed::SPEEDNONE);
    table.setEndian(TEndian::BIGENDIAN);
    table.setEnableMode(TEnableMode::ENABLENONE);
    table.setDensity(16777216);
    table.setAtapi(true);
    m_quarle->setDriveTable(table);
    m_quarle->setFormat(AudioFormat::Wav);

    m_coder = new TMP3Coder(this);
    m_coder->setObjectName("MP3Coder");
    m_coder->setDefaultExt(".mp3");
    m_quarle->setCoder(m_coder);
    m_label = m_quarle->CdRomName();
}

TDiscSession::~TDiscSession()
{
    Stop();
}

QStringList TDiscSession::DriveList() const
{
    QStringList drives;
    m_quarle->FillDriveList(drives);
    return drives;
}

void TDiscSession::SelectDrive(int index)
{
    // The ripper belongs to the run until it ends.
    if (m_job == Job::Extraction)
        return;
    if (m_lookup) {
        m_lookup->Stop();
        m_lookup->Wait();
        m_beforeLookup.reset();
    }
    m_quarle->setActiveCdRomNum(index);
    m_label = m_quarle->CdRomName();
    TakeRows();
    emit DiscChanged();
}

// The ripper's tracks as rows, named by their captions; whatever a lookup or the user said goes.
void TDiscSession::TakeRows()
{
    m_tags = {};
    m_rows.clear();
    if (const std::optional<TTrack> hidden = m_quarle->HiddenTrack())
        m_rows.push_back({QStringLiteral("Traccia nascosta"), QStringLiteral("Track 00"),
                          QString::number(int64_t(hidden->EndSector) - hidden->StartSector), 0, 0});
    const QStringList captions = m_quarle->Tracks().captions();
    const QStringList lengths = m_quarle->TrackLengths();
    for (int i = 0; i < captions.size(); ++i)
        m_rows.push_back(
            {captions[i], captions[i], lengths.value(i), m_quarle->Tracks().object(i)->Number, i + 1});
}

size_t TDiscSession::HiddenRows() const
{
    return !m_rows.empty() && m_rows.front().trackNum == 0 ? 1 : 0;
}

ServerSettings TDiscSession::Servers() const
{
    const QString settings = LocateFiles(m_services.programDir()).SettingsToRead();
    return ReadServerSettings(QFileInfo(settings).dir().filePath("quarle-servers.ini"));
}

void TDiscSession::SetDescription(int row, const QString &text)
{
    if (row < 0 || size_t(row) >= m_rows.size() || m_rows[size_t(row)].description == text)
        return;
    m_rows[size_t(row)].description = text;
    emit DiscChanged();
}

bool TDiscSession::SetDetails(const DiscDetails &details)
{
    if (m_job != Job::None || m_rows.empty())
        return false;
    m_tags.fromLookup = true;
    std::tie(m_tags.artist, m_tags.album, m_tags.year, m_tags.genre) =
        std::tie(details.artist, details.album, details.year, details.genre);
    const QString label = DiscLabel(details.artist, details.album);
    m_label = label.isEmpty() ? m_quarle->CdRomName() : label;
    emit DiscChanged();
    return true;
}

void TDiscSession::SetJob(Job job)
{
    if (job == m_job)
        return;
    const Job ended = std::exchange(m_job, job);
    if (job == Job::None)
        emit JobEnded(ended);
    else
        emit JobStarted(job);
}

bool TDiscSession::StartLookup(const ProxySettings &proxy)
{
    if (m_job != Job::None)
        return false;
    // The rows as they are, for a lookup whose editions the user declines: they stay, with their titles
    // and edits, while the disc is the same.
    m_beforeLookup = Saved{m_rows, m_label, m_tags};
    m_quarle->RefreshTOC();
    TakeRows();
    if (m_rows.empty()) {
        emit DiscChanged();
        return true;
    }
    TLookupRequest request;
    const int drive = m_quarle->ActiveCdRomNum();
    if (drive >= 0 && drive < m_quarle->Drives().Count())
        request.driveLetter = m_quarle->Drives().object(drive)->Letter;
    // The databases know the disc's tracks; the hidden audio keeps its own name.
    for (size_t i = HiddenRows(); i < m_rows.size(); ++i) {
        request.descriptions << m_rows[i].description;
        request.rowTracks.push_back(m_rows[i].discTrack);
    }
    request.proxy = proxy;
    if (const QString mirror = Servers().musicBrainz; !mirror.isEmpty())
        request.musicBrainzServer = mirror;
    request.programDir = m_services.programDir();
    m_lookup = std::make_unique<TLookupRun>(std::move(request), m_services.fetchMusicBrainz);
    TLookupRun *run = m_lookup.get();
    connect(run, &TLookupRun::Asking, this, &TDiscSession::LookupAsking);
    connect(run, &TLookupRun::RequestUrl, this, &TDiscSession::RequestUrl);
    connect(run, &TLookupRun::Document, this, &TDiscSession::Document);
    connect(run, &TLookupRun::Warning, this, &TDiscSession::Warning);
    connect(run, &TLookupRun::EditionsOffered, this, &TDiscSession::EditionsOffered);
    connect(run, &TLookupRun::Finished, this, [this, run](const TLookupResult &result) {
        if (m_lookup.get() == run)
            EndLookup(result);
    });
    SetJob(Job::Lookup);
    run->Start();
    return true;
}

void TDiscSession::AnswerEdition(int index)
{
    if (m_lookup)
        m_lookup->AnswerEdition(index);
}

// The titles go only to the disc they were asked for: a lookup ended by a new drive or by "Annulla",
// or one whose editions were declined, leaves the rows as they were while the disc is the same.
void TDiscSession::EndLookup(const TLookupResult &result)
{
    m_lookup->Wait();
    m_lookup.reset();
    const bool asked = m_beforeLookup.has_value(); // not when the drive changed meanwhile
    const Saved before = m_beforeLookup.value_or(Saved{});
    m_beforeLookup.reset();
    const bool sameDisc = asked && before.rows.size() == m_rows.size() &&
                          std::equal(before.rows.begin(), before.rows.end(), m_rows.begin(),
                                     [](const TDiscRow &a, const TDiscRow &b) {
                                         return a.caption == b.caption && a.length == b.length;
                                     });
    const bool restored = (result.stopped || result.source == TitleSource::Declined) && sameDisc;
    if (restored) {
        m_rows = before.rows;
        m_label = before.label;
        m_tags = before.tags;
    } else if (!result.stopped) {
        const size_t hidden = HiddenRows();
        for (size_t i = 0; i + hidden < m_rows.size() && i < size_t(result.descriptions.size()); ++i)
            m_rows[i + hidden].description = result.descriptions[qsizetype(i)];
        if (result.discTitle)
            m_label = *result.discTitle;
        if (result.entry) {
            std::vector<int> tracks;
            for (size_t i = hidden; i < m_rows.size(); ++i)
                tracks.push_back(m_rows[i].discTrack);
            m_tags = DiscTagsFor(*result.entry, tracks, int(tracks.size()));
        }
    }
    SetJob(Job::None);
    emit DiscChanged();
    // Declined: the rows are as they were. A choice declined on a disc that changed meanwhile found
    // nothing for the disc there now.
    emit LookupEnded(restored                                                   ? TitleSource::Declined
                     : result.stopped || result.source == TitleSource::Declined ? TitleSource::None
                                                                                : result.source,
                     result.failure);
}

TExtractionPlan TDiscSession::Plan(const TExtractionRequest &request) const
{
    TExtractionPlan plan;
    plan.format = request.format;
    plan.coder = request.coder;
    plan.testAndCopy = request.testAndCopy;
    plan.namePattern = request.namePattern;
    plan.portableNames = request.portableNames;
    plan.folder = request.folder;
    plan.proxy = request.proxy;
    plan.discLabel = m_label == m_quarle->CdRomName() ? QString() : m_label;
    const QString cache = ProgramCacheFolder(UserFolders::Standard());
    if (MakePrivateFolder(cache))
        plan.driveOffsetsFile = QDir(cache).filePath(QStringLiteral("DriveOffsets.bin"));
    // The release's front cover, when the titles came from MusicBrainz and the files have tags.
    if (!m_tags.releaseId.isEmpty() && IsTagged(plan.format)) {
        QString server = Servers().coverArt;
        if (server.isEmpty())
            server = QStringLiteral("https://coverartarchive.org");
        while (server.endsWith('/'))
            server.chop(1);
        plan.coverUrl = server + "/release/" + QUrl::toPercentEncoding(m_tags.releaseId) + "/front-500";
    }
    const int rows = int(m_rows.size());
    const int hidden = int(HiddenRows());
    const std::vector<TDiscEntry> &entries = m_quarle->DiscEntries();
    for (const int i : request.rows) {
        if (i < 0 || i >= rows)
            continue;
        const TDiscRow &row = m_rows[size_t(i)];
        // The tracks are numbered as on the disc; the audio before track 1 has no number of its own.
        Mp3TagFields tags = TrackTagFields(m_tags, i - hidden, rows - hidden, row.description);
        if (row.trackNum == 0)
            tags.track.clear();
        if (row.discTrack > 0 && size_t(row.discTrack) <= entries.size())
            tags.isrc = entries[size_t(row.discTrack - 1)].Isrc;
        tags.barcode = m_quarle->Mcn();
        plan.rows.push_back({i, uint16_t(row.trackNum), row.description, row.caption, QString(), tags});
    }
    NameFiles(plan, false);
    return plan;
}

bool TDiscSession::StartExtraction(const TExtractionRequest &request)
{
    if (m_job == Job::Lookup || m_job == Job::Extraction)
        return false;
    // The coder serves one job at a time.
    if (m_job == Job::Conversion)
        throw Exception("Attendere la fine della conversione prima di estrarre.");
    TExtractionPlan plan = Plan(request);
    // Nothing of the user's is replaced without a question.
    if (const QStringList existing = ExistingFiles(plan); !existing.isEmpty()) {
        m_asking = std::move(plan);
        emit OverwriteAsked(existing);
        return m_job == Job::Extraction;
    }
    StartRun(std::move(plan));
    return true;
}

void TDiscSession::AnswerOverwrite(Overwrite answer)
{
    if (!m_asking)
        return;
    TExtractionPlan plan = std::move(*m_asking);
    m_asking.reset();
    if (answer == Overwrite::Cancel)
        return;
    if (answer == Overwrite::KeepBoth)
        NameFiles(plan, true);
    StartRun(std::move(plan));
}

void TDiscSession::StartRun(TExtractionPlan plan)
{
    // An earlier run still waiting for its verdicts stops waiting (its log says so), so that its log is
    // final before this run writes one, perhaps of the same name.
    if (m_run) {
        m_run->Stop();
        m_run->Wait();
    }
    m_run = std::make_unique<TExtractionRun>(*m_quarle, *m_coder, std::move(plan),
                                             m_services.fetchAccurateRipFile);
    TExtractionRun *run = m_run.get();
    connect(run, &TExtractionRun::TrackStarted, this, &TDiscSession::TrackStarted);
    connect(run, &TExtractionRun::Progress, this, &TDiscSession::Progress);
    connect(run, &TExtractionRun::TrackFinished, this, &TDiscSession::TrackFinished);
    // Late verdicts of a run that a later one has replaced are not this run's news.
    const int generation = ++m_runGeneration;
    connect(run, &TExtractionRun::TrackVerified, this, [this, generation](const TTrackReport &report) {
        if (generation == m_runGeneration)
            emit TrackVerified(report);
    });
    connect(run, &TExtractionRun::LogFailed, this, [this, generation](const QString &message) {
        if (generation == m_runGeneration)
            emit LogFailed(message);
    });
    connect(run, &TExtractionRun::Settled, this, [this, generation] {
        if (generation == m_runGeneration)
            emit ExtractionSettled();
    });
    connect(run, &TExtractionRun::Finished, this, [this](const TRunReport &report) {
        SetJob(Job::None);
        emit ExtractionEnded(report);
    });
    SetJob(Job::Extraction);
    run->Start();
}

bool TDiscSession::StartConversion(const QStringList &files, const TCoderPage &coder)
{
    if (m_job == Job::Extraction)
        throw Exception("Attendere la fine dell'estrazione prima di convertire.");
    if (m_job != Job::None)
        return false;
    auto conversion = std::make_unique<TConversionRun>(*m_coder, files, coder);
    TConversionRun *run = conversion.get();
    connect(run, &TConversionRun::FileStarted, this, &TDiscSession::ConversionFileStarted);
    connect(run, &TConversionRun::Progress, this, &TDiscSession::ConversionProgress);
    connect(run, &TConversionRun::Finished, this, [this](const QString &failure) {
        m_conversion->Wait();
        m_conversion.reset();
        SetJob(Job::None);
        emit ConversionEnded(failure);
    });
    if (m_conversion)
        m_conversion->Wait();
    m_conversion = std::move(conversion);
    SetJob(Job::Conversion);
    run->Start();
    return true;
}

void TDiscSession::CancelJob()
{
    switch (m_job) {
    case Job::Lookup:
        if (m_lookup)
            m_lookup->Stop();
        break;
    case Job::Extraction:
        if (m_run)
            m_run->CancelTrack();
        break;
    case Job::Conversion:
        if (m_conversion)
            m_conversion->Cancel();
        break;
    case Job::None:
        break;
    }
}

void TDiscSession::Stop()
{
    m_asking.reset();
    if (m_lookup) {
        m_lookup->Stop();
        m_lookup->Wait();
    }
    if (m_run) {
        m_run->Stop();
        m_run->Wait();
    }
    if (m_conversion) {
        m_conversion->Cancel();
        m_conversion->Wait();
    }
    // Their threads have ended: no job runs, whenever the last of their news arrives.
    SetJob(Job::None);
}
