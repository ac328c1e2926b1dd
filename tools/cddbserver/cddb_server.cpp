// quarle-cddb-server: a CDDB server over HTTP on 127.0.0.1 for the demo disc, so that a lookup names
// the tracks without the real database.
//   quarle-cddb-server [--port N] [--port-file F] [--category C] [--accuraterip CUEFILE] [--ctdb CUEFILE]
//   [--musicbrainz CUEFILE] DISCFILE...
//       serves the xmcd entries DISCFILE... (UTF-8 text) under category C ("misc" if not given);
//       prints "listening on 127.0.0.1:PORT" and writes PORT to F once it listens. With
//       --accuraterip it also answers, as a proxy for www.accuraterip.com would, the request for
//       the disc image's AccurateRip file, made from the image's own audio; with --ctdb, likewise, the
//       CUETools database's lookup of the disc image (whatever its query). With --musicbrainz it
//       answers, at the path MusicBrainz's web service has, the disc id lookup of the disc image with
//       the first entry's titles, and the release's front cover (point the program at it with
//       "MusicBrainz=" and "CoverArt=" lines).
//   quarle-cddb-server --disc-id CUEFILE
//       prints the head of an xmcd entry for the disc image (frame offsets, length, DISCID line),
//       computed the way the program computes it for a lookup.
#include "AccurateRipDemo.h"
#include "CddbDemoDatabase.h"
#include "CddbDemoServer.h"
#include "MusicBrainzDemo.h"

#include "lookup/CDInfo.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>

namespace
{

int Usage(const char *program)
{
    std::fprintf(stderr,
                 "usage: %s [--port N] [--port-file F] [--category C] [--accuraterip CUEFILE]\n"
                 "          [--ctdb CUEFILE] [--musicbrainz CUEFILE] DISCFILE...\n"
                 "       %s --disc-id CUEFILE\n",
                 program, program);
    return 2;
}

// The disc image as drive D of the drive-letter table, read through the CD audio device, as a lookup
// reads a disc.
int PrintDiscId(const QString &cuePath)
{
    const QString path = QFileInfo(cuePath).absoluteFilePath();
    if (!QFileInfo(path).isFile() || path.contains(QLatin1Char(';'))) {
        std::fprintf(stderr, "quarle-cddb-server: no disc image at \"%s\"\n", qPrintable(path));
        return 1;
    }
    qputenv("QUARLE_DRIVES", ("D=" + path).toLocal8Bit());
    try {
        TCDInfo info;
        info.Open('D');
        const uint32_t tracks = info.GetNumberOfTracks();
        std::printf("# xmcd\n#\n# Track frame offsets:\n");
        for (uint32_t track = 1; track <= tracks; ++track)
            std::printf("#\t%u\n", TCDInfo::MsfToFrames(info.GetTrackPosition(track)));
        const uint32_t leadOut = TCDInfo::MsfToFrames(info.GetTrackPosition(tracks)) +
                                 TCDInfo::MsfToFrames(info.GetTrackLength(tracks)) + 1;
        std::printf("#\n# Disc length: %u seconds\n#\n", leadOut / 75);
        std::printf("DISCID=%s\n", qPrintable(info.GetDiscIdText()));
        info.Close();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "quarle-cddb-server: %s: %s\n", qPrintable(path), e.what());
        return 1;
    }
    return 0;
}

