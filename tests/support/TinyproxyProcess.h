#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real tinyproxy on 127.0.0.1 with Basic authentication, in the foreground, with its own
// configuration in a temporary folder. Stopped when the object goes.
class TinyproxyProcess
{
public:
    static QString Program();
    static bool Available();

    TinyproxyProcess() = default;
    ~TinyproxyProcess();
    TinyproxyProcess(const TinyproxyProcess &) = delete;
    TinyproxyProcess &operator=(const TinyproxyProcess &) = delete;

    // Starts it and waits until it accepts connections; false (see Log()) when it does not.
    bool Start(const QString &user, const QString &password);
    quint16 port() const { return port_; }
    QString Log();

private:
    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_ = 0;
    QString log_;
};
