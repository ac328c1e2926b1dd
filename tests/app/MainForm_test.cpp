#include "MainWindowFixture.h"
#include "TestDisc.h"

#include "app/ListViewEx.h"
#include "app/MainFormUi.h"
#include "disc/Quarle.h"

#include <QApplication>
#include <QProgressBar>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace
{

std::vector<DiscTrack> tones(int count, int32_t sectors)
{
    return std::vector<DiscTrack>(size_t(count), DiscTrack::tone(sectors, 440));
}

int barCount(const TDlgMainForm &form)
{
    return int(form.ui->ListViewEx1->viewport()->findChildren<QProgressBar *>().size());
}

} // namespace

TEST(MainForm, StartUpShowsOneCheckedRowPerAudioTrack)
{
    // The ripper's lengths are one less than the sector counts: 18376 sectors show as 18375, that is 4:05.
    std::vector<DiscTrack> ten = {DiscTrack::tone(18376, 440), DiscTrack::tone(75, 880)};
    ten.resize(10, DiscTrack::tone(76, 330));
    const struct {
        const char *name;
        std::vector<DiscTrack> tracks;
        std::vector<RowView> rows; // the first and the last
        size_t count;
    } cases[] = {
        // clang-format off
        {"ten tracks", ten, {{"     1", "Track 01", "  4:05", true}, {"    10", "Track 10", "  0:01", true}}, 10},
        {"data first", {DiscTrack::data(600), DiscTrack::tone(18376, 440)}, {{"     1", "Track 02", "  4:05", true}}, 1},
        {"data only", {DiscTrack::data(600)}, {}, 0},
        // clang-format on
    };
    for (const auto &c : cases) {
        TestDisc disc(c.tracks);
        ErrorRecorder errors;
        std::unique_ptr<TDlgMainForm> form = openMainWindow();
        ASSERT_TRUE(form) << c.name;
        const std::vector<RowView> rows = rowsOf(*form);
        ASSERT_EQ(rows.size(), c.count) << c.name;
        if (c.count) {
            EXPECT_EQ(rows.front(), c.rows.front()) << c.name;
            EXPECT_EQ(rows.back(), c.rows.back()) << c.name;
        }
        EXPECT_EQ(barCount(*form), int(c.count)) << c.name;
        EXPECT_EQ(form->ui->ListBoxTrackList->count(), int(c.count)) << c.name;
        EXPECT_EQ(form->ui->LabeActiveCDRom->text(), "Disc image disc.cue") << c.name;
        EXPECT_EQ(form->ui->CbBoxActiveCDRom->currentText(), "D: Disc image disc.cue") << c.name;
        EXPECT_EQ(form->ui->dxButton2->isEnabled(), c.count > 0) << c.name;
        EXPECT_FALSE(form->ui->dxButton3->isEnabled()) << c.name;
        EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join("\n").toStdString();

        // "deseleziona tutto" disables both buttons; "seleziona tutto" enables "Estrai" only when
        // there is a row, and leaves "Annulla" alone on an empty list.
        for (const auto &[label, checked] :
             {std::pair{form->ui->Label15, false}, std::pair{form->ui->Label14, true}}) {
            form->ui->dxButton3->setEnabled(true);
            QTest::mouseClick(label, Qt::LeftButton);
            for (const RowView &row : rowsOf(*form))
                EXPECT_EQ(row.checked, checked) << c.name;
            EXPECT_EQ(form->ui->dxButton2->isEnabled(), checked && c.count > 0) << c.name;
            EXPECT_EQ(form->ui->dxButton3->isEnabled(), checked && c.count == 0) << c.name;
        }
    }
}

// A click on a check box toggles the row once, not once by the list and again by the window.
TEST(MainForm, ClickTogglesTheRowOnce)
{
    TestDisc disc(tones(2, 750));
    ErrorRecorder errors;
    std::unique_ptr<TDlgMainForm> form = openMainWindow();
    ASSERT_TRUE(form);
    QWidget *rows = form->ui->ListViewEx1->viewport();
    const struct {
        const char *what;
        QPoint at;
        Qt::MouseButton button;
        bool first, second;
    } steps[] = {
        {"row 1's description", cellCentre(*form, 0, 1), Qt::LeftButton, false, true},
        {"row 1's check box", checkBoxCentre(*form, 0), Qt::LeftButton, true, true},
        {"row 2's check box", checkBoxCentre(*form, 1), Qt::LeftButton, true, false},
        {"right click on row 1", cellCentre(*form, 0, 2), Qt::RightButton, false, false},
        {"below the rows", QPoint(20, rows->height() - 5), Qt::LeftButton, false, false},
        {"row 2's progress column", cellCentre(*form, 1, 3), Qt::LeftButton, false, true},
    };
    for (const auto &s : steps) {
        QTest::mouseClick(rows, s.button, {}, s.at);
        const std::vector<RowView> now = rowsOf(*form);
        EXPECT_EQ(std::pair(now[0].checked, now[1].checked), std::pair(s.first, s.second)) << s.what;
        // Unchecking the last checked row disables "Estrai".
        EXPECT_EQ(form->ui->dxButton2->isEnabled(), s.first || s.second) << s.what;
    }
    EXPECT_TRUE(errors.messages.isEmpty());
}

