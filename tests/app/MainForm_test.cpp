#include "MainWindowFixture.h"
#include "TestDisc.h"

#include "app/ListViewEx.h"
#include "app/MainFormUi.h"

#include <QHeaderView>
#include <QProgressBar>
#include <QScrollBar>
#include <QStyleOptionViewItem>
#include <QTest>

#include <gtest/gtest.h>

// A click on a check box toggles the row once, not once by the list and again by the window.
TEST(MainForm, ClickTogglesTheRowOnce)
{
    TestDisc disc(std::vector<DiscTrack>(2, DiscTrack::tone(750, 440)));
    ScriptedPrompts prompts;
    std::unique_ptr<TDlgMainForm> form = openMainWindow(prompts);
    ASSERT_TRUE(form);
    TListViewEx *list = form->ui->ListViewEx1;
    // Centre of a cell, and of a row's check box (column -1), in the viewport's coordinates.
    const auto at = [list](int row, int column) {
        QStyleOptionViewItem option;
        option.initFrom(list);
        option.rect = list->visualRect(list->model()->index(row, std::max(column, 0)));
        option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
        option.text = list->topLevelItem(row)->text(0);
        const QRect box = list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
        return (column >= 0 ? option.rect : box).center();
    };
    const struct {
        QPoint at;
        bool first, second;
    } steps[] = {
        {at(0, 1), false, true}, {at(0, -1), true, true}, {at(1, -1), true, false}, {at(0, 3), false, false}};
    for (const auto &s : steps) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, s.at);
        const std::vector<RowView> now = rowsOf(*form);
        EXPECT_EQ(std::pair(now[0].checked, now[1].checked), std::pair(s.first, s.second)) << &s - steps;
        EXPECT_EQ(form->ui->dxButton2->isEnabled(), s.first || s.second) << &s - steps;
    }
}

// Bars lie over the list, each on its row after columns 0 to 2, and follow the rows as they scroll
// and the columns once a divider is released; a bar that would reach under the header is hidden.
TEST(MainForm, ProgressBarsFollowTheRows)
{
    TestDisc disc(std::vector<DiscTrack>(30, DiscTrack::tone(75, 440)));
    ScriptedPrompts prompts;
    std::unique_ptr<TDlgMainForm> form = openMainWindow(prompts);
    ASSERT_TRUE(form);
    TListViewEx *list = form->ui->ListViewEx1;
    const int originY = list->ViewportOrigin().y();
    for (int scroll : {0, 5}) {
        list->verticalScrollBar()->setValue(scroll);
        for (int i = 0; i < 30; ++i) {
            const QProgressBar *bar = form->RowProgressBar(i);
            const int top = list->ClientRowTop(list->topLevelItem(i)) + 2;
            EXPECT_EQ(bar->pos() + QPoint(0, originY), QPoint(250, top)) << i;
            EXPECT_EQ(bar->isVisible(), top >= 10) << scroll << " " << i;
        }
    }
    // The divider right of column 1 dragged by 10, then 30 pixels, and released there.
    QWidget *header = list->header()->viewport();
    const QPoint divider(list->header()->sectionViewportPosition(1) + list->columnWidth(1),
                         header->height() / 2);
    QTest::mousePress(header, Qt::LeftButton, {}, divider);
    for (int dx : {10, 30})
        QTest::mouseMove(header, divider + QPoint(dx, 0));
    QTest::mouseRelease(header, Qt::LeftButton, {}, divider + QPoint(30, 0));
    EXPECT_EQ(form->RowProgressBar(29)->x(), 280);
    // Every number of the "Traccia" column fits it whole beside its check box (rows 10 and up once
    // showed "…").
    QStyleOptionViewItem option;
    option.initFrom(list->viewport());
    for (int i = 0; i < 30; ++i) {
        const QModelIndex index = list->model()->index(i, 0);
        EXPECT_LE(list->itemDelegateForIndex(index)->sizeHint(option, index).width(), list->columnWidth(0))
            << i;
    }
}
