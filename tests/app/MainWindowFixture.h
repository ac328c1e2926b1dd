#pragma once

#include "app/MainForm.h"

#include <QStringList>

#include <memory>
#include <vector>

// Takes the place of the window's error box while it lives, keeping the messages.
struct ErrorRecorder {
    ErrorRecorder()
    {
        TDlgMainForm::showError = [this](QWidget *, const QString &m) { messages << m; };
    }
    ~ErrorRecorder() { TDlgMainForm::showError = saved; }
    ErrorRecorder(const ErrorRecorder &) = delete;
    ErrorRecorder &operator=(const ErrorRecorder &) = delete;
    QStringList messages;
    const std::function<void(QWidget *, const QString &)> saved = TDlgMainForm::showError;
};

// One track row as the user sees it.
struct RowView {
    QString description;
    bool checked = false;
};

// The window on the drives of QUARLE_DRIVES, shown and past its first activation.
std::unique_ptr<TDlgMainForm> openMainWindow();
std::vector<RowView> rowsOf(const TDlgMainForm &form);
// Centre of a cell, and of a row's check box, in the list viewport's coordinates.
QPoint cellCentre(const TDlgMainForm &form, int row, int column);
QPoint checkBoxCentre(const TDlgMainForm &form, int row);
// Drags the divider right of header section `section` through offsets from it and releases it at the
// last one.
void dragDivider(QWidget *list, int section, const std::vector<int> &steps);