TEST(MainForm, ChangingTheDriveReplacesEveryRowAndABadIndexChangesNothing)
{
    TestDisc alpha(tones(3, 750), "alpha");
    TestDisc beta({DiscTrack::data(600), DiscTrack::tone(4501, 440)}, "beta");
    TestDisc::setDrives(alpha.driveEntry('D') + ";" + beta.driveEntry('E'));
    ErrorRecorder errors;
    std::unique_ptr<TDlgMainForm> form = openMainWindow();
    ASSERT_TRUE(form);
    const Ui::TDlgMainForm &ui = *form->ui;
    ASSERT_EQ(ui.CbBoxActiveCDRom->count(), 2);

    QTest::keyClick(ui.CbBoxActiveCDRom, Qt::Key_Down);
    EXPECT_EQ(ui.LabeActiveCDRom->text(), "Disc image beta.cue");
    EXPECT_EQ(rowsOf(*form), (std::vector<RowView>{{"     1", "Track 02", "  1:00", true}}));
    EXPECT_EQ(barCount(*form), 1);
    QTest::keyClick(ui.CbBoxActiveCDRom, Qt::Key_Up);
    EXPECT_EQ(ui.LabeActiveCDRom->text(), "Disc image alpha.cue");
    EXPECT_EQ(rowsOf(*form).size(), 3u);
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join("\n").toStdString();

    // Typing leaves a text that names no drive: no item is selected.
    QTest::mouseClick(ui.Label15, Qt::LeftButton);
    QTest::keyClicks(ui.CbBoxActiveCDRom->lineEdit(), "X");
    EXPECT_EQ(errors.messages, QStringList{"Il N° del lettore CDROM non è compreso tra 0 e 1"});
    EXPECT_EQ(rowsOf(*form).size(), 3u);
    EXPECT_FALSE(rowsOf(*form)[0].checked);
    EXPECT_EQ(ui.LabeActiveCDRom->text(), "Disc image alpha.cue");
    EXPECT_EQ(form->Quarle->ActiveCdRomNum(), 0);
    EXPECT_TRUE(form->isVisible());
}

// The chosen folder always ends with one separator: file names are appended to it.
TEST(MainForm, FolderChooser)
{
    TestDisc disc(tones(1, 750));
    ErrorRecorder errors;
    std::unique_ptr<TDlgMainForm> form = openMainWindow();
    ASSERT_TRUE(form);
    QString answer;
    const auto saved = TDlgMainForm::browseForFolder;
    TDlgMainForm::browseForFolder = [&](QWidget *, const QString &) { return answer; };
    const std::pair<const char *, const char *> cases[] = {
        {"/home/me/Musica", "/home/me/Musica/"}, {"/", "/"}, {"", "/"}};
    for (const auto &[chosen, shown] : cases) {
        answer = chosen;
        QTest::mouseClick(form->ui->dirbutton, Qt::LeftButton);
        EXPECT_EQ(form->ui->dir->text(), shown) << chosen;
    }
    TDlgMainForm::browseForFolder = saved;
}

// Bars lie over the list, each on its row after columns 0 to 2, and follow the rows as they scroll;
// a bar whose top would be above 10 (under the header) is hidden.
TEST(MainForm, ProgressBarsFollowTheRows)
{
    TestDisc disc(tones(30, 75));
    ErrorRecorder errors;
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
    // A row whose top is 7 has its bar hidden; with top 8 the bar shows at 10.
    list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    const int rowHeight = list->visualItemRect(list->topLevelItem(0)).height();
    for (const auto &[top, shown] : {std::pair{7, false}, std::pair{8, true}}) {
        list->verticalScrollBar()->setValue(3 * rowHeight + originY - top);
        ASSERT_EQ(list->ClientRowTop(list->topLevelItem(3)), top);
        EXPECT_EQ(form->RowProgressBar(3)->isVisible(), shown) << top;
        EXPECT_EQ(form->RowProgressBar(3)->y() + originY, top + 2) << top;
    }

    // A column resized moves the bars once it is released.
    list->verticalScrollBar()->setValue(0);
    dragDivider(list, 1, {10, 30}, [&] { EXPECT_EQ(form->RowProgressBar(0)->x(), 250); });
    EXPECT_EQ(form->RowProgressBar(0)->x(), 280);
    EXPECT_EQ(form->RowProgressBar(29)->x(), 280);
}
