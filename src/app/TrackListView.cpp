#include "app/TrackListView.h"

#include "app/ListViewEx.h"
#include "platform/Exception.h"

#include <QHeaderView>
#include <QProgressBar>
#include <QStyledItemDelegate>

#include <algorithm>
#include <memory>

namespace
{

const int BarWidth = 102;
// A bar whose top (client coordinates) lies above this is under the header: it is hidden.
const int BarVisibleFrom = 10;

// The caption of the "Traccia" column is the number right-justified with blanks to six characters, which
// beside the check box does not fit the column in this platform's font: drawn as it is, rows 10 and up
// showed "…". The blanks give way instead of the digits.
class TrackNumberDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->text = option->text.trimmed();
        option->displayAlignment = Qt::AlignRight | Qt::AlignVCenter;
    }
};

} // namespace

TTrackListView::TTrackListView(TListViewEx *list) : m_list(list)
{
    m_list->setItemDelegateForColumn(0, new TrackNumberDelegate(m_list));
}

QString TTrackListView::DurationText(const QString &sectors)
{
    bool ok = false;
    const qlonglong n = sectors.toLongLong(&ok);
    if (!ok)
        throw Exception(QString("'%1' is not a valid integer value").arg(sectors).toStdString());
    const qlonglong seconds = std::max<qlonglong>(n, 0) / 75;
    return QString::number(seconds / 60).rightJustified(3, ' ') + ":" +
           QString::number(seconds % 60).rightJustified(2, '0');
}

// The row's check box is drawn from its check state, but the row is not user-checkable: a click
// toggles it once, through ToggleAt, rather than once by the list and once by the window.
void TTrackListView::ShowRows(const std::vector<TDiscRow> &rows)
{
    Clear();
    for (const TDiscRow &row : rows) {
        auto *item = new QTreeWidgetItem(m_list);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
        item->setCheckState(0, Qt::Checked);
        item->setText(1, row.description);
        item->setText(2, DurationText(row.length));
        item->setText(3, QString());
        item->setText(0, QString::number(row.trackNum).rightJustified(6, ' '));

        auto *bar = new QProgressBar(m_list->viewport());
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        item->setData(0, Qt::UserRole, QVariant::fromValue<QObject *>(bar));

        const QRect place = m_list->visualItemRect(item);
        const int left =
            place.left() + m_list->columnWidth(0) + m_list->columnWidth(1) + m_list->columnWidth(2);
        bar->setGeometry(left, place.top() + 2, BarWidth, place.height() - 5);
        bar->show();
    }
}

void TTrackListView::Clear()
{
    while (m_list->topLevelItemCount() > 0) {
        std::unique_ptr<QTreeWidgetItem> item(m_list->takeTopLevelItem(0));
        delete qobject_cast<QProgressBar *>(item->data(0, Qt::UserRole).value<QObject *>());
    }
}

QProgressBar *TTrackListView::Bar(int row) const
{
    const QTreeWidgetItem *item = m_list->topLevelItem(row);
    return item ? qobject_cast<QProgressBar *>(item->data(0, Qt::UserRole).value<QObject *>()) : nullptr;
}

// Each bar goes under the "Avanzamento" column of its row. Tops are judged in the list's client
// coordinates, where a bar above 10 would sit under the header; the left edge follows the columns as
// scrolled sideways.
void TTrackListView::ShowResult(int row, const QString &result)
{
    if (QProgressBar *bar = Bar(row)) {
        bar->setValue(100);
        bar->setFormat(result);
        bar->setTextVisible(!result.isEmpty());
    }
}

void TTrackListView::ClearResults()
{
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        if (QProgressBar *bar = Bar(i)) {
            bar->setValue(0);
            bar->setTextVisible(false);
        }
    }
}

void TTrackListView::PlaceBars()
{
    const int originY = m_list->ViewportOrigin().y();
    const int left =
        m_list->columnWidth(0) + m_list->columnWidth(1) + m_list->columnWidth(2) - m_list->header()->offset();
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QProgressBar *bar = Bar(i);
        if (!bar)
            continue;
        const int y = m_list->ClientRowTop(m_list->topLevelItem(i)) + 2;
        bar->setVisible(y >= BarVisibleFrom);
        bar->move(left, y - originY);
    }
}

void TTrackListView::ShowRipping(int row)
{
    if (row == 0)
        m_list->scrollToTop();
    else if (QTreeWidgetItem *above = m_list->topLevelItem(row - 1))
        m_list->scrollToItem(above, QAbstractItemView::PositionAtTop);
    PlaceBars();
}

std::vector<int> TTrackListView::CheckedRows() const
{
    std::vector<int> rows;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        if (m_list->topLevelItem(i)->checkState(0) == Qt::Checked)
            rows.push_back(i);
    }
    return rows;
}

void TTrackListView::SetChecked(int row, bool checked)
{
    if (QTreeWidgetItem *item = m_list->topLevelItem(row))
        item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
}

void TTrackListView::SetAllChecked(bool checked)
{
    for (int i = 0; i < m_list->topLevelItemCount(); ++i)
        SetChecked(i, checked);
}

bool TTrackListView::ToggleAt(const QPoint &pos)
{
    QTreeWidgetItem *item = m_list->itemAt(pos);
    if (!item)
        return false;
    item->setCheckState(0, item->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    m_list->setCurrentItem(item);
    return true;
}
