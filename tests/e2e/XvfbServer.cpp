#include "XvfbServer.h"

#include <QDeadlineTimer>
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

// Xvfb chooses a free display itself and, once it listens, writes the number to the descriptor that
// -displayfd names (here its standard output): no guessing of free numbers, no race with another
// test starting its own server at the same time.
bool XvfbServer::Start(QString *error)
{
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(QStringLiteral("Xvfb"),
                    {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                     QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                     QStringLiteral("tcp")});
    if (!m_process.waitForStarted(10000)) {
        *error = QStringLiteral("Xvfb does not start: ") + m_process.errorString();
        return false;
    }
    QByteArray announced;
    const QDeadlineTimer deadline(30000);
    while (!announced.contains('\n') && !deadline.hasExpired()) {
        if (m_process.state() == QProcess::NotRunning)
            break;
        m_process.waitForReadyRead(200);
        announced += m_process.readAllStandardOutput();
    }
    const QByteArray number = announced.trimmed();
    bool numeric = false;
    number.toUInt(&numeric);
    if (!numeric) {
        *error = QStringLiteral("Xvfb named no display: ") +
                 QString::fromLocal8Bit(announced + m_process.readAllStandardError());
        return false;
    }
    m_display = QStringLiteral(":") + QString::fromLatin1(number);

    // The announcement comes once it listens; a client's answer confirms it serves.
    while (!deadline.hasExpired()) {
        if (Run(QStringLiteral("xdotool"), {QStringLiteral("getdisplaygeometry")}, 5000))
            return true;
        QThread::msleep(100);
    }
    *error = QStringLiteral("Xvfb on ") + m_display + QStringLiteral(" does not answer");
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
