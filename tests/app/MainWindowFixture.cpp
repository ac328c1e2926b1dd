#include "MainWindowFixture.h"

#include "app/ListViewEx.h"
#include "app/MainFormUi.h"

#include <QHeaderView>
#include <QStyleOptionViewItem>
#include <QTest>

#include <gtest/gtest.h>

ErrorRecorder::ErrorRecorder() : m_saved(TDlgMainForm::showError)
{
    TDlgMainForm::showError = [this](QWidget *, const QString &message) { messages << message; };
}

ErrorRecorder::~ErrorRecorder()
{
    TDlgMainForm::showError = m_saved;
}

std::unique_ptr<TDlgMainForm> openMainWindow()
{
    std::unique_ptr<TDlgMainForm> form = TDlgMainForm::CreateMainForm();
    if (!form)
        return form;
    form->show();
    form->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
    return form;
}

std::vector<RowView> rowsOf(const TDlgMainForm &form)
{
    std::vector<RowView> rows;
    const TListViewEx *list = form.ui->ListViewEx1;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = list->topLevelItem(i);
        rows.push_back({item->text(0), item->text(1), item->text(2), item->checkState(0) == Qt::Checked});
    }
    return rows;
}

QPoint cellCentre(const TDlgMainForm &form, int row, int column)
{
    const TListViewEx *list = form.ui->ListViewEx1;
    return list->visualRect(list->model()->index(row, column)).center();
}

QPoint checkBoxCentre(const TDlgMainForm &form, int row)
{
    TListViewEx *list = form.ui->ListViewEx1;
    const QModelIndex index = list->model()->index(row, 0);
    QStyleOptionViewItem option;
    option.initFrom(list);
    option.rect = list->visualRect(index);
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    option.text = index.data().toString();
    return list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list).center();
}

void dragDivider(QWidget *listWidget, int section, const std::vector<int> &steps,
                 const std::function<void()> &beforeRelease)
{
    auto *list = static_cast<TListViewEx *>(listWidget);
    QWidget *header = list->header()->viewport();
    const int x = list->header()->sectionViewportPosition(section) + list->header()->sectionSize(section);
    const int y = header->height() / 2;
    QTest::mousePress(header, Qt::LeftButton, {}, QPoint(x, y));
    int last = 0;
    for (int dx : steps) {
        QTest::mouseMove(header, QPoint(x + dx, y));
        last = dx;
    }
    if (beforeRelease)
        beforeRelease();
    QTest::mouseRelease(header, Qt::LeftButton, {}, QPoint(x + last, y));
}
