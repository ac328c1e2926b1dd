#pragma once

#include "lookup/AccurateRipDb.h"
#include "rip/TrackOutcome.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

// The verification of one extraction against the AccurateRip database and its log: the disc's
// identifiers from its table of contents, the database's answer once it comes, a verdict per track
// and the log's text. Plain data: the run that owns it keeps it under its lock.
class TRipVerification
{
public:
    struct Setup {
        std::vector<TDiscTocEntry> toc; // every track, data tracks included
        int32_t leadOutSector = 0;
        QString drive;      // "D: <identifier> (/dev/sr0)"
        int readOffset = 0; // samples
        QString offsetFrom; // where the offset came from
    };

    // One extracted track.
    struct Track {
        int trackNumber = 0; // its position in the table of contents, from 1
        QString fileName;
        std::optional<std::pair<uint32_t, uint32_t>> checksums; // v1, v2; none when not computed
        int jitterErrors = 0;
        TTrackOutcome outcome;
    };

    TRipVerification() = default;
    explicit TRipVerification(Setup setup);

    const TAccurateRipId &Disc() const { return m_disc; }
    const Setup &Drive() const { return m_setup; }
    void setReadOffset(int samples, const QString &from);

    // The database's answer; until it comes, verdicts are pending.
    void SetAnswer(const TFetchedFile &fetch);
    bool Answered() const { return m_answer != Pending; }

    // Adds a finished track and gives its index.
    size_t AddTrack(Track track);
    size_t TrackCount() const { return m_tracks.size(); }
    const Track &TrackAt(size_t i) const { return m_tracks[i]; }

    // What the status line says of track i: "Traccia 03 AccurateRip: accurata (fiducia 12)",
    // "Traccia 03 AccurateRip: non accurata, settori illeggibili 12", "Traccia 03 annullata", ...; a
    // failed track's message.
    QString StatusText(size_t i) const;
    // The log: a head (what was verified, date, drive, read offset, identifiers) and a line per track.
    QByteArray LogText(const QDateTime &when) const;
    // "<label>.log", the label made a file name as a track's title is and cut to fit; "QUARLE.log" when
    // nothing is left of it.
    static QString LogFileName(const QString &discLabel);
    // Writes the log, with its signature line (LogSignature.h), at `path`, in place of the old one only
    // once it is whole; the failure's text, empty when written.
    QString WriteLog(const QString &path, const QDateTime &when) const;

private:
    enum Answer { Pending, Found, Absent, Unreachable };
    // The verdict on a track read to its end; none while the answer is pending.
    std::optional<TAccurateRipVerdict> Verdict(const Track &track) const;
    QString VerdictText(const Track &track) const;

    Setup m_setup;
    TAccurateRipId m_disc;
    Answer m_answer = Pending;
    std::optional<std::vector<TAccurateRipPressing>> m_pressings;
    std::vector<Track> m_tracks;
};
