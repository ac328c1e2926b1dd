#pragma once

#include <QDir>
#include <QPoint>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

class TDlgMainForm;

// The values of "quarle.ini", as a test writes them before a start and expects them after a close.
struct IniValues {
    QString dir = {}, format = "0", sampleRate = "0", bitRate = "4", maxBitRate = "0", mode = "0",
            quality = "0";
    QString proxyHost = {}, proxyPort = {}, proxyUser = {}, proxyPassword = {};
};

// The real program, copied into a folder of the test (so "quarle.ini" and "temp" beside it are the
// folder's, never the user's), run on a private Xvfb display and driven through xdotool with real
// clicks and key presses. Skips when Xvfb or xdotool is not installed.
class EndToEnd : public ::testing::Test
{
protected:
    static constexpr int LongWaitMs = 60000;
    static const QString MainWindow; // the main window's name, as a pattern

    EndToEnd();
    ~EndToEnd() override;
    void SetUp() override;

    QString Folder() const { return m_folder.path(); }
    static QByteArray IniBytes(const IniValues &values); // 16 CR LF lines in Latin-1
    void WriteIni(const IniValues &values) const;
    QByteArray ReadIni() const;

    // Starts the program with QUARLE_DRIVES set to drives ("" for none).
    testing::AssertionResult Start(const QString &drives);
    // Start, then wait until the main window is up and has the focus: from then on the window's
    // activation (the rows) is done before any click is seen.
    testing::AssertionResult Launch(const QString &drives);
    // The first visible window whose name matches, once there is one; empty when the program ended or
    // the wait ran out.
    QString WaitForWindow(const QString &pattern);
    // Clicks a control of the main window by its object name, or a cell of the track list.
    bool Click(const QString &control) { return ClickAt(Centre(control)); }
    bool ClickRow(int row, int column);
    // Clicks the caption bar's close button and waits for a clean exit (code 0, so no sanitizer report).
    testing::AssertionResult Close();
    // Waits until the program ends with the given code.
    testing::AssertionResult WaitForExit(int code);
    // Waits until every one of names is in folder, the extraction worker has ended and no size changes.
    testing::AssertionResult WaitForExtraction(const QDir &folder, const QStringList &names);
    // Runs xdotool on the display: its output, or nothing when it failed.
    std::optional<QString> XDoTool(const QStringList &arguments) const;
    QString ErrorOutput();

    // In place of the copy in Folder(), Start may run another command (the program first: an installed
    // one, through a command that drops privileges), with the environment changed as it says.
    QStringList m_command;
    std::function<void(QProcessEnvironment &)> m_adjustEnvironment;

private:
    bool StartDisplay(int number, QString *log);
    QPoint Centre(const QString &control) const;
    bool ClickAt(QPoint at);

    QProcess m_xvfb, m_program;
    QString m_display, m_window, m_errors;
    QTemporaryDir m_folder;
    // The same window laid out off screen in this process: the form fixes every control's geometry,
    // so its points are those of the program's window.
    std::unique_ptr<TDlgMainForm> m_layout;
};
