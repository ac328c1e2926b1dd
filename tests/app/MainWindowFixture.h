#pragma once

#include "app/MainForm.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QTreeWidgetItem;
class QWidget;

// Takes the place of the window's error box for as long as it lives, keeping the messages.
class ErrorRecorder
{
public:
    ErrorRecorder();
    ~ErrorRecorder();
    ErrorRecorder(const ErrorRecorder &) = delete;
    ErrorRecorder &operator=(const ErrorRecorder &) = delete;

    QStringList messages;

private:
    std::function<void(QWidget *, const QString &)> m_saved;
};

// One track row as the user sees it.
struct RowView {
    QString caption;
    QString description;
    QString duration;
    bool checked = false;
    bool operator==(const RowView &) const = default;
};

// Creates the window on the drives of QUARLE_DRIVES, shows it and waits for its first activation.
std::unique_ptr<TDlgMainForm> openMainWindow();
std::vector<RowView> rowsOf(const TDlgMainForm &form);
// Centre of a row's cell, in the list viewport's coordinates.
QPoint cellCentre(const TDlgMainForm &form, int row, int column);
// Centre of a row's check box, in the list viewport's coordinates.
QPoint checkBoxCentre(const TDlgMainForm &form, int row);
// Drags the divider at the right of header section `section` through the given offsets from it
// and releases it at the last one. `beforeRelease` runs while the divider is still held.
void dragDivider(QWidget *list, int section, const std::vector<int> &steps,
                 const std::function<void()> &beforeRelease = {});
