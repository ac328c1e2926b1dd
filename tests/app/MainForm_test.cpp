#include "MainWindowFixture.h"
#include "TestDisc.h"

#include "app/ListViewEx.h"
#include "app/MainFormUi.h"
#include "disc/Quarle.h"

#include <QProgressBar>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

// A click on a check box toggles the row once, not once by the list and again by the window.
TEST(MainForm, ClickTogglesTheRowOnce)
{
    TestDisc disc(std::vector<DiscTrack>(2, DiscTrack::tone(750, 440)));
    ErrorRecorder errors;
    std::unique_ptr<TDlgMainForm> form = openMainWindow();
    ASSERT_TRUE(form);
    const struct {
        QPoint at;
        Qt::MouseButton button;
        bool first, second;
    } steps[] = {
        {cellCentre(*form, 0, 1), Qt::LeftButton, false, true},
        {checkBoxCentre(*form, 0), Qt::LeftButton, true, true},
        {checkBoxCentre(*form, 1), Qt::LeftButton, true, false},
        {cellCentre(*form, 0, 3), Qt::LeftButton, false, false},
    };
    for (const auto &s : steps) {
        QTest::mouseClick(form->ui->ListViewEx1->viewport(), s.button, {}, s.at);
        const std::vector<RowView> now = rowsOf(*form);
        EXPECT_EQ(std::pair(now[0].checked, now[1].checked), std::pair(s.first, s.second)) << &s - steps;
        EXPECT_EQ(form->ui->dxButton2->isEnabled(), s.first || s.second) << &s - steps;
    }
}

// A disc's data tracks get no row; a drive box text that names no drive changes nothing.
TEST(MainForm, ChangingTheDriveReplacesEveryRow)
{
    TestDisc alpha(std::vector<DiscTrack>(3, DiscTrack::tone(750, 440)), "alpha");
    TestDisc beta({DiscTrack::data(600), DiscTrack::tone(4501, 440)}, "beta");
    TestDisc::setDrives(alpha.driveEntry('D') + ";" + beta.driveEntry('E'));
    ErrorRecorder errors;
    std::unique_ptr<TDlgMainForm> form = openMainWindow();
    ASSERT_TRUE(form);
    const Ui::TDlgMainForm &ui = *form->ui;
    QTest::keyClick(ui.CbBoxActiveCDRom, Qt::Key_Down);
    EXPECT_EQ(rowsOf(*form), (std::vector<RowView>{{"     1", "Track 02", "  1:00", true}}));
    EXPECT_EQ(ui.ListViewEx1->viewport()->findChildren<QProgressBar *>().size(), 1);
    QTest::keyClick(ui.CbBoxActiveCDRom, Qt::Key_Up);
    EXPECT_EQ(rowsOf(*form).size(), 3u);
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join("\n").toStdString();

    QTest::keyClicks(ui.CbBoxActiveCDRom->lineEdit(), "X");
    EXPECT_EQ(errors.messages, QStringList{"Il N° del lettore CDROM non è compreso tra 0 e 1"});
    EXPECT_EQ(rowsOf(*form).size(), 3u);
    EXPECT_EQ(form->Quarle->ActiveCdRomNum(), 0);
}

// The chosen folder always ends with one separator: file names are appended to it.
TEST(MainForm, FolderChooser)
{
    TestDisc disc({DiscTrack::tone(750, 440)});
    std::unique_ptr<TDlgMainForm> form = openMainWindow();
    ASSERT_TRUE(form);
    QString answer;
    const auto saved = TDlgMainForm::browseForFolder;
    TDlgMainForm::browseForFolder = [&](QWidget *, const QString &) { return answer; };
    for (const auto &[chosen, shown] :
         {std::pair{"/home/me/Musica", "/home/me/Musica/"}, std::pair{"/", "/"}}) {
        answer = chosen;
        QTest::mouseClick(form->ui->dirbutton, Qt::LeftButton);
        EXPECT_EQ(form->ui->dir->text(), shown) << chosen;
    }
    TDlgMainForm::browseForFolder = saved;
}

// Bars lie over the list, each on its row after columns 0 to 2, and follow the rows as they scroll
// and the columns once a divider is released; a bar that would reach under the header is hidden.
TEST(MainForm, ProgressBarsFollowTheRows)
{
    TestDisc disc(std::vector<DiscTrack>(30, DiscTrack::tone(75, 440)));
    std::unique_ptr<TDlgMainForm> form = openMainWindow();
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
    list->verticalScrollBar()->setValue(0);
    dragDivider(list, 1, {10, 30});
    EXPECT_EQ(form->RowProgressBar(29)->x(), 280);
}
