#pragma once

#include "app/MainForm.h"

#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

// The window's questions, answered as the test says, and its error boxes, kept. A question the test
// did not expect fails it.
struct ScriptedPrompts : TPrompts {
    QStringList errors;
    std::function<Overwrite(const QStringList &files)> overwrite;
    std::function<bool()> interrupt;
    std::function<bool(DiscDetails &details)> details;
    QStringList wavFiles;

    void ShowError(QWidget *, const QString &message) override { errors << message; }
    Overwrite AskOverwrite(QWidget *, const QStringList &files) override;
    bool AskInterrupt(QWidget *) override;
    int ChooseEdition(QWidget *, const std::vector<DiscEdition> &editions) override;
    bool EditDiscDetails(QWidget *, DiscDetails &d) override { return details && details(d); }
    QString BrowseForFolder(QWidget *, const QString &, const QString &) override { return {}; }
    QStringList ChooseWavFiles(QWidget *) override { return wavFiles; }
};

// The session of a window under test: "quarle.ini" and "temp" in a folder of the test run's own, the
// AccurateRip database asked only through a proxy of the test's, MusicBrainz answering nothing.
TDiscSession::Services TestServices();
QString TestProgramDir();

// One track row as the user sees it.
struct RowView {
    QString description;
    bool checked = false;
    QString result; // what the row's bar says; empty while it says nothing
};

// The window on the drives of QUARLE_DRIVES, shown and past its first activation.
std::unique_ptr<TDlgMainForm> openMainWindow(ScriptedPrompts &prompts,
                                             TDiscSession::Services services = TestServices());
// Waits until the session's job has ended and what it queued has reached the controls.
bool waitForJob(TDlgMainForm &form);
std::vector<RowView> rowsOf(const TDlgMainForm &form);
