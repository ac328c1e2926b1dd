#include "QuarleRun.h"

#include "XvfbServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTest>

bool QuarleRun::Install(const QString &folder, QString *error)
{
    const QString target = QDir(folder).filePath(QStringLiteral("quarle"));
    QFile::remove(target);
    QFile program(QStringLiteral(QUARLE_PROGRAM));
    if (!program.copy(target)) {
        *error = QStringLiteral("cannot copy " QUARLE_PROGRAM " to ") + target + QStringLiteral(": ") +
                 program.errorString();
        return false;
    }
    return true;
}

QuarleRun::QuarleRun(const XvfbServer &display, const QString &folder) : m_display(display), m_folder(folder)
{
}

QuarleRun::~QuarleRun()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(10000);
}

bool QuarleRun::Start(const QString &drives, QString *error)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display.Display());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("QUARLE_DRIVES"), drives);
    // The layout of the window the clicks aim at is the one of an unscaled screen.
    for (const char *scaling : {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_ENABLE_HIGHDPI_SCALING",
                                "QT_FONT_DPI", "QT_STYLE_OVERRIDE", "QT_QPA_PLATFORMTHEME"})
        environment.remove(QString::fromLatin1(scaling));
    const QString runtime = QDir(m_folder).filePath(QStringLiteral("run"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    // A sanitized build reports leaks at exit; those of system libraries are suppressed as the test
    // script does, so that what remains (and fails the exit code) is the program's own.
    if (!environment.contains(QStringLiteral("LSAN_OPTIONS")))
        environment.insert(QStringLiteral("LSAN_OPTIONS"),
                           QStringLiteral("suppressions=" QUARLE_LSAN_SUPPRESSIONS ":print_suppressions=0"));
    m_process.setProcessEnvironment(environment);
    m_process.setWorkingDirectory(m_folder);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.start(QDir(m_folder).filePath(QStringLiteral("quarle")), {});
    if (!m_process.waitForStarted(10000)) {
        *error = QStringLiteral("the program does not start: ") + m_process.errorString();
        return false;
    }
    return true;
}

bool QuarleRun::HasWindow(const QString &namePattern) const
{
    const auto found =
        m_display.Run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                  QStringLiteral("--name"), namePattern});
    return found && !found->trimmed().isEmpty();
}

QString QuarleRun::WaitForWindow(const QString &namePattern, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        const auto found = m_display.Run(QStringLiteral("xdotool"),
                                         {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                          QStringLiteral("--name"), namePattern});
        if (found && !found->trimmed().isEmpty())
            return found->trimmed().section(QLatin1Char('\n'), 0, 0);
        if (!Running())
            return {};
        QTest::qWait(100);
    }
    return {};
}

// The server queues the focus change before any input sent after it, so the window's activation work
// (the drive's tracks as rows) is done before the program sees the next click.
bool QuarleRun::WaitForFocus(const QString &window, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired() && Running()) {
        const auto focus = m_display.Run(QStringLiteral("xdotool"),
                                         {QStringLiteral("getwindowfocus"), QStringLiteral("-f")});
        if (focus && focus->trimmed() == window)
            return true;
        QTest::qWait(50);
    }
    return false;
}

bool QuarleRun::Click(const QString &window, const QPoint &at) const
{
    return m_display
        .Run(QStringLiteral("xdotool"),
             {QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(at.x()),
              QString::number(at.y()), QStringLiteral("sleep"), QStringLiteral("0.1"),
              QStringLiteral("click"), QStringLiteral("1")})
        .has_value();
}

// A key that closes the window (Return on a message box) takes it away before its release is sent,
// and xdotool then fails on the release: the press has done its work all the same.
bool QuarleRun::PressKey(const QString &window, const QString &key) const
{
    if (m_display.Run(QStringLiteral("xdotool"),
                      {QStringLiteral("key"), QStringLiteral("--window"), window, key}))
        return true;
    return !m_display.Run(QStringLiteral("xdotool"), {QStringLiteral("getwindowname"), window}).has_value();
}

bool QuarleRun::Running() const
{
    return m_process.state() != QProcess::NotRunning;
}

// Qt names a thread it starts after its object's name or, without one, its class as Qt knows it:
// the extraction worker is a plain QThread to it, and the only one the program starts.
bool QuarleRun::ExtractionThreadRunning() const
{
    const qint64 pid = m_process.processId();
    if (pid <= 0)
        return false;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "QThread")
            return true;
    }
    return false;
}

bool QuarleRun::WaitForExit(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (Running() && !deadline.hasExpired()) {
        QTest::qWait(50);
        m_errorOutput += QString::fromLocal8Bit(m_process.readAllStandardError());
    }
    return !Running();
}

int QuarleRun::ExitCode() const
{
    if (Running() || m_process.exitStatus() != QProcess::NormalExit)
        return -1;
    return m_process.exitCode();
}

QString QuarleRun::ErrorOutput()
{
    m_errorOutput += QString::fromLocal8Bit(m_process.readAllStandardError());
    return m_errorOutput;
}
