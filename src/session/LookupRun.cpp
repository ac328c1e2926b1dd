#include "session/LookupRun.h"

#include "lookup/HttpCli.h"
#include "platform/CdDevice.h"
#include "platform/DriveLetters.h"
#include "session/FetchDocument.h"

#include <QThread>

#include <chrono>

namespace
{

// The hidden memo holds at most this many characters of the last document.
constexpr int PaginaLimit = 5000;

// When MusicBrainz was last asked, by any lookup of the program: it serves one request a second to a
// client and refuses a quicker one.
std::mutex g_turnMutex;
std::chrono::steady_clock::time_point g_lastAsked;

// The CD-Text of the disc in the drive of `letter`.
CdText cdTextOfDrive(char letter)
{
    for (const DriveLetterEntry &entry : DriveLetters::current()) {
        if (entry.letter == letter)
            return CdDevice::cdTextOf(entry.path);
    }
    return {};
}

} // namespace

TLookupRun::TLookupRun(TLookupRequest request, FetchMusicBrainz fetch, QObject *parent)
    : QObject(parent), m_request(std::move(request)), m_fetch(std::move(fetch))
{
    qRegisterMetaType<TLookupResult>();
    qRegisterMetaType<std::vector<DiscEdition>>();
}

TLookupRun::~TLookupRun()
{
    Stop();
    Wait();
}

TFetchedFile TLookupRun::DefaultFetch(THttpCli &http, const ProxySettings &proxy, const QString &url)
{
    return FetchFileAs(http, proxy, url, MusicBrainz::UserAgent());
}

void TLookupRun::Start()
{
    if (m_thread)
        return;
    m_thread.reset(QThread::create([this] { Run(); }));
    m_thread->start();
}

void TLookupRun::Stop()
{
    std::lock_guard lock(m_mutex);
    m_stop = true;
    m_changed.notify_all();
    // The client lives on the run's thread: the abort is handed to it, and ends its wait at once.
    if (m_http)
        QMetaObject::invokeMethod(
            m_http, [http = m_http] { http->Abort(); }, Qt::QueuedConnection);
}

void TLookupRun::AnswerEdition(int index)
{
    std::lock_guard lock(m_mutex);
    m_answer = index;
    m_changed.notify_all();
}

void TLookupRun::Wait()
{
    if (m_thread)
        m_thread->wait();
}

int TLookupRun::AskEdition(const std::vector<DiscEdition> &editions)
{
    std::unique_lock lock(m_mutex);
    m_answer.reset();
    emit EditionsOffered(editions);
    m_changed.wait(lock, [this] { return m_answer || m_stop; });
    return m_stop ? -1 : *m_answer;
}

bool TLookupRun::WaitForMusicBrainz()
{
    std::unique_lock turn(g_turnMutex);
    const auto next = g_lastAsked + std::chrono::seconds(1);
    {
        std::unique_lock lock(m_mutex);
        if (m_changed.wait_until(lock, next, [this] { return m_stop; }))
            return false;
    }
    g_lastAsked = std::chrono::steady_clock::now();
    return true;
}

void TLookupRun::Run()
{
    THttpCli http;
    {
        std::lock_guard lock(m_mutex);
        m_http = m_stop ? nullptr : &http;
    }
    const auto stopped = [this] {
        std::lock_guard lock(m_mutex);
        return m_stop;
    };
    TLookupResult result;
    result.descriptions = m_request.descriptions;

    DiscLookupContext context;
    context.driveLetter = m_request.driveLetter;
    context.trackList = &result.descriptions;
    context.rowTracks = m_request.rowTracks;
    context.musicBrainzServer = m_request.musicBrainzServer;
    context.setDiscTitle = [&result](const QString &title) { result.discTitle = title; };
    context.setRequestUrl = [this](const QString &url) { emit RequestUrl(url); };
    QStringList pagina;
    bool answered = false; // by any database, even to say that it does not know the disc
    context.fetch = [&](const QString &url, QDeadlineTimer deadline) -> std::optional<QStringList> {
        if (stopped())
            return std::nullopt;
        emit Asking(QStringLiteral("CDDB"));
        auto lines = FetchDocument(http, m_request.proxy, url, m_request.programDir, pagina, deadline,
                                   [this](const QString &message) { emit Warning(message); });
        emit Document(pagina.join("\r\n").left(PaginaLimit));
        answered = answered || lines.has_value();
        return lines;
    };
    context.fetchMusicBrainz = [&](const QString &url) -> std::optional<QByteArray> {
        if (!WaitForMusicBrainz())
            return std::nullopt;
        emit Asking(QStringLiteral("MusicBrainz"));
        TFetchedFile answer = m_fetch(http, m_request.proxy, url);
        answered = answered || answer.kind != TFetchedFile::Unreachable;
        if (answer.kind != TFetchedFile::Found)
            return std::nullopt;
        return std::move(answer.bytes);
    };
    context.readCdText = [this, letter = m_request.driveLetter] {
        emit Asking(QStringLiteral("CD-Text"));
        return cdTextOfDrive(letter);
    };
    context.chooseEdition = [this](const std::vector<DiscEdition> &editions) { return AskEdition(editions); };
    context.setEntry = [&result](const CddbEntry &entry) { result.entry = entry; };

    try {
        result.source = QueryDiscDatabase(context);
        if (result.source == TitleSource::None && !answered)
            result.source = TitleSource::Unreachable;
    } catch (const std::exception &e) {
        result.failure = QString::fromUtf8(e.what());
    }
    {
        std::lock_guard lock(m_mutex);
        m_http = nullptr;
        result.stopped = m_stop;
    }
    emit Finished(result);
}
