#pragma once

#include "disc/AudioFormat.h"
#include "disc/CdRip_dll.h"
#include "rip/ExtractionRun.h"
#include "rip/TrackTags.h"
#include "session/LookupRun.h"
#include "session/SettingsFile.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TConversionRun;
class TMP3Coder;
class TQuarle;

// One row of the disc: an audio track of the ripper's table of contents, or the audio hidden before
// track 1 ("Traccia nascosta", track 0), which comes first when the disc has some.
struct TDiscRow {
    QString description; // the title that names the file: the caption, a lookup's title or the user's
    QString caption;     // the ripper's "Track 01"
    QString length;      // in sectors, as the ripper gives it
    int discTrack = 0;   // its number on the disc, data tracks counted; 0 for the hidden audio
    int trackNum = 0;    // its position in the ripper's tracks, from 1; 0 for the hidden audio
};

// What the disc label stands for, as the user may correct it.
struct DiscDetails {
    QString artist, album, year, genre;
};

// An extraction as a front end asks for it; the session makes the plan of it.
struct TExtractionRequest {
    std::vector<int> rows; // the rows to rip, in order
    QString folder;        // the destination, ending in "/"
    AudioFormat format = AudioFormat::Mp3;
    TCoderPage coder;
    ProxySettings proxy;
    bool testAndCopy = false; // "Prova e copia"
    QString namePattern = QStringLiteral("%T"); // "Nomi dei file" (TrackFileNames.h)
    bool portableNames = true;                  // "Nomi compatibili con tutti i sistemi"
};

// What a front end says when files of an extraction are in the folder already.
enum class Overwrite { Replace, KeepBoth, Cancel };

// The status line's text after a lookup: "Titoli da MusicBrainz", "Nessun titolo trovato"...
QString TitleSourceText(TitleSource source);

// The disc session: the ripper and the MP3 coder, the drive in use, its disc's rows, label and tags,
// and one job at a time over them (a lookup, an extraction, a conversion), each a run on threads of its
// own. A front end (the window, the command line) asks through the methods, all to be called from the
// thread the session lives on, and learns through the signals, emitted there; no call waits for the
// network. A question to the user is a signal the front end answers with a call.
class TDiscSession : public QObject
{
    Q_OBJECT

public:
    // Where the session reaches the outside; the tests keep it all on this machine.
    struct Services {
        CdRipApi api = CdRipApi::library();
        TExtractionRun::Fetch fetchAccurateRipFile = FetchFile;
        TLookupRun::FetchMusicBrainz fetchMusicBrainz = TLookupRun::DefaultFetch;
        // The program's folder: "quarle.ini", "quarle-servers.ini" and "temp" go by it (FileLocations.h).
        std::function<QString()> programDir;
    };
    enum class Job { None, Lookup, Extraction, Conversion };
    Q_ENUM(Job)

    // Creates the ripper and selects the first drive. Raises the ripper's failure when no drive is usable.
    explicit TDiscSession(Services services, QObject *parent = nullptr);
    // Ends every job and waits for it.
    ~TDiscSession() override;

    TQuarle &Quarle() const { return *m_quarle; }
    TMP3Coder &Coder() const { return *m_coder; }

    // The drives, "D: <name>" each.
    QStringList DriveList() const;
    // Selects a drive (-1: none; raises for an index out of range, leaving everything as it was) and
    // takes its disc's rows; a lookup in progress ends first. Nothing changes during an extraction.
    void SelectDrive(int index);
    const std::vector<TDiscRow> &Rows() const { return m_rows; }
    // The disc label: the drive's name until a lookup or the user names the disc.
    QString Label() const { return m_label; }
    const DiscTags &Tags() const { return m_tags; }
    // The servers of quarle-servers.ini, beside the settings file.
    ServerSettings Servers() const;

    // A row's description as the user typed it: it names and tags the file from now on.
    void SetDescription(int row, const QString &text);
    // The disc's details as the user corrected them; refused (false) while a job runs or without rows.
    bool SetDetails(const DiscDetails &details);

    Job Running() const { return m_job; }

    // "Aggiorna": the table of contents read again and the disc looked up. False when a job runs.
    bool StartLookup(const ProxySettings &proxy);
    void AnswerEdition(int index);

    // "Estrai": the plan made of the request, the question asked when files of it are in the folder
    // (OverwriteAsked, answered by AnswerOverwrite), then the run. False when nothing starts now (a
    // lookup or an extraction runs); raises when a conversion holds the coder or the coder page is bad.
    bool StartExtraction(const TExtractionRequest &request);
    void AnswerOverwrite(Overwrite answer);
    // The plan the request gives, as StartExtraction makes it.
    TExtractionPlan Plan(const TExtractionRequest &request) const;

    // The batch conversion of WAV files to MP3, with the coder page; raises when an extraction holds
    // the coder.
    bool StartConversion(const QStringList &files, const TCoderPage &coder);

    // "Annulla": the track being ripped, the lookup or the file being converted ends.
    void CancelJob();
    // Ends every job now (closing): the track in progress is interrupted, a wait for the network or for
    // an answer ends; returns once their threads have ended and the log is written.
    void Stop();

signals:
    // The rows, the label or the tags changed (a drive, a lookup, an edit).
    void DiscChanged();
    void JobStarted(TDiscSession::Job job);
    void JobEnded(TDiscSession::Job job);

    // The lookup asks this source now: "MusicBrainz", "CDDB", "CD-Text".
    void LookupAsking(const QString &source);
    void RequestUrl(const QString &url);
    void Document(const QString &text);
    void Warning(const QString &message);
    void EditionsOffered(const std::vector<DiscEdition> &editions);
    // The lookup's end: where the titles came from (Declined: the rows are as they were before it), and
    // a failure that ended it early.
    void LookupEnded(TitleSource source, const QString &failure);

    void OverwriteAsked(const QStringList &files);
    void TrackStarted(int row, int trackNum);
    void Progress(int row, int trackNum, int percent);
    void TrackFinished(const TTrackReport &report);
    void TrackVerified(const TTrackReport &report);
    void LogFailed(const QString &message);
    void ExtractionEnded(const TRunReport &report);
    // Every verdict of the last extraction is in and its log is final.
    void ExtractionSettled();

    void ConversionFileStarted(int index, const QString &file);
    void ConversionProgress(int percent);
    // The batch's end: the failure that ended it, empty when every file was converted or it was cancelled.
    void ConversionEnded(const QString &failure);

private:
    void TakeRows();
    // The rows before the disc's first track: 1 when the hidden audio has one, else 0.
    size_t HiddenRows() const;
    void EndLookup(const TLookupResult &result);
    void StartRun(TExtractionPlan plan);
    void SetJob(Job job);

    Services m_services;
    TQuarle *m_quarle = nullptr;
    TMP3Coder *m_coder = nullptr;
    std::vector<TDiscRow> m_rows;
    QString m_label;
    DiscTags m_tags;
    Job m_job = Job::None;

    // The rows, label and tags as they were when the lookup began, for one that gives nothing.
    struct Saved {
        std::vector<TDiscRow> rows;
        QString label;
        DiscTags tags;
    };
    std::optional<Saved> m_beforeLookup;
    std::unique_ptr<TLookupRun> m_lookup;

    std::optional<TExtractionPlan> m_asking; // waits for the answer to OverwriteAsked
    // The last extraction: it may be ripping, or be done and still wait for its verdicts.
    std::unique_ptr<TExtractionRun> m_run;
    int m_runGeneration = 0;

    std::unique_ptr<TConversionRun> m_conversion;
};
