#include "XvfbServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QThread>

QStringList XvfbServer::MissingTools()
{
    QStringList missing;
    for (const char *tool : {"Xvfb", "xdotool"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            missing << QString::fromLatin1(tool);
    }
    return missing;
}

XvfbServer::~XvfbServer()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

// A display number is taken only when neither its lock file nor its socket is there, so a server
// that is still shutting down keeps its number. Two tests that pick the same number meet at the
// lock: the loser exits at once and the next number is tried. -displayfd tells when the server
// listens. Without -noreset the server resets whenever its last client leaves (each xdotool call is
// one), and a client that connects during the reset is turned away.
bool XvfbServer::Start(QString *error)
{
    const int first = 90 + int(QCoreApplication::applicationPid() % 100);
    QString log;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int number = 90 + (first - 90 + attempt) % 200;
        if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)) ||
            QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)))
            continue;
        if (StartOn(number, &log))
            return true;
    }
    *error = QStringLiteral("no Xvfb display could be started:\n") + log;
    return false;
}

bool XvfbServer::StartOn(int number, QString *log)
{
    const QString display = QStringLiteral(":%1").arg(number);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(QStringLiteral("Xvfb"),
                    {display, QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                     QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                     QStringLiteral("tcp"), QStringLiteral("-noreset")});
    if (!m_process.waitForStarted(10000)) {
        *log += display + QStringLiteral(": ") + m_process.errorString() + QStringLiteral("\n");
        return false;
    }
    QByteArray announced;
    const QDeadlineTimer deadline(30000);
    while (!announced.contains('\n') && m_process.state() == QProcess::Running && !deadline.hasExpired()) {
        m_process.waitForReadyRead(200);
        announced += m_process.readAllStandardOutput();
    }
    if (announced.trimmed() == QByteArray::number(number)) {
        m_display = display;
        // The announcement comes once it listens; a client's answer confirms it serves.
        while (m_process.state() == QProcess::Running && !deadline.hasExpired()) {
            if (Run(QStringLiteral("xdotool"), {QStringLiteral("getdisplaygeometry")}, 5000))
                return true;
            QThread::msleep(100);
        }
    }
    m_process.kill();
    m_process.waitForFinished(5000);
    *log += display + QStringLiteral(": ") +
            QString::fromLocal8Bit(m_process.readAllStandardError()).trimmed() + QStringLiteral("\n");
    m_display.clear();
    return false;
}

std::optional<QString> XvfbServer::Run(const QString &program, const QStringList &arguments,
                                       int timeoutMs) const
{
    QProcess client;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    environment.remove(QStringLiteral("XAUTHORITY"));
    client.setProcessEnvironment(environment);
    client.start(program, arguments);
    if (!client.waitForFinished(timeoutMs)) {
        client.kill();
        client.waitForFinished(2000);
        return std::nullopt;
    }
    if (client.exitStatus() != QProcess::NormalExit || client.exitCode() != 0)
        return std::nullopt;
    return QString::fromLocal8Bit(client.readAllStandardOutput());
}

bool XvfbServer::Screenshot(const QString &path) const
{
    if (!QStandardPaths::findExecutable(QStringLiteral("import")).isEmpty())
        return Run(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), path}, 30000)
            .has_value();
    return Run(QStringLiteral("xwd"),
               {QStringLiteral("-root"), QStringLiteral("-silent"), QStringLiteral("-out"), path}, 30000)
        .has_value();
}
