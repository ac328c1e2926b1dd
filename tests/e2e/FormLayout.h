#pragma once

#include <QPoint>
#include <QString>
#include <QStringList>

#include <memory>

class TDlgMainForm;

// Where the main window's controls lie, taken from the real window laid out off screen in this
// process on the drives of QUARLE_DRIVES. The form fixes every control's geometry, so the points are
// those of the program's window on the X display, relative to its top-left corner.
class FormLayout
{
public:
    FormLayout();
    ~FormLayout();
    FormLayout(const FormLayout &) = delete;
    FormLayout &operator=(const FormLayout &) = delete;

    // Failures the window reported while it was being laid out (none when all went well).
    const QStringList &Errors() const { return m_errors; }
    bool Valid() const { return m_form != nullptr; }

    // A point that a click on the named control reaches: its centre, or for a radio button the middle
    // of its indicator and label. A point outside the window when there is no such control.
    QPoint ClickPoint(const QString &controlName) const;
    // The middle of a cell of the track list.
    QPoint RowPoint(int row, int column) const;
    int RowCount() const;

private:
    std::unique_ptr<TDlgMainForm> m_form;
    QStringList m_errors;
};
