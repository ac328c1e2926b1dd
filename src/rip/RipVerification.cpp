#include "rip/RipVerification.h"

#include "disc/ReadCrc.h"
#include "platform/NewFile.h"
#include "rip/CueSheet.h"
#include "rip/LogSignature.h"

#include <QStringList>

#include <algorithm>

TRipVerification::TRipVerification(Setup setup)
    : m_setup(std::move(setup)), m_disc(AccurateRipDiscId(m_setup.toc, m_setup.leadOutSector)),
      m_ctdb(CtdbDiscOf(m_setup.toc, m_setup.leadOutSector))
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

void TRipVerification::SetCtdbAnswer(const TFetchedFile &fetch)
{
    m_ctdbEntries.reset();
    m_ctdbAnswer = Unreachable;
    if (fetch.kind == TFetchedFile::Absent) {
        m_ctdbAnswer = Absent;
        m_ctdbEntries.emplace();
    } else if (fetch.kind == TFetchedFile::Found) {
        // A page that is no lookup's answer (an error page served with a 200) is none at all; an answer
        // without entries says, as a 404 does, that the database lacks the disc.
        m_ctdbEntries = ParseCtdbAnswer(fetch.bytes);
        if (m_ctdbEntries)
            m_ctdbAnswer = m_ctdbEntries->empty() ? Absent : Found;
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

std::optional<size_t> TRipVerification::CtdbIndex(const Track &track) const
{
    const auto span = std::find_if(m_ctdb.tracks.begin(), m_ctdb.tracks.end(), [&](const TCtdbTrackSpan &s) {
        return s.trackNumber == track.trackNumber;
    });
    return span == m_ctdb.tracks.end() ? std::nullopt : std::optional(size_t(span - m_ctdb.tracks.begin()));
}

std::optional<TAccurateRipVerdict> TRipVerification::CtdbVerdict(const Track &track) const
{
    const std::optional<size_t> index = CtdbIndex(track);
    if (m_ctdbAnswer == Pending || !index)
        return std::nullopt;
    TAccurateRipVerdict verdict = CompareTrackWithCtdb(m_ctdbEntries, *index, track.ctdbCrc.value_or(0));
    if (verdict.kind == TAccurateRipVerdict::Accurate &&
        (!track.ctdbCrc || track.outcome.kind != TTrackOutcome::Complete))
        verdict = {TAccurateRipVerdict::NotAccurate, 0};
    return verdict;
}

bool TRipVerification::Accurate(const Track &track) const
{
    if (track.trackNumber == 0)
        return false;
    const std::optional<TAccurateRipVerdict> ar = Verdict(track), ctdb = CtdbVerdict(track);
    return (ar && ar->kind == TAccurateRipVerdict::Accurate) ||
           (ctdb && ctdb->kind == TAccurateRipVerdict::Accurate);
}

QString TRipVerification::VerdictText(const Track &track, const QString &between) const
{
    const QString waiting = QStringLiteral("in attesa della risposta");
    // The databases know the disc's tracks from 1: the audio before track 1 is nobody's to check.
    QString ar = QStringLiteral("non verificabile");
    QString ctdb = ar;
    if (track.trackNumber > 0) {
        const std::optional<TAccurateRipVerdict> verdict = Verdict(track);
        ar = verdict ? verdict->Text() : waiting;
    }
    if (CtdbIndex(track)) {
        const std::optional<TAccurateRipVerdict> verdict = CtdbVerdict(track);
        ctdb = verdict ? verdict->Text() : waiting;
    }
    return "AccurateRip: " + ar + between + "CTDB: " + ctdb;
}

std::optional<uint32_t> TRipVerification::DiscCtdbCrc() const
{
    if (m_ctdb.tracks.empty())
        return std::nullopt;
    uint32_t crc = 0;
    for (const TCtdbTrackSpan &span : m_ctdb.tracks) {
        const auto track = std::find_if(m_tracks.begin(), m_tracks.end(), [&](const Track &t) {
            return t.trackNumber == span.trackNumber && t.outcome.kind == TTrackOutcome::Complete &&
                   t.ctdbCrc;
        });
        if (track == m_tracks.end())
            return std::nullopt;
        crc = TReadCrc::Combine(crc, *track->ctdbCrc, (span.EndFrame() - span.FirstFrame()) * 4);
    }
    return crc;
}

QString TRipVerification::StatusText(size_t i) const
{
    const Track &track = m_tracks[i];
    const QString head = QString("Traccia %1").arg(track.trackNumber, 2, 10, QChar('0'));
    switch (track.outcome.kind) {
    case TTrackOutcome::Complete:
        return head + " " + VerdictText(track, ", ");
    case TTrackOutcome::ReadErrors:
        return head + " " + VerdictText(track, ", ") +
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

TRipVerification::Tally TRipVerification::Count() const
{
    Tally tally;
    tally.allConfirmed = !m_tracks.empty();
    for (const Track &track : m_tracks) {
        const bool accurate = Accurate(track);
        const TTrackOutcome::Kind kind = track.outcome.kind;
        tally.complete += kind == TTrackOutcome::Complete;
        tally.accurate += accurate;
        tally.confirmed += track.confirmed;
        tally.readErrors += kind == TTrackOutcome::ReadErrors;
        tally.cancelled += kind == TTrackOutcome::Cancelled || kind == TTrackOutcome::Interrupted;
        tally.failed += kind == TTrackOutcome::Failed;
        // Whole and confirmed: complete, and its samples those of a second read or of the database's.
        tally.allConfirmed = tally.allConfirmed && kind == TTrackOutcome::Complete && (track.confirmed || accurate);
    }
    return tally;
}

QString TRipVerification::ResultText(size_t i) const
{
    const Track &track = m_tracks[i];
    switch (track.outcome.kind) {
    case TTrackOutcome::Complete:
        break;
    case TTrackOutcome::ReadErrors:
        return QStringLiteral("errori");
    case TTrackOutcome::Cancelled:
    case TTrackOutcome::Interrupted:
        return QStringLiteral("annullata");
    case TTrackOutcome::Failed:
        return QStringLiteral("fallita");
    }
    if (Accurate(track))
        return QStringLiteral("accurata");
    const std::optional<TAccurateRipVerdict> ar = track.trackNumber > 0 ? Verdict(track) : std::nullopt;
    const std::optional<TAccurateRipVerdict> ctdb = CtdbVerdict(track);
    if ((ar && ar->kind == TAccurateRipVerdict::NotAccurate && m_answer == Found) ||
        (ctdb && ctdb->kind == TAccurateRipVerdict::NotAccurate))
        return QStringLiteral("non accurata");
    return QStringLiteral("non verificata");
}

QString TRipVerification::SummaryText(bool stopped) const
{
    const Tally tally = Count();
    const auto count = [](int n, const char *one, const char *many) {
        return QString("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
    };
    QString text = (stopped ? "Estrazione interrotta: " : "Estrazione completata: ") + count(int(m_tracks.size()), "traccia", "tracce");
    text += m_answer == Found || m_ctdbAnswer == Found ? ", " + count(tally.accurate, "accurata", "accurate")
                                                       : QStringLiteral(", non verificata");
    if (tally.readErrors > 0)
        text += QString(", %1 con errori").arg(tally.readErrors);
    if (tally.cancelled > 0)
        text += ", " + count(tally.cancelled, "annullata", "annullate");
    if (tally.failed > 0)
        text += ", " + count(tally.failed, "fallita", "fallite");
    return text;
}

namespace
{

QString hex8(uint32_t v)
{
    return QString("%1").arg(v, 8, 16, QChar('0')).toUpper();
}

} // namespace

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
    text << verified;
    if (!m_setup.program.isEmpty())
        text << "Programma: " + m_setup.program;
    text << "Data: " + when.toString("yyyy-MM-dd hh:mm:ss") << "Lettore: " + m_setup.drive
         << "Offset di lettura: " + offset + " campioni (" + m_setup.offsetFrom + ")";
    text << m_setup.settings;
    text << "Disco AccurateRip: " + m_disc.Text();
    {
        QString ctdb = "Disco CTDB: " + (m_ctdb.tocId.isEmpty() ? QStringLiteral("-") : m_ctdb.tocId);
        const std::optional<uint32_t> crc = DiscCtdbCrc();
        if (m_ctdb.tocId.isEmpty())
            ctdb += QStringLiteral("  CTDB: non verificabile");
        else if (!crc)
            ctdb += QStringLiteral("  CTDB: non verificabile (disco non estratto per intero)");
        else if (m_ctdbAnswer == Pending)
            ctdb += "  CRC " + hex8(*crc) + "  CTDB: in attesa della risposta";
        else
            ctdb += "  CRC " + hex8(*crc) + "  CTDB: " + CompareDiscWithCtdb(m_ctdbEntries, *crc).Text();
        text << ctdb;
    }
    text << "Disco CDDB: " + m_disc.Text().right(8);
    if (!m_setup.musicBrainzId.isEmpty())
        text << "Disco MusicBrainz: " + m_setup.musicBrainzId;
    if (!m_setup.mcn.isEmpty())
        text << "Catalogo (MCN): " + m_setup.mcn;
    text << "" << "Indice del disco: traccia, inizio, durata, pre-gap, ISRC, preenfasi";
    for (size_t i = 0; i < m_setup.toc.size(); ++i) {
        const int32_t start = m_setup.toc[i].startSector;
        const int32_t end = i + 1 < m_setup.toc.size() ? m_setup.toc[i + 1].startSector : m_setup.leadOutSector;
        const TrackLayout layout = i < m_setup.layout.size() ? m_setup.layout[i] : TrackLayout();
        text << QString("  %1  %2  %3  %4  %5  %6")
                    .arg(int(i + 1), 2, 10, QChar('0'))
                    .arg(CueTime(start), CueTime(end - start), CueTime(layout.pregapSectors),
                         layout.isrc.isEmpty() ? QStringLiteral("-") : layout.isrc,
                         m_setup.toc[i].audio ? (layout.preemphasis ? "si" : "no") : "dati");
    }
    if (!m_setup.hiddenAudio.isEmpty())
        text << "Audio prima della traccia 1: " + m_setup.hiddenAudio;
    text << "";
    auto hex = hex8;
    for (const Track &track : m_tracks) {
        QString line =
            QString("Traccia %1  %2  ").arg(track.trackNumber, 2, 10, QChar('0')).arg(track.fileName);
        const QString jitter = QString("  errori di jitter %1").arg(track.jitterErrors);
        switch (track.outcome.kind) {
        case TTrackOutcome::Complete:
        case TTrackOutcome::ReadErrors: {
            const auto [v1, v2] = track.checksums.value_or(std::pair(0u, 0u));
            line += QString("CRC v1 %1  v2 %2  %3").arg(hex(v1), hex(v2), VerdictText(track, "  "));
            if (track.ctdbCrc)
                line += "  CRC CTDB " + hex(*track.ctdbCrc);
            if (track.outcome.kind == TTrackOutcome::ReadErrors)
                line += QString("  settori illeggibili %1").arg(track.outcome.unreadableSectors);
            line += jitter;
            if (track.peak)
                line += QString("  picco %1 %").arg(*track.peak * 100, 0, 'f', 1);
            if (track.testCrc)
                line += "  CRC di prova " + hex(*track.testCrc);
            if (track.copyCrc)
                line += "  CRC di copia " + hex(*track.copyCrc);
            if (track.testCrc)
                line += track.confirmed ? QStringLiteral("  copia confermata")
                                        : QString("  copie diverse (%1 letture)").arg(track.reads);
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
    for (const auto &[number, fileName] : m_notStarted)
        text << QString("Traccia %1  %2  non iniziata").arg(number, 2, 10, QChar('0')).arg(fileName);

    const Tally tally = Count();
    text << "";
    if (!m_cueSheetNote.isEmpty())
        text << m_cueSheetNote;
    text << QString("Riepilogo: %1 tracce, %2 complete, %3 accurate, %4 confermate, %5 con errori di lettura, "
                    "%6 annullate, %7 fallite, %8 non iniziate")
                .arg(m_tracks.size())
                .arg(tally.complete)
                .arg(tally.accurate)
                .arg(tally.confirmed)
                .arg(tally.readErrors)
                .arg(tally.cancelled)
                .arg(tally.failed)
                .arg(m_notStarted.size());
    if (tally.allConfirmed && m_notStarted.empty())
        text << "Nessun errore";
    return (text.join("\n") + "\n").toUtf8();
}

QString TRipVerification::WriteLog(const QString &path, const QDateTime &when) const
{
    const QByteArray text = SignLog(LogText(when));
    const QString error = ReplaceFile(path, [&](TNewFile &file) { return file.write(text) == text.size(); });
    return error.isEmpty() ? QString() : QString("Impossibile scrivere il log \"%1\" (%2)").arg(path, error);
}
