#include "cli/CommandLine.h"

#include "disc/Quarle.h"
#include "rip/LogSignature.h"
#include "rip/TrackFileNames.h"
#include "session/DiscSession.h"
#include "session/FileLocations.h"
#include "session/SettingsFile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <unistd.h>

namespace
{

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

void describe(QCommandLineParser &parser)
{
    parser.addOption({"estrai", "Estrae le tracce del disco senza finestra."});
    parser.addOption({"lettore", "Il lettore (la lettera), altrimenti il primo.", "D"});
    parser.addOption({"formato", "flac, mp3 o wav, altrimenti quello di quarle.ini.", "formato"});
    parser.addOption(
        {"cartella", "La cartella di destinazione, altrimenti quella di quarle.ini.", "cartella"});
    parser.addOption({"tracce", "Le tracce da estrarre (1,3-5), altrimenti tutte.", "tracce"});
    parser.addOption({"titoli", "Cerca prima i titoli (MusicBrainz, CDDB, CD-Text)."});
    parser.addOption({"sostituisci", "Sostituisce i file già presenti nella cartella."});
    parser.addOption({"prova-e-copia", "Legge ogni traccia due volte e ne confronta i CRC."});
    parser.addOption({"nomi",
                      "I nomi dei file (%N numero, %T titolo, %A artista, %B artista dell'album, %L album, "
                      "%Y anno, %D disco, / tra le cartelle), altrimenti quelli di quarle-estrazione.ini.",
                      "modello"});
    parser.addOption({"verifica-registro", "Verifica la firma di un registro d'estrazione.", "file"});
}

// "1,3-5" as row indexes from 0, in the disc's order as the window rips them, each once; nothing when the
// text is not such a list or names a track the disc does not have.
std::optional<std::vector<int>> tracksOf(const QString &text, int count)
{
    std::vector<int> rows;
    for (const QString &part : text.split(',')) {
        bool okFirst = false, okLast = false;
        const int first = part.section('-', 0, 0).trimmed().toInt(&okFirst);
        const int last = part.contains('-') ? part.section('-', 1).trimmed().toInt(&okLast) : first;
        if (!okFirst || (part.contains('-') && !okLast) || first < 1 || last < first || last > count)
            return std::nullopt;
        for (int track = first; track <= last; ++track) {
            if (std::find(rows.begin(), rows.end(), track - 1) == rows.end())
                rows.push_back(track - 1);
        }
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

int fail(const QString &message, int code)
{
    std::fprintf(stderr, "quarle: %s\n", qPrintable(message));
    return code;
}

// A log of a rip is a few kilobytes; this bound keeps a wrong argument (a disc image, /dev/zero) from
// being read whole.
constexpr qint64 kMaxLogBytes = 16 << 20;

// The file's bytes, at most kMaxLogBytes + 1 of them; the system's reason when they cannot be read. Read
// by the system's calls, as Qt's file reads turn some errors (EIO from a bad disk) into an early end.
std::optional<QByteArray> readLog(const QString &path, QString &error)
{
    const auto failed = [&error] {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return std::nullopt;
    };
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return failed();
    const std::unique_ptr<const int, void (*)(const int *)> closing(&fd, [](const int *f) { ::close(*f); });
    QByteArray bytes;
    char buffer[65536];
    while (bytes.size() <= kMaxLogBytes) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0)
            break;
        if (got < 0 && errno != EINTR)
            return failed();
        if (got > 0)
            bytes.append(buffer, got);
    }
    return bytes;
}

int verifyLog(const QString &path)
{
    QString error;
    const std::optional<QByteArray> read = readLog(path, error);
    if (!read)
        return fail(QString("impossibile leggere \"%1\" (%2)").arg(path, error), 2);
    const QByteArray &bytes = *read;
    if (bytes.size() > kMaxLogBytes)
        return fail(QString("\"%1\" non è un registro (più di 16 MiB)").arg(path), 2);
    switch (CheckLog(bytes)) {
    case TLogCheck::Intact:
        std::printf("registro integro\n");
        return 0;
    case TLogCheck::Altered:
        std::printf("registro alterato\n");
        return 1;
    case TLogCheck::Unsigned:
        break;
    }
    std::printf("registro senza firma\n");
    return 2;
}

} // namespace

