#pragma once

#include "lookup/DocumentFetcher.h"
#include "session/DiscLookup.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class QThread;
class THttpCli;

// What a lookup asks about: the drive, the rows as they stand, and how to reach the servers.
struct TLookupRequest {
    char driveLetter = 0;
    QStringList descriptions;   // one a row: the ripper's captions
    std::vector<int> rowTracks; // the disc track (from 1) of each row
    ProxySettings proxy;
    QString musicBrainzServer = MusicBrainz::DefaultServer;
    QString programDir; // where the document file "temp" goes (FileLocations.h)
};

// What it found: the rows' descriptions as it left them, the disc title and the entry, from the source
// that named the tracks; a failure (the drive's) keeps what was stored before it.
struct TLookupResult {
    TitleSource source = TitleSource::None;
    QStringList descriptions;
    std::optional<QString> discTitle;
    std::optional<CddbEntry> entry;
    QString failure;
    bool stopped = false; // ended by Stop: nothing of it is the disc's
};

// "Aggiorna"'s lookup on a thread of its own, with an HTTP client of its own: MusicBrainz, then CDDB,
// then the disc's CD-Text, as QueryDiscDatabase asks them. MusicBrainz is asked at most once a second,
// across lookups. Several editions on offer are a question to the front end (EditionsOffered), which
// answers with AnswerEdition; the lookup waits for it without holding any thread's event loop.
//
// The run reports through signals emitted on its thread: connected to an object of another thread they
// arrive there queued, in order.
class TLookupRun : public QObject
{
    Q_OBJECT

public:
    // How the run asks MusicBrainz for the disc; the tests keep it on this machine.
    using FetchMusicBrainz =
        std::function<TFetchedFile(THttpCli &http, const ProxySettings &proxy, const QString &url)>;

    explicit TLookupRun(TLookupRequest request, FetchMusicBrainz fetch = DefaultFetch,
                        QObject *parent = nullptr);
    // Stops the run and waits for its thread.
    ~TLookupRun() override;
    TLookupRun(const TLookupRun &) = delete;
    TLookupRun &operator=(const TLookupRun &) = delete;

    void Start();
    // Ends the lookup within a moment: a wait for the network, for MusicBrainz's turn or for the user's
    // choice ends at once, and no request follows. Safe from any thread; does not wait.
    void Stop();
    // The answer to EditionsOffered: the edition to take, or -1 for none. Safe from any thread.
    void AnswerEdition(int index);
    // Waits until the run's thread has ended.
    void Wait();

    static TFetchedFile DefaultFetch(THttpCli &http, const ProxySettings &proxy, const QString &url);

signals:
    // The source the lookup asks now: "MusicBrainz", "CDDB", "CD-Text".
    void Asking(const QString &source);
    void RequestUrl(const QString &url);
    // The last document fetched from the CDDB server (its first 5000 characters), and a failure to
    // store it ("Error opening file: ...").
    void Document(const QString &text);
    void Warning(const QString &message);
    void EditionsOffered(const std::vector<DiscEdition> &editions);
    void Finished(const TLookupResult &result);

private:
    void Run();
    int AskEdition(const std::vector<DiscEdition> &editions);
    // Waits until a second has passed since MusicBrainz was last asked; false after a stop.
    bool WaitForMusicBrainz();

    const TLookupRequest m_request;
    const FetchMusicBrainz m_fetch;
    std::unique_ptr<QThread> m_thread;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_stop = false;
    std::optional<int> m_answer;
    THttpCli *m_http = nullptr; // the run's client while it lives
};
