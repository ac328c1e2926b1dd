#pragma once

#include "lookup/AccurateRipDb.h"
#include "lookup/CtdbDb.h"
#include "rip/TrackOutcome.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

// The verification of one extraction against the AccurateRip database and the CUETools database (CTDB)
// and its log: the disc's identifiers from its table of contents, each database's answer once it comes,
// verdicts per track and of the whole disc, and the log's text. A track is accurate when either
// database confirms it. Plain data: the run that owns it keeps it under its lock.
class TRipVerification
{
public:
    // What the disc says of one track beside its start.
    struct TrackLayout {
        int32_t pregapSectors = 0; // INDEX 00 to INDEX 01
        QString isrc;
        bool preemphasis = false;
    };
    struct Setup {
        std::vector<TDiscTocEntry> toc; // every track, data tracks included
        int32_t leadOutSector = 0;
        QString drive;      // "D: <identifier> (/dev/sr0)"
        int readOffset = 0; // samples
        QString offsetFrom; // where the offset came from
        QString program;    // "QUARLE <version>"
        QStringList settings;              // the settings of the run, one "Name: value" line each
        std::vector<TrackLayout> layout;   // of each entry of toc; none when the drive told nothing
        QString mcn;                       // the disc's catalogue number; empty when none
        QString musicBrainzId;             // empty when the table gives none
        QString hiddenAudio;               // what lies before track 1: "assente", "silenzio"...
    };

    // One extracted track.
    struct Track {
        int trackNumber = 0; // its position in the table of contents, from 1
        QString fileName;
        std::optional<std::pair<uint32_t, uint32_t>> checksums; // v1, v2; none when not computed
        int jitterErrors = 0;
        TTrackOutcome outcome;
        std::optional<uint32_t> testCrc; // "Prova e copia": the test read's CRC-32
        std::optional<uint32_t> copyCrc; // the CRC-32 of the samples in the file
        int reads = 0;                   // of the track, the test read included
        bool confirmed = false;          // the file's samples are those of another read too
        std::optional<double> peak;      // the highest sample, as a share of full scale
        std::optional<uint32_t> ctdbCrc; // the CRC-32 the CTDB keeps of the file's samples
    };

    TRipVerification() = default;
    explicit TRipVerification(Setup setup);

    const TAccurateRipId &Disc() const { return m_disc; }
    const TCtdbDisc &Ctdb() const { return m_ctdb; }
    const Setup &Drive() const { return m_setup; }
    void setReadOffset(int samples, const QString &from);

    // The database's answer; until it comes, verdicts are pending.
    void SetAnswer(const TFetchedFile &fetch);
    bool Answered() const { return m_answer != Pending; }
    // The CTDB's answer to the disc's lookup.
    void SetCtdbAnswer(const TFetchedFile &fetch);

    // Adds a finished track and gives its index.
    size_t AddTrack(Track track);
    size_t TrackCount() const { return m_tracks.size(); }
    const Track &TrackAt(size_t i) const { return m_tracks[i]; }

    // What the status line says of track i: "Traccia 03 AccurateRip: accurata (fiducia 12), CTDB: accurata
    // (fiducia 4)", "Traccia 03 AccurateRip: non accurata, CTDB: non accurata, settori illeggibili 12",
    // "Traccia 03 annullata", ...; a failed track's message.
    QString StatusText(size_t i) const;
    // What the status line says of the run once its tracks are done: "Estrazione completata: 12 tracce,
    // 12 accurate", with ", 1 con errori", ", 1 annullata"..., or "non verificata" for no answer;
    // "Estrazione interrotta: ..." for a run that was stopped.
    QString SummaryText(bool stopped) const;
    // What track i's row says in short: "accurata" (by either database), "non accurata", "non verificata"
    // (no answer, or none that can tell), "errori" (unreadable sectors), "annullata", "fallita".
    QString ResultText(size_t i) const;
    // A checked row whose track was never started (a stop or a failure came first), for the log.
    void AddNotStarted(int trackNumber, const QString &fileName) { m_notStarted.push_back({trackNumber, fileName}); }
    // A line the log gives after the tracks (where the cue sheet went, or why there is none).
    void setCueSheetNote(const QString &note) { m_cueSheetNote = note; }
    // The log: a head (what was verified, program, date, drive, read offset, settings, identifiers, the
    // table of contents), a line per track, a summary and its signature's line.
    QByteArray LogText(const QDateTime &when) const;
    // Writes the log, with its signature line (LogSignature.h), at `path`, in place of the old one only
    // once it is whole; the failure's text, empty when written.
    QString WriteLog(const QString &path, const QDateTime &when) const;

private:
    enum Answer { Pending, Found, Absent, Unreachable };
    struct Tally {
        int complete = 0, accurate = 0, confirmed = 0, readErrors = 0, cancelled = 0, failed = 0;
        bool allConfirmed = false;
    };
    Tally Count() const;
    // The verdict on a track read to its end; none while the answer is pending.
    std::optional<TAccurateRipVerdict> Verdict(const Track &track) const;
    // The track's place among the CTDB's tracks; none for a track the database does not check.
    std::optional<size_t> CtdbIndex(const Track &track) const;
    std::optional<TAccurateRipVerdict> CtdbVerdict(const Track &track) const;
    // Confirmed by either database.
    bool Accurate(const Track &track) const;
    // "AccurateRip: accurata (fiducia 12), CTDB: non accurata", with `between` between the two.
    QString VerdictText(const Track &track, const QString &between) const;
    // The CTDB CRC of the whole disc, when every track of it was ripped complete in this run.
    std::optional<uint32_t> DiscCtdbCrc() const;

    Setup m_setup;
    TAccurateRipId m_disc;
    Answer m_answer = Pending;
    std::optional<std::vector<TAccurateRipPressing>> m_pressings;
    TCtdbDisc m_ctdb;
    Answer m_ctdbAnswer = Pending;
    std::optional<std::vector<TCtdbEntry>> m_ctdbEntries;
    std::vector<Track> m_tracks;
    QString m_cueSheetNote;
    std::vector<std::pair<int, QString>> m_notStarted;
};