bool WantsCommandLine(const QStringList &arguments)
{
    for (const QString &argument : arguments) {
        if (argument == "--estrai" || argument == "--verifica-registro" ||
            argument.startsWith("--verifica-registro="))
            return true;
    }
    return false;
}

int RunCommandLine(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("quarle");
    QCommandLineParser parser;
    describe(parser);
    if (!parser.parse(QCoreApplication::arguments()))
        return fail(parser.errorText(), 2);
    if (!parser.positionalArguments().isEmpty())
        return fail(QString("argomento inatteso \"%1\"").arg(parser.positionalArguments()[0]), 2);
    if (parser.isSet("verifica-registro"))
        return verifyLog(parser.value("verifica-registro"));

    // The settings as the window would start with them.
    const FileLocations at = LocateFiles(QCoreApplication::applicationDirPath());
    const SettingsRead settings = ReadSettingsFile(at.SettingsToRead());
    TExtractionRequest request;
    request.format = settings.format.value_or(AudioFormat::Mp3);
    request.coder = CoderPageOf(settings);
    request.proxy = {settings.proxyHost.value_or(QString()), settings.proxyPort.value_or(QString()),
                     settings.proxyUser.value_or(QString()), settings.proxyPassword.value_or(QString())};
    const ExtractionOptions options = ReadExtractionOptions(ExtractionOptionsFile(at.SettingsToRead()));
    request.testAndCopy = parser.isSet("prova-e-copia") || options.testAndCopy;
    request.namePattern = options.namePattern;
    request.portableNames = options.portableNames;
    if (parser.isSet("nomi")) {
        request.namePattern = parser.value("nomi");
        if (!IsNamePattern(request.namePattern))
            return fail(QString("nomi \"%1\": non è un modello di nomi (al più %2 caratteri)")
                            .arg(request.namePattern, QString::number(MaxNamePatternLength)),
                        2);
    }
    request.folder = settings.dir.value_or(QString());
    if (request.folder.isEmpty())
        request.folder = at.defaultDestination;
    if (parser.isSet("formato")) {
        const std::map<QString, AudioFormat> formats = {
            {"flac", AudioFormat::Flac}, {"mp3", AudioFormat::Mp3}, {"wav", AudioFormat::Wav}};
        const auto format = formats.find(parser.value("formato").toLower());
        if (format == formats.end())
            return fail(QString("formato sconosciuto \"%1\" (flac, mp3 o wav)").arg(parser.value("formato")),
                        2);
        request.format = format->second;
    }
    if (parser.isSet("cartella")) {
        request.folder = parser.value("cartella");
        if (!QFileInfo(request.folder).isDir())
            return fail(QString("la cartella \"%1\" non esiste").arg(request.folder), 2);
    }
    if (!request.folder.endsWith('/'))
        request.folder += '/';

    std::unique_ptr<TDiscSession> session;
    try {
        session = std::make_unique<TDiscSession>(TDiscSession::Services{});
        int drive = 0;
        if (parser.isSet("lettore")) {
            const QString letter = parser.value("lettore").toUpper();
            drive = -1;
            for (int i = 0; i < session->Quarle().Drives().Count(); ++i) {
                if (letter.size() == 1 &&
                    session->Quarle().Drives().object(i)->Letter == letter[0].toLatin1())
                    drive = i;
            }
            if (drive < 0)
                return fail(QString("nessun lettore %1").arg(parser.value("lettore")), 2);
        }
        session->SelectDrive(drive);
    } catch (const std::exception &e) {
        return fail(QString::fromUtf8(e.what()).section('\n', 0, 0), 2);
    }
    if (session->Rows().empty())
        return fail("nessuna traccia audio nel disco", 2);
    const int count = int(session->Rows().size());
    for (int i = 0; i < count; ++i)
        request.rows.push_back(i);
    if (parser.isSet("tracce")) {
        const auto rows = tracksOf(parser.value("tracce"), count);
        if (!rows)
            return fail(QString("tracce \"%1\": il disco ne ha %2").arg(parser.value("tracce")).arg(count),
                        2);
        request.rows = *rows;
    }

    // Ctrl-C ends the run as closing the window does: the track in progress is interrupted, the log is
    // written.
    int code = 0;
    bool interrupted = false;
    if (::pipe(g_signalPipe) == 0) {
        auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, [&] {
            char byte = 0;
            [[maybe_unused]] const ssize_t got = ::read(g_signalPipe[0], &byte, 1);
            interrupted = true;
            // A job's last news (its tracks, its end) is on its way: its end ends the program.
            const bool running = session->Running() != TDiscSession::Job::None;
            session->Stop();
            if (!running)
                app.exit(1);
        });
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
    }
    const bool terminal = ::isatty(STDERR_FILENO);
    std::map<int, TTrackReport> reports;
    TExtractionPlan plan;
    // A failure to start (the drive) is told, and ends the program: nothing was ripped.
    const auto guarded = [&](const std::function<void()> &start) {
        try {
            start();
        } catch (const std::exception &e) {
            std::fprintf(stderr, "quarle: %s\n", e.what());
        }
    };
    const auto extract = [&] {
        guarded([&] {
            plan = session->Plan(request);
            session->StartExtraction(request);
        });
        if (session->Running() != TDiscSession::Job::Extraction)
            app.exit(1);
    };

    TDiscSession *s = session.get();
    // With several editions on offer, the first is taken, as the window's choice starts on it.
    QObject::connect(s, &TDiscSession::EditionsOffered,
                     [s](const std::vector<DiscEdition> &) { s->AnswerEdition(0); });
    QObject::connect(s, &TDiscSession::LookupEnded, [&](TitleSource source, const QString &failure) {
        std::fprintf(stderr, "%s\n", qPrintable(failure.isEmpty() ? TitleSourceText(source) : failure));
        if (interrupted)
            app.exit(1);
        else
            extract();
    });
    QObject::connect(s, &TDiscSession::OverwriteAsked, [&](const QStringList &files) {
        if (parser.isSet("sostituisci")) {
            s->AnswerOverwrite(Overwrite::Replace);
            return;
        }
        std::fprintf(stderr, "quarle: nella cartella di destinazione ci sono già file con i nomi di questa "
                             "estrazione (--sostituisci li sostituisce):\n");
        for (const QString &file : files)
            std::fprintf(stderr, "  %s\n", qPrintable(file));
        s->AnswerOverwrite(Overwrite::Cancel);
    });
    QObject::connect(s, &TDiscSession::Progress, [&](int, int trackNum, int percent) {
        if (terminal)
            std::fprintf(stderr, "\rTraccia %02d  %3d%%", trackNum, percent);
    });
    QObject::connect(s, &TDiscSession::TrackFinished, [&](const TTrackReport &report) {
        if (terminal)
            std::fprintf(stderr, "\r%*s\r", 20, "");
        reports[report.row] = report;
    });
    QString summary;
    QObject::connect(s, &TDiscSession::TrackVerified, [&](const TTrackReport &report) {
        reports[report.row] = report;
        if (!report.summary.isEmpty())
            summary = report.summary;
    });
    QObject::connect(s, &TDiscSession::LogFailed, [](const QString &message) {
        std::fprintf(stderr, "quarle: %s\n", qPrintable(message));
    });
    QObject::connect(s, &TDiscSession::ExtractionEnded, [&](const TRunReport &report) {
        if (!report.failure.isEmpty())
            std::fprintf(stderr, "quarle: %s\n", qPrintable(report.failure));
        if (!report.logError.isEmpty())
            std::fprintf(stderr, "quarle: %s\n", qPrintable(report.logError));
        if (report.failure.isEmpty())
            summary = report.summary;
        if (interrupted)
            app.exit(1);
    });
    QObject::connect(s, &TDiscSession::ExtractionSettled, [&] { app.exit(0); });

    if (parser.isSet("titoli"))
        guarded([&] { session->StartLookup(request.proxy); });
    else
        extract();
    if (session->Running() != TDiscSession::Job::None || !reports.empty() || interrupted)
        code = app.exec();
    else
        code = 1;
    session->Stop();

    int complete = 0;
    for (const TExtractionRow &row : plan.rows) {
        const auto report = reports.find(row.row);
        if (report == reports.end())
            continue;
        complete += report->second.outcome.kind == TTrackOutcome::Complete ? 1 : 0;
        std::printf("%s  %s\n", qPrintable(QFileInfo(AudioFile(plan, row)).fileName()),
                    qPrintable(report->second.status));
    }
    std::printf("Tracce complete: %d di %d\n", complete, int(request.rows.size()));
    if (!summary.isEmpty())
        std::printf("%s\n", qPrintable(summary));
    std::fflush(stdout);
    return code == 0 && complete == int(request.rows.size()) ? 0 : 1;
}
