#pragma once

#include "app/MainForm.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

// The real program, copied into a folder of the test (so "quarle.ini" and "temp" beside it are the
// folder's, never the user's), run on a private Xvfb display and driven through xdotool with real
// clicks and key presses. Skips when Xvfb or xdotool is not installed. The waits end after a minute.
class EndToEnd : public ::testing::Test
{
protected:
    static const QString MainWindow; // the main window's name, as a pattern
    static constexpr int LongWaitMs = 60000;

    void SetUp() override;
    QString Folder() const { return m_folder.path(); }
    // "quarle.ini" as 16 CR LF lines in Latin-1, from its 11 values: folder, format, rate, bitrate, highest
    // bitrate, mode, quality, proxy host, port, user and password.
    static QByteArray IniBytes(QStringList values);

    // Starts the program with QUARLE_DRIVES set to drives ("" for none).
    testing::AssertionResult Start(const QString &drives);
    // Start, then wait until the main window has the focus: the window's activation (the rows) is then
    // done before any click is seen.
    testing::AssertionResult Launch(const QString &drives);
    // The first visible window whose name matches, once there is one.
    QString WaitForWindow(const QString &pattern);
    // Clicks a control of the main window by its object name, or a cell of the track list.
    bool Click(const QString &control);
    bool ClickRow(int row, int column);
    // Clicks the caption bar's close button and waits for a clean exit (code 0, so no sanitizer report).
    testing::AssertionResult Close();
    testing::AssertionResult WaitForExit(int code);
    // Waits until every one of names is in folder and the extraction worker has ended.
    testing::AssertionResult WaitForExtraction(const QDir &folder, const QStringList &names);
    // Runs xdotool on the display: its output, or nothing when it failed.
    std::optional<QString> XDoTool(const QStringList &arguments) const;
    QString ErrorOutput() { return m_errors += QString::fromLocal8Bit(m_program.readAllStandardError()); }

    // In place of the copy in Folder(), Start may run another command (the program first: an installed
    // one, through a command that drops privileges), with the environment changed as it says.
    QStringList m_command;
    std::function<void(QProcessEnvironment &)> m_adjustEnvironment;

private:
    bool ClickAt(QPoint at);
    bool Poll(const std::function<bool()> &done); // until done, the program's end or the time-out

    QTemporaryDir m_folder; // the processes are killed first, as members go in reverse order
    QProcess m_xvfb, m_program;
    QString m_window, m_errors;
    // The same window laid out off screen in this process, where the clicks aim (the form fixes every
    // control's geometry); an error box of its would wait for a click that never comes: it fails the test.
    struct FailingPrompts : TDialogPrompts {
        void ShowError(QWidget *, const QString &message) override { ADD_FAILURE() << message.toStdString(); }
    } m_failing;
    std::unique_ptr<TDlgMainForm> m_layout;
};
