#pragma once

#include "lookup/AccurateRipDb.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>
#include <vector>

class TAccurateRipChecksum;
class TQuarle;

// The verification of one extraction against the AccurateRip database: the disc's identifiers from
// its table of contents, the database's file fetched once (at the first ripped track), a verdict
// per track, and the log written at the end. Runs on the extraction worker.
class TRipVerification
{
public:
    using Fetch = std::function<std::optional<QByteArray>(const QString &url)>;
    // How an extraction fetches the database's file through the proxy page's settings; the tests
    // keep it on this machine.
    static std::function<std::optional<QByteArray>(const ProxySettings &proxy, const QString &url)> fetchFile;

    struct Setup {
        std::vector<TDiscTocEntry> toc; // every track, data tracks included
        int32_t leadOutSector = 0;
        QString drive;      // "D: <identifier> (/dev/sr0)"
        int readOffset = 0; // samples
        QString offsetFrom; // where the offset came from
        Fetch fetch;        // the dBAR file at a URL, nothing when not reached
    };

    explicit TRipVerification(Setup setup);

    const TAccurateRipId &Disc() const { return m_disc; }

    // After the track at table-of-contents position `trackNumber` was ripped into `fileName`: the
    // verdict on its checksums (none when the rip could not compute them), as the status line
    // shows it: "Traccia 03 AccurateRip: accurata (fiducia 12)".
    QString TrackRipped(int trackNumber, const QString &fileName, const TAccurateRipChecksum *checksum,
                        int jitterErrors);

    bool HasTracks() const { return !m_lines.isEmpty(); }
    // The log: a head (date, drive, read offset, identifiers) and one line per ripped track.
    QByteArray LogText(const QDateTime &when) const;
    // "<label>.log", "/" as "-"; "QUARLE.log" for an empty label.
    static QString LogFileName(const QString &discLabel);
    // Writes the log into `folder`; false when the file cannot be written.
    bool WriteLog(const QString &folder, const QString &discLabel, const QDateTime &when) const;

private:
    Setup m_setup;
    TAccurateRipId m_disc;
    bool m_fetched = false;
    std::optional<std::vector<TAccurateRipPressing>> m_answer;
    QStringList m_lines;
};

// The verification of an extraction from the ripper's active drive: its table of contents; the drive
// and its read offset (its entry's in the drive table, else the database's list's for the drive's
// vendor and model, cached in the user's cache folder, else 0), which is also given to the CD-reading
// library for its reads; and the database's files fetched through the proxy page's settings by a
// client of the calling thread, unless `stop` is set by then (a closing window must not wait for the
// network).
TRipVerification::Setup MakeVerificationSetup(const TQuarle &quarle, const ProxySettings &proxy,
                                              const std::atomic<bool> &stop);
