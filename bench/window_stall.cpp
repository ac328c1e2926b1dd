// quarle-bench-window: figures of the window, which need its thread and its event loop.
//   quarle-bench-window [--quick] [WORKDIR]
// The window runs on Qt's offscreen platform. (e) The longest stall of the window's thread while an MP3
// extraction runs; (o) while a disc lookup waits 5 s for its server, and while a batch conversion of a
// 10-minute WAV runs; (p) the command line's rip of a 10-minute track to MP3 against the window's.
#include "DiscImage.h"
#include "InterleavedRuns.h"
#include "Report.h"
#include "app/MainForm.h"
#include "app/MainFormUi.h"
#include "disc/WavHeader.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace
{

// The longest time, in ms, that the window's thread went without handling an event from `start` until
// `running` says no more: a 5 ms timer ticks on the thread, and the longest gap between two ticks less
// those 5 ms is time the thread did not answer.
double longestStall(QApplication &app, const std::function<void()> &start,
                    const std::function<bool()> &running)
{
    QElapsedTimer clock;
    qint64 last = 0, longest = 0;
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    start();
    clock.start();
    tick.start();
    while (running())
        app.processEvents(QEventLoop::WaitForMoreEvents, 50);
    tick.stop();
    return std::max(0.0, double(longest) / 1e6 - 5.0);
}

// Each run writes into a folder of its own; a question (files there, a close during a run) would wait
// for an answer that no one gives here, so it is answered at once. The files to convert are the benchmark's.
struct Answers : TDialogPrompts {
    QStringList wavFiles;
    Overwrite AskOverwrite(QWidget *, const QStringList &) override { return Overwrite::Replace; }
    bool AskInterrupt(QWidget *) override { return true; }
    QStringList ChooseWavFiles(QWidget *) override { return wavFiles; }
};

// A window as the program opens it, on drive D, ripping into a folder of its own below `work`.
struct Window {
    std::unique_ptr<TDlgMainForm> form;
    QTemporaryDir out;

    Window(const QString &work, const TDiscSession::Services &services, Answers &answers)
        : form(TDlgMainForm::CreateMainForm(services, &answers)), out(work + "/run-XXXXXX")
    {
        if (!form)
            std::exit(1);
        form->show();
        form->ActivateOnce();
        form->ui->dir->setText(out.path() + "/");
    }
    bool Busy() const { return form->Session().Running() != TDiscSession::Job::None; }
};

// Answers every connection with an empty list of releases, `delayMs` after it came.
class SlowServer : public QTcpServer
{
public:
    explicit SlowServer(int delayMs) : m_delay(delayMs)
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                QTimer::singleShot(m_delay, socket, [socket] {
                    const QByteArray body = "{\"releases\":[]}";
                    socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: " +
                                  QByteArray::number(body.size()) + "\r\n\r\n" + body);
                    socket->disconnectFromHost();
                });
            }
        });
    }

