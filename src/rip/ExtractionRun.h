#pragma once

#include "encoder/Mp3Tag.h"
#include "encoder/ReplayGain.h"
#include "platform/DriveLetters.h"
#include "rip/ExtractionPlan.h"
#include "rip/RipVerification.h"
#include "rip/TrackOutcome.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

class QThread;
class THttpCli;
class TMP3Coder;
class TQuarle;
class TReplayGainTrack;

// What the run says of one track when it ends, and again when its verdict comes later.
struct TTrackReport {
    int row = 0;
    int trackNum = 0;
    TTrackOutcome outcome;
    QString status;  // the status line's text
    QString result;  // the row's, in short: "accurata", "non verificata", "annullata", "errori", "fallita"
    QString summary; // the run's, once its tracks are done (a later verdict changes it); else empty
};

struct TRunReport {
    QString failure;  // what ended the run early, or kept the album's tags from its files; empty when none
    QString logError; // the log could not be written; empty when it was (or nothing was ripped)
    QString summary;  // "Estrazione completata: ...": how the run went as a whole
};

// One extraction: the plan's tracks ripped in order on a worker thread of the run's own, each with its
// outcome; the AccurateRip database's file and the CTDB's answer fetched beside the reading by a client
// on a second thread, so that no wait for the network holds a track; the verdicts, and the log in the plan's
// folder, written when the tracks are done and again when a later answer changes it.
//
// The run reports through signals, emitted on its threads: connected to an object of another thread
// (the window), they arrive there queued, in the order the run made them.
class TExtractionRun : public QObject
{
    Q_OBJECT

public:
    // How the run fetches one of the database's files.
    using Fetch = std::function<TFetchedFile(THttpCli &http, const ProxySettings &proxy, const QString &url,
                                             qint64 maxBytes)>;

    // The ripper and the coder are the window's: nothing else may use them until Finished.
    TExtractionRun(TQuarle &quarle, TMP3Coder &coder, TExtractionPlan plan, Fetch fetch = FetchFile,
                   QObject *parent = nullptr);
    // Stops the run and waits for its threads.
    ~TExtractionRun() override;
    TExtractionRun(const TExtractionRun &) = delete;
    TExtractionRun &operator=(const TExtractionRun &) = delete;

    void Start();
    // Ends the track being ripped after its current chunk; its file keeps what was read and the run
    // goes on with the next track. Safe from any thread.
    void CancelTrack();
    // Ends the run: the track being ripped ends after its current chunk ("interrotta"), no other
    // starts, and a wait for the network ends at once. Safe from any thread; does not wait.
    void Stop();
    // Waits until both threads have ended; the log is final then.
    void Wait();

signals:
    void TrackStarted(int row, int trackNum);
    void Progress(int row, int trackNum, int percent);
    void TrackFinished(const TTrackReport &report);
    // A verdict that came after its track: the status line's new text.
    void TrackVerified(const TTrackReport &report);
    // Every track had its turn, or a failure ended the run; the log is written.
    void Finished(const TRunReport &report);
    // A log written anew with a later verdict, or the cover put into the files after the run, could not
    // be written.
    void LogFailed(const QString &message);
    // Both threads are done: every verdict is in and the log is final.
    void Settled();

private:
    void Rip();
    void FetchAnswers();
    void ChooseReadOffset();
    // The reads of a row: with "Prova e copia" a test read, then copy reads until one agrees with an
    // earlier read (MaxReads in all); else the copy read alone. Its CRCs and peak go into `track`.
    TTrackOutcome RipOne(const TExtractionRow &row, TRipVerification::Track &track);
    TTrackOutcome CopyOne(const TExtractionRow &row);
    void ThreadEnded();
    // The row's track number on the disc (0 for the audio before track 1).
    int TrackNumber(const TExtractionRow &row) const;
    // Once the tracks are done: the album's ReplayGain (after a run in which no track was cancelled or
    // failed) and the cover, when either is known, into every file tagged, by the worker at the end and
    // by the network thread when the cover comes later. The last failure's text.
    QString RetagFiles();
    // The cue sheet beside the log, when every audio track of the disc is in `complete` (the rows whose
    // tracks ended complete, by the ripper's track number); what the log says of it.
    QString WriteCueSheet(const std::map<int, const TExtractionRow *> &complete);
    // Writes the log; a failure's text, unless it is the one the last write had.
    QString WriteLogLocked();

    TQuarle &m_quarle;
    TMP3Coder &m_coder;
    const TExtractionPlan m_plan;
    const Fetch m_fetch;
    std::optional<DriveLetterEntry> m_driveEntry;
    QString m_url;     // of the disc's file at the AccurateRip database
    QString m_ctdbUrl; // of the disc's lookup at the CTDB

    std::unique_ptr<QThread> m_worker;
    std::unique_ptr<QThread> m_network;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_cancelTrack{false}; // the row being ripped, between its reads too
    std::atomic<bool> m_ripping{false};
    std::atomic<int> m_row{0}; // being ripped
    std::atomic<int> m_threadsRunning{2};

    // The worker's: the loudness of the track being ripped, of the complete tracks for the album's, and
    // each file tagged with its tag.
    std::unique_ptr<TReplayGainTrack> m_gain;
    int m_peak = 0; // of the read being written, as a sample's magnitude
    std::vector<TReplayGainTrack> m_completeGains;

    // Shared by the two threads.
    std::mutex m_mutex;
    std::condition_variable m_offsetChosen;
    bool m_offsetKnown = false;
    bool m_refreshDriveList = false;
    bool m_tracksDone = false;
    TRipVerification m_verification;
    std::vector<std::pair<int, int>> m_trackRows; // the row and the ripper's track number of each
    QString m_logError;                           // of the last write of the log
    std::vector<std::pair<QString, Mp3TagFields>> m_tagged;
    std::optional<TReplayGain> m_album; // when the run gives one
    QByteArray m_cover;
    QString m_coverType;
    std::mutex m_retagging;
    THttpCli *m_http = nullptr; // the network thread's client while it lives
};
