#include "MainWindowFixture.h"
#include "TestDisc.h"

#include "app/CaptionBar.h"
#include "app/LinkLabel.h"
#include "app/MainFormUi.h"
#include "app/WindowChrome.h"

#include <QMouseEvent>
#include <QTest>

#include <gtest/gtest.h>

namespace
{

std::unique_ptr<TDlgMainForm> openOnDisc(std::unique_ptr<TestDisc> &disc)
{
    disc = std::make_unique<TestDisc>(std::vector<DiscTrack>{DiscTrack::tone(750, 440)});
    return openMainWindow();
}

void sendMove(QWidget *w, QPoint at)
{
    QMouseEvent move(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
}

void sendLeave(QWidget *w)
{
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(w, &leave);
}

} // namespace

TEST(WindowChrome, TheTitleBarGoesAndComesBackWithTheClientSizeKept)
{
    std::unique_ptr<TestDisc> disc;
    ErrorRecorder errors;
    std::unique_ptr<TDlgMainForm> form = openOnDisc(disc);
    ASSERT_TRUE(form);
    EXPECT_TRUE(form->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(form->size(), QSize(587, 394));

    for (bool hide : {false, true, false}) {
        const Qt::WindowFlags flags = TWindowChrome::HideTitleBar(form.get(), hide);
        EXPECT_EQ(flags.testFlag(Qt::FramelessWindowHint), hide) << hide;
        EXPECT_EQ(form->windowFlags(), flags) << hide;
        EXPECT_EQ(form->size(), QSize(587, 394)) << hide;
        EXPECT_TRUE(form->isVisible()) << hide;
    }
}

TEST(WindowChrome, CaptionBarIsStripedWithTheTitleBoxInTheMiddle)
{
    std::unique_ptr<TestDisc> disc;
    ErrorRecorder errors;
    std::unique_ptr<TDlgMainForm> form = openOnDisc(disc);
    ASSERT_TRUE(form);
    TCaptionBar *bar = form->ui->dxContainer1;
    EXPECT_EQ(bar->geometry(), QRect(0, 0, 587, 16));
    EXPECT_EQ(bar->caption(), " ( QUARLE ) ");
    const QImage image = bar->grab().toImage();
    const QColor grey(128, 128, 128);
    for (int y = 0; y < 16; ++y) {
        EXPECT_EQ(image.pixelColor(20, y) == grey, y % 2 == 0) << "row " << y;
        EXPECT_EQ(image.pixelColor(0, y) == grey, false) << "row " << y;
    }
    // The middle of the bar is a plain box: no stripe runs through it beside the text.
    const int textWidth = QFontMetrics(bar->font()).horizontalAdvance(" ( QUARLE ) ");
    const int boxLeft = 587 / 2 - textWidth / 2 + 1;
    for (int y = 2; y <= 12; y += 2)
        EXPECT_NE(image.pixelColor(boxLeft, y), grey) << "row " << y;
}

TEST(WindowChrome, DraggingTheCaptionBarMovesTheWindow)
{
    std::unique_ptr<TestDisc> disc;
    ErrorRecorder errors;
    std::unique_ptr<TDlgMainForm> form = openOnDisc(disc);
    ASSERT_TRUE(form);
    TCaptionBar *bar = form->ui->dxContainer1;
    const QPoint start = form->pos();
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(100, 8));
    QTest::mouseMove(bar, QPoint(130, 28));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(100, 8));
    EXPECT_EQ(form->pos(), start + QPoint(30, 20));

    // A press on a tool button is the button's own; moving on afterwards moves nothing.
    const QPoint before = form->pos();
    QToolButton *minimise = form->ui->dxToolButton2;
    QTest::mousePress(minimise, Qt::LeftButton, {}, QPoint(7, 7));
    QTest::mouseMove(bar, QPoint(300, 40));
    QTest::mouseRelease(minimise, Qt::LeftButton, {}, QPoint(60, 60));
    EXPECT_EQ(form->pos(), before);
    EXPECT_FALSE(form->isMinimized());
}

TEST(WindowChrome, ToolButtonsMinimiseAndClose)
{
    std::unique_ptr<TestDisc> disc;
    ErrorRecorder errors;
    std::unique_ptr<TDlgMainForm> form = openOnDisc(disc);
    ASSERT_TRUE(form);
    EXPECT_EQ(form->ui->dxToolButton1->geometry(), QRect(561, 0, 15, 15));
    EXPECT_EQ(form->ui->dxToolButton2->geometry(), QRect(546, 0, 15, 15));
    QTest::mouseClick(form->ui->dxToolButton2, Qt::LeftButton);
    EXPECT_TRUE(form->isMinimized());
    form->showNormal();
    QTest::mouseClick(form->ui->dxToolButton1, Qt::LeftButton);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(errors.messages.isEmpty());
}

TEST(WindowChrome, LinkLabelsTurnRedUnderThePointer)
{
    std::unique_ptr<TestDisc> disc;
    ErrorRecorder errors;
    std::unique_ptr<TDlgMainForm> form = openOnDisc(disc);
    ASSERT_TRUE(form);
    const QColor teal(0, 128, 128);
    const QColor red(255, 0, 0);
    for (TLinkLabel *label : {form->ui->Label14, form->ui->Label15}) {
        const std::string name = label->objectName().toStdString();
        EXPECT_EQ(label->colour(), teal) << name;
        EXPECT_TRUE(label->font().underline()) << name;
        sendMove(label, QPoint(5, 5));
        EXPECT_EQ(label->colour(), red) << name;
        sendLeave(label);
        EXPECT_EQ(label->colour(), teal) << name;
        QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(5, 5));
        EXPECT_EQ(label->colour(), teal) << name;
    }
}
