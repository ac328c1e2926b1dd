#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

// A real tinyproxy on 127.0.0.1 with Basic authentication, in the foreground, with its own
// configuration in a temporary folder. Killed when the object goes.
class TinyproxyProcess
{
public:
    static bool Available() { return !QStandardPaths::findExecutable("tinyproxy").isEmpty(); }
    // Starts it and waits until it accepts connections; false (see Log()) when it does not.
    bool Start(const QString &user, const QString &password);
    quint16 port() const { return port_; }
    QString Log() { return log_ += QString::fromLocal8Bit(process_.readAll()); }

private:
    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_ = 0;
    QString log_;
};
