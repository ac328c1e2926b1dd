// quarle-bench-window: figures of the window, which need its thread and its event loop.
//   quarle-bench-window [--quick] [WORKDIR]
// The window runs on Qt's offscreen platform. (e) The longest stall of the window's thread while an MP3
// extraction runs.
#include "DiscImage.h"
#include "InterleavedRuns.h"
#include "Report.h"
#include "app/MainForm.h"
#include "app/MainFormUi.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
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

// A window as the program opens it, on drive D, ripping into a folder of its own below `work`.
struct Window {
    std::unique_ptr<TDlgMainForm> form = TDlgMainForm::CreateMainForm();
    QTemporaryDir out;

    explicit Window(const QString &work) : out(work + "/run-XXXXXX")
    {
        if (!form)
            std::exit(1);
        form->show();
        form->ActivateOnce();
        form->ui->dir->setText(out.path() + "/");
    }
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
    TDlgMainForm::programDir = [path = programDir.path()] { return path; };
    // The AccurateRip fetch, which goes beside the rip, is not what is measured: it stays on this machine.
    TDlgMainForm::fetchAccurateRipFile = [](THttpCli &, const ProxySettings &, const QString &, qint64) {
        return TFetchedFile();
    };
    // Each run writes into a folder of its own; a question about files there would wait for an answer
    // that no one gives here, so it is answered at once.
    TDlgMainForm::askOverwrite = [](QWidget *, const QStringList &) {
        return TDlgMainForm::Overwrite::Replace;
    };

    // Each figure of the window is measured on fresh windows: a stall with longestStall(), a comparison
    // of two ways of doing one thing with InterleavedRuns (medianRatio()), as in quarle-bench. The stalls
    // of a disc lookup and of a batch conversion (o), and the command line's rip against the window's (p),
    // go below (e) in the same way.
    measure("e", [&] {
        std::vector<double> stalls;
        for (int run = 0; run < runs; ++run) {
            Window window(work);
            stalls.push_back(longestStall(
                app, [&] { window.form->BtnExtraireClick(); },
                [&] { return window.form->ExtractionRunning(); }));
        }
        const Spread stall = Spread::of(stalls);
        report("(e) longest stall of the window's thread, MP3 extraction", stall, "ms", "< 50",
               stall.median < 50, 1);
    });

    std::printf("quarle-bench-window: %.0f s\n", double(total.elapsed()) / 1000);
    return 0;
}
