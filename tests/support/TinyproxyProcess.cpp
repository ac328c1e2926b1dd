#include "TinyproxyProcess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace
{

quint16 FreePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

QString TinyproxyProcess::Program()
{
    const QString found = QStandardPaths::findExecutable(QStringLiteral("tinyproxy"));
    if (!found.isEmpty())
        return found;
    return QFile::exists(QStringLiteral("/usr/bin/tinyproxy")) ? QStringLiteral("/usr/bin/tinyproxy")
                                                               : QString();
}

bool TinyproxyProcess::Available()
{
    return !Program().isEmpty();
}

TinyproxyProcess::~TinyproxyProcess()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

bool TinyproxyProcess::Start(const QString &user, const QString &password)
{
    if (!dir_.isValid() || !Available())
        return false;
    port_ = FreePort();
    const QString confPath = dir_.filePath(QStringLiteral("tinyproxy.conf"));
    QFile conf(confPath);
    if (!conf.open(QIODevice::WriteOnly))
        return false;
    conf.write(QStringLiteral("Port %1\n"
                              "Listen 127.0.0.1\n"
                              "Timeout 30\n"
                              "MaxClients 20\n"
                              "Allow 127.0.0.1\n"
                              "BasicAuth %2 %3\n"
                              "LogLevel Info\n")
                   .arg(port_)
                   .arg(user, password)
                   .toLatin1());
    conf.close();

    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(Program(), {QStringLiteral("-d"), QStringLiteral("-c"), confPath});
    if (!process_.waitForStarted(5000))
        return false;

    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (process_.state() == QProcess::NotRunning)
            return false;
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port_);
        if (probe.waitForConnected(200)) {
            probe.abort();
            return true;
        }
        QThread::msleep(50);
    }
    return false;
}

QString TinyproxyProcess::Log()
{
    log_ += QString::fromLocal8Bit(process_.readAll());
    return log_;
}
