#include "MainWindowFixture.h"
#include "TestDisc.h"

#include "app/ListViewEx.h"
#include "app/MainFormUi.h"

#include <QProgressBar>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

// A click on a check box toggles the row once, not once by the list and again by the window.
TEST(MainForm, ClickTogglesTheRowOnce)
{
    TestDisc disc(std::vector<DiscTrack>(2, DiscTrack::tone(750, 440)));
    ScriptedPrompts prompts;
    std::unique_ptr<TDlgMainForm> form = openMainWindow(prompts);
    ASSERT_TRUE(form);
    const struct {
        QPoint at;
        bool first, second;
    } steps[] = {
        {cellCentre(*form, 0, 1), false, true},
        {checkBoxCentre(*form, 0), true, true},
        {checkBoxCentre(*form, 1), true, false},
        {cellCentre(*form, 0, 3), false, false},
    };
    for (const auto &s : steps) {
        QTest::mouseClick(form->ui->ListViewEx1->viewport(), Qt::LeftButton, {}, s.at);
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
    dragDivider(list, 1, {10, 30});
    EXPECT_EQ(form->RowProgressBar(29)->x(), 280);
    // Every number of the "Traccia" column fits it whole beside its check box (rows 10 and up once
    // showed "…").
    QStyleOptionViewItem option;
    option.initFrom(list->viewport());
    for (int i = 0; i < 30; ++i) {
        const QModelIndex index = list->model()->index(i, 0);
        EXPECT_LE(list->itemDelegateForIndex(index)->sizeHint(option, index).width(), list->columnWidth(0)) << i;
    }
}
