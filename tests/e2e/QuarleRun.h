#pragma once

#include <QPoint>
#include <QProcess>
#include <QString>

class XvfbServer;

// One run of the real program on an X display, from its own copy in a folder of the test: the
// settings file "quarle.ini" and the document file "temp" it keeps beside itself are then that
// folder's, never the user's. Driven from outside, as a user would: real pointer clicks and key
// presses through xdotool. A run still going when the object goes is killed.
class QuarleRun
{
public:
    // Copies the program under test into folder. False, with the reason, when it cannot.
    static bool Install(const QString &folder, QString *error);

    QuarleRun(const XvfbServer &display, const QString &folder);
    ~QuarleRun();
    QuarleRun(const QuarleRun &) = delete;
    QuarleRun &operator=(const QuarleRun &) = delete;

    // Starts the copy in the folder with QUARLE_DRIVES set to drives ("" for no drive at all).
    bool Start(const QString &drives, QString *error);

    // The first visible window whose name matches the regular expression, once there is one; empty
    // when the program ended or timeoutMs passed first.
    QString WaitForWindow(const QString &namePattern, int timeoutMs);
    // Waits until the window holds the keyboard focus: from then on the program has its activation
    // before any click that follows. False when the program ended or timeoutMs passed first.
    bool WaitForFocus(const QString &window, int timeoutMs);
    // Whether a visible window whose name matches is there now.
    bool HasWindow(const QString &namePattern) const;
    // Moves the pointer to a point of the window (relative to its top-left corner) and clicks the
    // left button there.
    bool Click(const QString &window, const QPoint &at) const;
    // Presses and releases a key (an X keysym name such as "Return") in the window. True also when
    // the press closed the window, so that the release had nowhere to go.
    bool PressKey(const QString &window, const QString &key) const;

    bool Running() const;
    // Whether an extraction worker of the program is running now (a thread of the program named
    // after its class, as Qt names the threads it starts).
    bool ExtractionThreadRunning() const;
    // Waits, processing this process's events meanwhile, until the program ends. False when it still
    // runs after timeoutMs.
    bool WaitForExit(int timeoutMs);
    // The exit code; -1 when it crashed (a signal) or has not ended.
    int ExitCode() const;
    // What the program wrote on its standard error so far (sanitizer reports included).
    QString ErrorOutput();

private:
    const XvfbServer &m_display;
    QString m_folder;
    QProcess m_process;
    QString m_errorOutput;
};