// For the log: one line, no control characters from the network.
QString Printable(QString text)
{
    for (QChar &c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char('?');
    }
    return text;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const char *program = "quarle-cddb-server";

    if (args.value(0) == QLatin1String("--disc-id")) {
        if (args.size() != 2)
            return Usage(program);
        return PrintDiscId(args[1]);
    }

    quint16 port = 0;
    QString portFile;
    QString category = QStringLiteral("misc");
    QStringList discFiles;
    QString accurateRipImage;
    QString musicBrainzImage;
    QString ctdbImage;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == QLatin1String("--port") && hasValue) {
            bool ok = false;
            const uint value = args[++i].toUInt(&ok);
            if (!ok || value > 65535)
                return Usage(program);
            port = quint16(value);
        } else if (arg == QLatin1String("--port-file") && hasValue) {
            portFile = args[++i];
        } else if (arg == QLatin1String("--category") && hasValue) {
            category = args[++i];
        } else if (arg == QLatin1String("--accuraterip") && hasValue) {
            accurateRipImage = args[++i];
        } else if (arg == QLatin1String("--ctdb") && hasValue) {
            ctdbImage = args[++i];
        } else if (arg == QLatin1String("--musicbrainz") && hasValue) {
            musicBrainzImage = args[++i];
        } else if (arg.startsWith(QLatin1String("--"))) {
            return Usage(program);
        } else {
            discFiles.append(arg);
        }
    }
    if (discFiles.isEmpty())
        return Usage(program);

    CddbDemoDatabase database;
    for (const QString &file : discFiles) {
        QString error;
        if (!database.AddFile(category, file, &error)) {
            std::fprintf(stderr, "%s: %s: %s\n", program, qPrintable(file), qPrintable(error));
            return 1;
        }
    }

    CddbDemoServer server(database);
    if (!accurateRipImage.isEmpty()) {
        QString error;
        const std::optional<AccurateRipDemoFile> file = MakeAccurateRipDemoFile(accurateRipImage, &error);
        if (!file) {
            std::fprintf(stderr, "%s: %s: %s\n", program, qPrintable(accurateRipImage), qPrintable(error));
            return 1;
        }
        server.AddDocument(file->path, file->bytes);
        std::fprintf(stderr, "AccurateRip file of the disc at http://www.accuraterip.com%s\n",
                     file->path.constData());
    }
    if (!ctdbImage.isEmpty()) {
        QString error;
        const std::optional<AccurateRipDemoFile> answer = MakeCtdbDemoAnswer(ctdbImage, &error);
        if (!answer) {
            std::fprintf(stderr, "%s: %s: %s\n", program, qPrintable(ctdbImage), qPrintable(error));
            return 1;
        }
        server.AddDocument(answer->path, answer->bytes);
        std::fprintf(stderr, "CTDB answer for the disc at http://db.cuetools.net%s\n",
                     answer->path.constData());
    }
    if (!musicBrainzImage.isEmpty()) {
        QString error;
        const auto answer = MakeMusicBrainzDemoAnswer(musicBrainzImage, database.Entries().front(), &error);
        if (!answer) {
            std::fprintf(stderr, "%s: %s: %s\n", program, qPrintable(musicBrainzImage), qPrintable(error));
            return 1;
        }
        server.AddDocument(answer->path, answer->bytes);
        server.AddDocument(answer->coverPath, answer->cover);
        std::fprintf(stderr, "MusicBrainz answer for the disc at %s\n", answer->path.constData());
    }
    QString error;
    if (!server.Listen(port, &error)) {
        std::fprintf(stderr, "%s: cannot listen on 127.0.0.1:%u: %s\n", program, unsigned(port),
                     qPrintable(error));
        return 1;
    }
    server.OnReply = [](QObject *, int connection, const CddbHttpExchange::Reply &reply) {
        const qsizetype body = reply.bytes.indexOf("\r\n\r\n") + 4;
        const QByteArray firstLine = reply.bytes.mid(body, reply.bytes.indexOf("\r\n", body) - body);
        std::fprintf(
            stderr, "[%d] %s -> HTTP %d, %s\n", connection,
            qPrintable(Printable(reply.command.isEmpty() ? QStringLiteral("(no command)") : reply.command)),
            reply.status, qPrintable(Printable(QString::fromLatin1(firstLine))));
    };
    std::printf("listening on 127.0.0.1:%u\n", unsigned(server.Port()));
    std::fflush(stdout);
    if (!portFile.isEmpty()) {
        QSaveFile file(portFile);
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray::number(server.Port()) + "\n") < 0 ||
            !file.commit()) {
            std::fprintf(stderr, "%s: cannot write %s: %s\n", program, qPrintable(portFile),
                         qPrintable(file.errorString()));
            return 1;
        }
    }
    return app.exec();
}
