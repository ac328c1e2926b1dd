#pragma once

#include "QuarleRun.h"
#include "XvfbServer.h"

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

class FormLayout;

// The settings file's values, as the tests write them before a start and expect them after a close.
struct IniValues {
    QString dir = QString();
    QString format = "0";
    QString sampleRate = "0", bitRate = "4", maxBitRate = "0", mode = "0", quality = "0";
    QString proxyHost = QString(), proxyPort = QString(), proxyUser = QString(), proxyPassword = QString();
};

// An X display of the test's own and a folder holding a copy of the program, for runs of the real
// program driven through real clicks. Skips when Xvfb or xdotool is not installed.
class EndToEnd : public ::testing::Test
{
protected:
    // The main window's name: three spaces, "> QUARLE <" and the application's name after it.
    static const QString MainWindowName;
    static constexpr int LongWaitMs = 60000;

    void SetUp() override;

    QString ProgramFolder() const { return m_programFolder.path(); }
    const XvfbServer &Display() const { return m_display; }

    // The 16 CR LF lines of "quarle.ini" in Latin-1.
    static QByteArray IniBytes(const IniValues &values);
    void WriteIni(const IniValues &values) const;
    QByteArray ReadIni() const;

    // Starts the program on drives and waits until its main window is up and has the focus (its X
    // window id goes to *window).
    testing::AssertionResult Launch(std::unique_ptr<QuarleRun> &run, const QString &drives, QString *window);
    // Closes the main window with the caption bar's close button and waits for a clean exit (code 0,
    // so no sanitizer report either).
    testing::AssertionResult CloseWithButton(QuarleRun &run, const QString &window, const FormLayout &layout);
    // Waits until every file of names is in folder, the extraction worker has ended and the sizes
    // have stopped changing.
    testing::AssertionResult WaitForExtraction(QuarleRun &run, const QDir &folder, const QStringList &names);
    // A screenshot of the display: into $QUARLE_E2E_SHOTS when that names a folder (to look at after
    // the run), else into the program's folder.
    QString Screenshot(const QString &name) const;

private:
    XvfbServer m_display;
    QTemporaryDir m_programFolder;
};
