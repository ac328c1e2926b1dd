#include <QApplication>
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
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
