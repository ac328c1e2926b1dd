#include "app/MainForm.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QThreadPool>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
#if defined(__SANITIZE_THREAD__)
    // Qt paints large areas on the global thread pool, whose threads hand each other its queue under
    // Qt's own lock: ThreadSanitizer, blind to that lock, reports it in Qt's unsymbolized code, where
    // no suppression can name it. One pool thread has no one to hand the queue to.
    QThreadPool::globalInstance()->setMaxThreadCount(1);
#endif
    // The window keeps "quarle.ini" and "temp" in the program's folder: give each test run its own.
    QTemporaryDir programDir;
    TDlgMainForm::programDir = [path = programDir.path()] { return path; };
    // An extraction asks the AccurateRip database: through a proxy of the test's own, never out on
    // the network.
    TDlgMainForm::fetchAccurateRipFile = [](THttpCli &http, const ProxySettings &proxy, const QString &url,
                                            qint64 maxBytes) {
        return proxy.host.isEmpty() ? TFetchedFile() : FetchFile(http, proxy, url, maxBytes);
    };
    // "Aggiorna" asks MusicBrainz: a test that wants an answer gives its own.
    TDlgMainForm::fetchMusicBrainz = [](THttpCli &, const ProxySettings &, const QString &) {
        return TFetchedFile();
    };
    // A test that meets the question about files already there answers it itself.
    TDlgMainForm::askOverwrite = [](QWidget *, const QStringList &files) {
        ADD_FAILURE() << "unexpected question about " << files.join(", ").toStdString();
        return TDlgMainForm::Overwrite::Cancel;
    };
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
