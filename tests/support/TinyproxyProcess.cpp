#include "TinyproxyProcess.h"

#include <QTcpServer>
#include <QTcpSocket>

bool TinyproxyProcess::Start(const QString &user, const QString &password)
{
    port_ = [] { // a free port
        QTcpServer probe;
        return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : quint16(0);
    }();
    QFile conf(dir_.filePath("tinyproxy.conf"));
    const QString text =
        "Port %1\nListen 127.0.0.1\nTimeout 30\nAllow 127.0.0.1\nBasicAuth %2 %3\nLogLevel Info\n";
    if (!conf.open(QIODevice::WriteOnly) || conf.write(text.arg(port_).arg(user, password).toLatin1()) <= 0)
        return false;
    conf.close();
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start("tinyproxy", {"-d", "-c", conf.fileName()});
    for (int attempt = 0; attempt < 40 && process_.waitForStarted(5000); ++attempt) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port_);
        if (probe.waitForConnected(200))
            return true;
        process_.waitForFinished(50);
    }
    return false;
}
