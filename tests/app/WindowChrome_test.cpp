#include "MainWindowFixture.h"
#include "TestDisc.h"

#include "app/CaptionBar.h"
#include "app/MainFormUi.h"
#include "app/WindowChrome.h"

#include <QTest>

#include <gtest/gtest.h>

class WindowChrome : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(form); }
    TestDisc disc{{DiscTrack::tone(750, 440)}};
    ErrorRecorder errors;
    std::unique_ptr<TDlgMainForm> form = openMainWindow();
};

TEST_F(WindowChrome, TitleBarGoesAndComesBackKeepingTheClientSize)
{
    EXPECT_TRUE(form->windowFlags().testFlag(Qt::FramelessWindowHint));
    for (bool hide : {false, true, false}) {
        EXPECT_EQ(TWindowChrome::HideTitleBar(form.get(), hide).testFlag(Qt::FramelessWindowHint), hide);
        EXPECT_EQ(form->size(), QSize(587, 394)) << hide;
        EXPECT_TRUE(form->isVisible()) << hide;
    }
}

TEST_F(WindowChrome, CaptionBarDragsAndItsButtonsMinimiseAndClose)
{
    TCaptionBar *bar = form->ui->dxContainer1;
    const QPoint start = form->pos();
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(100, 8));
    QTest::mouseMove(bar, QPoint(130, 28));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(100, 8));
    EXPECT_EQ(form->pos(), start + QPoint(30, 20));

    // A press on a tool button is the button's own: moving on afterwards moves nothing.
    QToolButton *minimise = form->ui->dxToolButton2;
    QTest::mousePress(minimise, Qt::LeftButton, {}, QPoint(7, 7));
    QTest::mouseMove(bar, QPoint(300, 40));
    QTest::mouseRelease(minimise, Qt::LeftButton, {}, QPoint(60, 60));
    EXPECT_EQ(form->pos(), start + QPoint(30, 20));
    EXPECT_FALSE(form->isMinimized());

    QTest::mouseClick(minimise, Qt::LeftButton);
    EXPECT_TRUE(form->isMinimized());
    form->showNormal();
    QTest::mouseClick(form->ui->dxToolButton1, Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(errors.messages.isEmpty());
}

