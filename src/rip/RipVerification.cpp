#include "rip/RipVerification.h"

#include "platform/NewFile.h"
#include "rip/LogSignature.h"
#include "rip/TrackFileNames.h"

#include <QStringList>

TRipVerification::TRipVerification(Setup setup)
    : m_setup(std::move(setup)), m_disc(AccurateRipDiscId(m_setup.toc, m_setup.leadOutSector))
{
}

void TRipVerification::setReadOffset(int samples, const QString &from)
{
    m_setup.readOffset = samples;
    m_setup.offsetFrom = from;
}

void TRipVerification::SetAnswer(const TFetchedFile &fetch)
{
    m_pressings.reset();
    m_answer = Unreachable;
    if (fetch.kind == TFetchedFile::Absent) {
        m_answer = Absent;
        m_pressings.emplace();
    } else if (fetch.kind == TFetchedFile::Found) {
        // An answer that is no dBAR file (an error page served with a 200) is none at all.
        m_pressings = ParseAccurateRipFile(fetch.bytes);
        if (m_pressings)
            m_answer = Found;
    }
}

size_t TRipVerification::AddTrack(Track track)
{
    m_tracks.push_back(std::move(track));
    return m_tracks.size() - 1;
}

std::optional<TAccurateRipVerdict> TRipVerification::Verdict(const Track &track) const
{
    if (m_answer == Pending)
        return std::nullopt;
    const auto [v1, v2] = track.checksums.value_or(std::pair(0u, 0u));
    TAccurateRipVerdict verdict = CompareWithAccurateRip(m_pressings, m_disc, track.trackNumber, v1, v2);
    // Silence in place of unreadable sectors is not the disc's audio, whatever the sums say.
    if (verdict.kind == TAccurateRipVerdict::Accurate &&
        (!track.checksums || track.outcome.kind != TTrackOutcome::Complete))
        verdict = {TAccurateRipVerdict::NotAccurate, 0};
    return verdict;
}

QString TRipVerification::VerdictText(const Track &track) const
{
    const std::optional<TAccurateRipVerdict> verdict = Verdict(track);
    return verdict ? verdict->Text() : QStringLiteral("in attesa della risposta");
}

QString TRipVerification::StatusText(size_t i) const
{
    const Track &track = m_tracks[i];
    const QString head = QString("Traccia %1").arg(track.trackNumber, 2, 10, QChar('0'));
    switch (track.outcome.kind) {
    case TTrackOutcome::Complete:
        return head + " AccurateRip: " + VerdictText(track);
    case TTrackOutcome::ReadErrors:
        return head + " AccurateRip: " + VerdictText(track) +
               QString(", settori illeggibili %1").arg(track.outcome.unreadableSectors);
    case TTrackOutcome::Cancelled:
        return head + " annullata";
    case TTrackOutcome::Interrupted:
        return head + " interrotta";
    case TTrackOutcome::Failed:
        break;
    }
    return track.outcome.message;
}

QByteArray TRipVerification::LogText(const QDateTime &when) const
{
    QString verified = QStringLiteral("QUARLE - estrazione verificata con AccurateRip");
    switch (m_answer) {
    case Found:
        break;
    case Pending:
        verified = QStringLiteral("QUARLE - estrazione non verificata: AccurateRip non ha ancora risposto");
        break;
    case Absent:
        verified = QStringLiteral("QUARLE - estrazione non verificata: disco assente da AccurateRip");
        break;
    case Unreachable:
        verified = QStringLiteral("QUARLE - estrazione non verificata: AccurateRip non raggiungibile");
        break;
    }
    const QString offset = (m_setup.readOffset > 0 ? "+" : "") + QString::number(m_setup.readOffset);
    QStringList text;
    text << verified << "Data: " + when.toString("yyyy-MM-dd hh:mm:ss") << "Lettore: " + m_setup.drive
         << "Offset di lettura: " + offset + " campioni (" + m_setup.offsetFrom + ")"
         << "Disco AccurateRip: " + m_disc.Text() << "Disco CDDB: " + m_disc.Text().right(8) << "";
    auto hex = [](uint32_t v) { return QString("%1").arg(v, 8, 16, QChar('0')).toUpper(); };
    for (const Track &track : m_tracks) {
        QString line =
            QString("Traccia %1  %2  ").arg(track.trackNumber, 2, 10, QChar('0')).arg(track.fileName);
        const QString jitter = QString("  errori di jitter %1").arg(track.jitterErrors);
        switch (track.outcome.kind) {
        case TTrackOutcome::Complete:
        case TTrackOutcome::ReadErrors: {
            const auto [v1, v2] = track.checksums.value_or(std::pair(0u, 0u));
            line += QString("CRC v1 %1  v2 %2  AccurateRip: %3").arg(hex(v1), hex(v2), VerdictText(track));
            if (track.outcome.kind == TTrackOutcome::ReadErrors)
                line += QString("  settori illeggibili %1").arg(track.outcome.unreadableSectors);
            line += jitter;
            break;
        }
        case TTrackOutcome::Cancelled:
            line += "annullata" + jitter;
            break;
        case TTrackOutcome::Interrupted:
            line += "interrotta" + jitter;
            break;
        case TTrackOutcome::Failed:
            line += "fallita: " + track.outcome.message;
            break;
        }
        text << line;
    }
    return (text.join("\n") + "\n").toUtf8();
}

QString TRipVerification::LogFileName(const QString &discLabel)
{
    const QString name = CleanFileName(discLabel);
    return FitFileName(name.isEmpty() ? QStringLiteral("QUARLE") : name, TTrackFileNames::MaxNameBytes - 4) +
           ".log";
}

QString TRipVerification::WriteLog(const QString &path, const QDateTime &when) const
{
    const QByteArray text = SignLog(LogText(when));
    const QString error = ReplaceFile(path, [&](TNewFile &file) { return file.write(text) == text.size(); });
    return error.isEmpty() ? QString() : QString("Impossibile scrivere il log \"%1\" (%2)").arg(path, error);
}