private:
    int m_delay;
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int runs = 5;
    if (args.value(0) == "--quick") {
        runs = 3;
        args.removeFirst();
    }
    QTemporaryDir temp;
    const QString work = args.isEmpty() ? temp.path() : args[0];
    QElapsedTimer total;
    total.start();
    const QString base = work + "/ten";
    if (!QFile::exists(base + ".cue")) {
        QString error;
        if (!writeDiscImage(base, {DiscTrack::music(10 * 60 * 75, 220)}, nullptr, &error)) {
            std::fprintf(stderr, "cannot write the image: %s\n", qPrintable(error));
            return 1;
        }
    }
    qputenv("QUARLE_DRIVES", ("D=" + base + ".cue").toLocal8Bit());
    QTemporaryDir programDir;
    TDiscSession::Services services;
    services.programDir = [path = programDir.path()] { return path; };
    // The AccurateRip fetch, which goes beside the rip, is not what (e) measures: it stays on this machine.
    services.fetchAccurateRipFile = [](THttpCli &, const ProxySettings &, const QString &, qint64) {
        return TFetchedFile();
    };
    Answers answers;

    // Each figure of the window is measured on fresh windows: a stall with longestStall(), a comparison
    // of two ways of doing one thing with InterleavedRuns (medianRatio()), as in quarle-bench.
    measure("e", [&] {
        std::vector<double> stalls;
        for (int run = 0; run < runs; ++run) {
            Window window(work, services, answers);
            stalls.push_back(longestStall(
                app, [&] { window.form->BtnExtraireClick(); }, [&] { return window.Busy(); }));
        }
        const Spread stall = Spread::of(stalls);
        report("(e) longest stall of the window's thread, MP3 extraction", stall, "ms", "< 50",
               stall.median < 50, 1);
    });

    measure("o", [&] {
        // MusicBrainz answers after 5 s; the CDDB server is asked through a proxy that refuses at once.
        SlowServer slow(5000);
        QFile servers(programDir.filePath("quarle-servers.ini"));
        if (!servers.open(QIODevice::WriteOnly) ||
            servers.write("MusicBrainz=http://127.0.0.1:" + QByteArray::number(slow.serverPort()) + "\n") < 0)
            std::exit(1);
        servers.close();
        TDiscSession::Services direct = services;
        direct.fetchMusicBrainz = [](THttpCli &http, const ProxySettings &, const QString &url) {
            return TLookupRun::DefaultFetch(http, {}, url);
        };
        std::vector<double> stalls;
        for (int run = 0; run < 3; ++run) {
            Window window(work, direct, answers);
            window.form->ui->ProxyHostEdit->setText("127.0.0.1");
            window.form->ui->ProxyPortEdit->setText("1");
            stalls.push_back(longestStall(
                app, [&] { window.form->ui->dxButton1->click(); }, [&] { return window.Busy(); }));
        }
        QFile::remove(servers.fileName());
        const Spread lookup = Spread::of(stalls);
        report("(o) longest stall of the window's thread, lookup answered after 5 s", lookup, "ms", "< 50",
               lookup.median < 50, 1);

        // The image's ten minutes as a WAV file.
        const QString wav = work + "/ten.wav";
        QFile bin(base + ".bin"), out(wav);
        if (!bin.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
            std::exit(1);
        const WavHeader header =
            MakeWavHeader(sampleFormatOf(TOutputFormat::STEREO44100), uint32_t(bin.size()));
        out.write(reinterpret_cast<const char *>(header.data()), qint64(header.size()));
        out.write(bin.readAll());
        out.close();
        answers.wavFiles = {wav};
        stalls.clear();
        for (int run = 0; run < 3; ++run) {
            Window window(work, services, answers);
            window.form->BtnChoisirFichierWavClick();
            stalls.push_back(longestStall(
                app, [&] { window.form->ui->BtnConvertWav->click(); }, [&] { return window.Busy(); }));
        }
        const Spread conversion = Spread::of(stalls);
        report("(o) longest stall of the window's thread, conversion of 10 minutes", conversion, "ms", "< 50",
               conversion.median < 50, 1);
    });

    measure("p", [&] {
        // Both sides start from nothing (a new session reads the drive) and end when the verdicts are in;
        // the AccurateRip database is asked through a proxy that refuses at once, on both sides.
        QTemporaryDir bin;
        const QString program = bin.filePath("quarle");
        QFile settings(bin.filePath("quarle.ini"));
        if (!QFile::copy(QUARLE_PROGRAM, program) || !settings.open(QIODevice::WriteOnly) ||
            settings.write(
                "//quarle ini file. non modificare\r\n[destination dir]\r\n\r\n[extraction]\r\n0\r\n"
                "[codec MP3]\r\n0\r\n4\r\n0\r\n0\r\n0\r\n[proxy]\r\n127.0.0.1\r\n1\r\n\r\n\r\n") < 0)
            std::exit(1);
        settings.close();
        TDiscSession::Services network = services;
        network.fetchAccurateRipFile = FetchFile;
        QTemporaryDir cliOut(work + "/cli-XXXXXX");
        const auto commandLine = [&] {
            QProcess::execute(program,
                              {"--estrai", "--formato", "mp3", "--cartella", cliOut.path(), "--sostituisci"});
        };
        const auto window = [&] {
            Window w(work, network, answers);
            w.form->ui->RGroupFormatExtractionMP3->click();
            w.form->ui->ProxyHostEdit->setText("127.0.0.1");
            w.form->ui->ProxyPortEdit->setText("1");
            bool settled = false;
            QObject::connect(&w.form->Session(), &TDiscSession::ExtractionSettled, [&] { settled = true; });
            w.form->BtnExtraireClick();
            while (!settled)
                app.processEvents(QEventLoop::WaitForMoreEvents, 50);
        };
        const Spread ratio = medianRatio(runs, commandLine, window, &Times::wall);
        report("(p) command-line rip of 10 minutes to MP3 / the window's, wall", ratio, "x", "<= 1.01",
               ratio.median <= 1.01);
    });

    std::printf("quarle-bench-window: %.0f s\n", double(total.elapsed()) / 1000);
    return 0;
}
