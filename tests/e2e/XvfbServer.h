#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <optional>

// A private X server (Xvfb) for the program under test, on a free display number from :90 up, and
// the X client tools that drive it (xdotool, import). Stopped when the object goes.
class XvfbServer
{
public:
    // The tools the end-to-end tests cannot run without that are not installed, empty when all are.
    static QStringList MissingTools();

    XvfbServer() = default;
    ~XvfbServer();
    XvfbServer(const XvfbServer &) = delete;
    XvfbServer &operator=(const XvfbServer &) = delete;

    // Starts the server and waits until it accepts clients. False, with the reason, when it does not.
    bool Start(QString *error);
    // ":N"
    QString Display() const { return m_display; }

    // Runs an X client program on this display to its end: its standard output, or nothing when it
    // failed, exited with an error or ran longer than timeoutMs.
    std::optional<QString> Run(const QString &program, const QStringList &arguments,
                               int timeoutMs = 15000) const;
    // The whole screen as an image file (the format follows the file's extension).
    bool Screenshot(const QString &path) const;

private:
    bool StartOn(int number, QString *log);

    QProcess m_process;
    QString m_display;
};
