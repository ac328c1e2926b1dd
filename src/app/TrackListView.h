#pragma once

#include "session/DiscSession.h"

#include <QString>

#include <vector>

class QPoint;
class QProgressBar;
class TListViewEx;

// The disc's rows in the window's list: a check box, the track number, the description, the duration
// and a progress bar each. The bars are children of the list's viewport, laid over the "Avanzamento"
// column, and are placed again whenever the rows or the columns move.
class TTrackListView
{
public:
    // The "Traccia" column's numbers are drawn whole, right-aligned, whatever their padding.
    explicit TTrackListView(TListViewEx *list);

    // The rows anew, every one checked, its bar empty.
    void ShowRows(const std::vector<TDiscRow> &rows);
    void Clear();
    QProgressBar *Bar(int row) const;
    // A finished track's row: its bar full, with the result in short ("accurata", "annullata"...).
    void ShowResult(int row, const QString &result);
    // Every bar empty again, without its result (a new extraction).
    void ClearResults();
    void PlaceBars();
    // Scrolls so that the row being ripped shows, with the one before it at the top.
    void ShowRipping(int row);

    std::vector<int> CheckedRows() const;
    void SetChecked(int row, bool checked);
    void SetAllChecked(bool checked);
    // A click on a row toggles its check mark; false when no row is there.
    bool ToggleAt(const QPoint &pos);

    // "m:ss" for a track length in sectors (75 a second), the minutes padded to three characters.
    // Raises Exception when the text is not an integer.
    static QString DurationText(const QString &sectors);

private:
    TListViewEx *m_list;
};
