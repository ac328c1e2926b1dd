#include "MainWindowFixture.h"
#include "TestDisc.h"

#include "app/ListViewEx.h"
#include "app/MainFormUi.h"
#include "disc/Quarle.h"

#include <QApplication>
#include <QHeaderView>
#include <QProgressBar>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

namespace
{

const char *const NoDrive = "Attenzione!   Nessun lettore trovato o utente con diritti minimi.";

std::vector<DiscTrack> tones(int count, int32_t sectors)
{
    return std::vector<DiscTrack>(size_t(count), DiscTrack::tone(sectors, 440));
}

bool anyWindowShown()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->isVisible())
            return true;
    }
    return false;
}

} // namespace

TEST(MainForm, StartUpShowsOneCheckedRowPerAudioTrack)
{
    // Lengths are one less than the sector counts: 18376 sectors show as 18375, that is 4:05.
    std::vector<DiscTrack> tracks = {DiscTrack::tone(18376, 440), DiscTrack::tone(75, 880)};
    for (int i = 0; i < 8; ++i)
        tracks.push_back(DiscTrack::tone(76, 330));
    TestDisc disc(tracks);
    ErrorRecorder errors;
    std::unique_ptr<TDlgMainForm> form = openMainWindow();
    ASSERT_TRUE(form);

    const std::vector<RowView> rows = rowsOf(*form);
    ASSERT_EQ(rows.size(), 10u);
    EXPECT_EQ(rows[0], (RowView{"     1", "Track 01", "  4:05", true}));
    EXPECT_EQ(rows[1], (RowView{"     2", "Track 02", "  0:00", true}));
    EXPECT_EQ(rows[2], (RowView{"     3", "Track 03", "  0:01", true}));
    EXPECT_EQ(rows[9], (RowView{"    10", "Track 10", "  0:01", true}));
    for (int i = 0; i < 10; ++i) {
        const QProgressBar *bar = form->RowProgressBar(i);
        ASSERT_NE(bar, nullptr) << i;
        EXPECT_EQ(bar->minimum(), 0);
        EXPECT_EQ(bar->maximum(), 100);
        EXPECT_EQ(bar->value(), 0);
    }
    const Ui::TDlgMainForm &ui = *form->ui;
    EXPECT_EQ(ui.ListBoxTrackList->count(), 10);
    EXPECT_EQ(ui.LabeActiveCDRom->text(), "Disc image disc.cue");
    EXPECT_EQ(ui.CbBoxActiveCDRom->count(), 1);
    EXPECT_EQ(ui.CbBoxActiveCDRom->currentText(), "D: Disc image disc.cue");
    EXPECT_TRUE(ui.dxButton1->isEnabled());
    EXPECT_TRUE(ui.dxButton2->isEnabled());
    EXPECT_FALSE(ui.dxButton3->isEnabled());
    EXPECT_EQ(ui.LabelVBRQualite->text(), "4");
    EXPECT_EQ(ui.dir->text(), TDlgMainForm::programDir() + "/");
    EXPECT_EQ(ui.CBoxBitRate->currentText(), "128");
    EXPECT_EQ(ui.CBoxSampleRate->currentText(), "44100");
    EXPECT_EQ(form->RGroupFormatExtractionItemIndex(), 0);
    EXPECT_TRUE(form->FActivated());
    EXPECT_EQ(form->Quarle->speed(), 32);
    EXPECT_TRUE(form->Quarle->WriteWav());
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join("\n").toStdString();
}

TEST(MainForm, DataTracksGetNoRow)
{
    struct Case {
        const char *name;
        std::vector<DiscTrack> tracks;
        std::vector<RowView> rows;
        bool extract;
    };
    const Case cases[] = {
        {"data first",
         {DiscTrack::data(600), DiscTrack::tone(18376, 440)},
         {{"     1", "Track 02", "  4:05", true}},
         true},
        {"data only", {DiscTrack::data(600)}, {}, false},
    };
    for (const Case &c : cases) {
        TestDisc disc(c.tracks);
        ErrorRecorder errors;
        std::unique_ptr<TDlgMainForm> form = openMainWindow();
        ASSERT_TRUE(form) << c.name;
        EXPECT_EQ(rowsOf(*form), c.rows) << c.name;
        EXPECT_EQ(form->ui->dxButton2->isEnabled(), c.extract) << c.name;
        EXPECT_FALSE(form->ui->dxButton3->isEnabled()) << c.name;
    }
}

TEST(MainForm, DurationText)
{
    const std::pair<const char *, const char *> cases[] = {
        {"18375", "  4:05"}, {"74", "  0:00"},     {"75", "  0:01"},       {"4499", "  0:59"},
        {"4500", "  1:00"},  {"450000", "100:00"}, {"4500000", "1000:00"}, {"-1", "  0:00"},
    };
    for (const auto &[sectors, text] : cases)
        EXPECT_EQ(TDlgMainForm::DurationText(sectors), text) << sectors;
    try {
        TDlgMainForm::DurationText("12a");
        ADD_FAILURE() << "no failure for a length that is not a number";
    } catch (const std::exception &e) {
        EXPECT_STREQ(e.what(), "'12a' is not a valid integer value");
    }
}

TEST(MainForm, NoUsableDriveShowsTheRipperMessageAndNoWindow)
{
    for (const char *drives : {"", "D=/nonexistent/disc.cue"}) {
        TestDisc::setDrives(drives);
        ErrorRecorder errors;
        std::unique_ptr<TDlgMainForm> form = TDlgMainForm::CreateMainForm();
        EXPECT_FALSE(form) << drives;
        EXPECT_EQ(errors.messages, QStringList{NoDrive}) << drives;
        EXPECT_FALSE(anyWindowShown()) << drives;
    }
    qunsetenv("QUARLE_DRIVES");
}

TEST(MainForm, ClickTogglesTheRowOnce)
{
    TestDisc disc(tones(2, 750));
    ErrorRecorder errors;
    std::unique_ptr<TDlgMainForm> form = openMainWindow();
    ASSERT_TRUE(form);
    TListViewEx *list = form->ui->ListViewEx1;
    QWidget *rows = list->viewport();
    auto checks = [&] { return std::vector<bool>{rowsOf(*form)[0].checked, rowsOf(*form)[1].checked}; };

    struct Step {
        const char *what;
        QPoint at;
        Qt::MouseButton button;
        std::vector<bool> checked;
        bool extract;
    };
    const Step steps[] = {
        {"click on row 1's description", cellCentre(*form, 0, 1), Qt::LeftButton, {false, true}, true},
        {"click on row 1's check box", checkBoxCentre(*form, 0), Qt::LeftButton, {true, true}, true},
        {"click on row 2's check box", checkBoxCentre(*form, 1), Qt::LeftButton, {true, false}, true},
        {"right click on row 1's duration", cellCentre(*form, 0, 2), Qt::RightButton, {false, false}, false},
        {"click below the rows", QPoint(20, rows->height() - 5), Qt::LeftButton, {false, false}, false},
        {"click on row 2's progress column", cellCentre(*form, 1, 3), Qt::LeftButton, {false, true}, true},
    };
    for (const Step &s : steps) {
        QTest::mouseClick(rows, s.button, {}, s.at);
        EXPECT_EQ(checks(), s.checked) << s.what;
        EXPECT_EQ(form->ui->dxButton2->isEnabled(), s.extract) << s.what;
        EXPECT_FALSE(form->ui->dxButton3->isEnabled()) << s.what;
    }
    EXPECT_EQ(list->currentItem(), list->topLevelItem(1));
    EXPECT_TRUE(errors.messages.isEmpty());
}

TEST(MainForm, SelectAllAndSelectNone)
{
    {
        TestDisc disc(tones(3, 750));
        ErrorRecorder errors;
        std::unique_ptr<TDlgMainForm> form = openMainWindow();
        ASSERT_TRUE(form);
        const Ui::TDlgMainForm &ui = *form->ui;
        QTest::mouseClick(ui.Label15, Qt::LeftButton);
        for (const RowView &row : rowsOf(*form))
            EXPECT_FALSE(row.checked);
        EXPECT_FALSE(ui.dxButton2->isEnabled());
        EXPECT_FALSE(ui.dxButton3->isEnabled());

        ui.dxButton3->setEnabled(true);
        QTest::mouseClick(ui.Label14, Qt::LeftButton);
        for (const RowView &row : rowsOf(*form))
            EXPECT_TRUE(row.checked);
        EXPECT_TRUE(ui.dxButton2->isEnabled());
        EXPECT_FALSE(ui.dxButton3->isEnabled());
    }
    {
        TestDisc disc({DiscTrack::data(600)});
        ErrorRecorder errors;
        std::unique_ptr<TDlgMainForm> form = openMainWindow();
        ASSERT_TRUE(form);
        const Ui::TDlgMainForm &ui = *form->ui;
        // On an empty list "seleziona tutto" leaves the buttons alone; "deseleziona tutto" disables both.
        ui.dxButton2->setEnabled(false);
        ui.dxButton3->setEnabled(true);
        QTest::mouseClick(ui.Label14, Qt::LeftButton);
        EXPECT_FALSE(ui.dxButton2->isEnabled());
        EXPECT_TRUE(ui.dxButton3->isEnabled());
        ui.dxButton2->setEnabled(true);
        QTest::mouseClick(ui.Label15, Qt::LeftButton);
        EXPECT_FALSE(ui.dxButton2->isEnabled());
        EXPECT_FALSE(ui.dxButton3->isEnabled());
    }
}

TEST(MainForm, ChangingTheDriveReplacesEveryRow)
{
    TestDisc alpha(tones(3, 750), "alpha");
    TestDisc beta({DiscTrack::data(600), DiscTrack::tone(4501, 440)}, "beta");
    TestDisc::setDrives(alpha.driveEntry('D') + ";" + beta.driveEntry('E'));
    ErrorRecorder errors;
    std::unique_ptr<TDlgMainForm> form = openMainWindow();
    ASSERT_TRUE(form);
    const Ui::TDlgMainForm &ui = *form->ui;
    ASSERT_EQ(ui.CbBoxActiveCDRom->count(), 2);
    EXPECT_EQ(ui.LabeActiveCDRom->text(), "Disc image alpha.cue");
    ASSERT_EQ(rowsOf(*form).size(), 3u);

    QTest::mouseClick(ui.ListViewEx1->viewport(), Qt::LeftButton, {}, cellCentre(*form, 0, 1));
    QTest::keyClick(ui.CbBoxActiveCDRom, Qt::Key_Down);
    EXPECT_EQ(ui.CbBoxActiveCDRom->currentIndex(), 1);
    EXPECT_EQ(ui.LabeActiveCDRom->text(), "Disc image beta.cue");
    EXPECT_EQ(rowsOf(*form), (std::vector<RowView>{{"     1", "Track 02", "  1:00", true}}));
    EXPECT_EQ(form->RowProgressBar(1), nullptr);
    EXPECT_EQ(ui.ListViewEx1->viewport()->findChildren<QProgressBar *>().size(), 1);

    QTest::keyClick(ui.CbBoxActiveCDRom, Qt::Key_Up);
    EXPECT_EQ(ui.LabeActiveCDRom->text(), "Disc image alpha.cue");
    ASSERT_EQ(rowsOf(*form).size(), 3u);
    EXPECT_TRUE(rowsOf(*form)[0].checked);
    EXPECT_TRUE(ui.dxButton2->isEnabled());
    EXPECT_TRUE(errors.messages.isEmpty()) << errors.messages.join("\n").toStdString();
}

TEST(MainForm, ADriveIndexOutOfRangeShowsTheRipperMessageAndChangesNothing)
{
    TestDisc alpha(tones(3, 750), "alpha");
    TestDisc beta(tones(1, 750), "beta");
    TestDisc::setDrives(alpha.driveEntry('D') + ";" + beta.driveEntry('E'));
    ErrorRecorder errors;
    std::unique_ptr<TDlgMainForm> form = openMainWindow();
    ASSERT_TRUE(form);
    const Ui::TDlgMainForm &ui = *form->ui;
    QTest::mouseClick(ui.Label15, Qt::LeftButton);
    const std::vector<RowView> before = rowsOf(*form);

    // Typing leaves a text that names no drive: no item is selected.
    QTest::keyClicks(ui.CbBoxActiveCDRom->lineEdit(), "X");
    EXPECT_EQ(errors.messages, QStringList{"Il N° del lettore CDROM non è compreso tra 0 e 1"});
    EXPECT_EQ(rowsOf(*form), before);
    EXPECT_EQ(ui.LabeActiveCDRom->text(), "Disc image alpha.cue");
    EXPECT_FALSE(ui.dxButton2->isEnabled());
    EXPECT_EQ(form->Quarle->ActiveCdRomNum(), 0);
    EXPECT_TRUE(form->isVisible());
}

TEST(MainForm, RefreshRebuildsTheRows)
{
    TestDisc disc(tones(2, 750));
    ErrorRecorder errors;
    std::unique_ptr<TDlgMainForm> form = openMainWindow();
    ASSERT_TRUE(form);
    const Ui::TDlgMainForm &ui = *form->ui;
    QTest::mouseClick(ui.Label15, Qt::LeftButton);
    ui.LabeActiveCDRom->setText("Some Album");
    QTest::mouseClick(ui.dxButton1, Qt::LeftButton);
    EXPECT_EQ(rowsOf(*form), (std::vector<RowView>{{"     1", "Track 01", "  0:09", true},
                                                   {"     2", "Track 02", "  0:09", true}}));
    EXPECT_TRUE(ui.dxButton2->isEnabled());
    EXPECT_EQ(ui.LabeActiveCDRom->text(), "Some Album");
    EXPECT_EQ(ui.ListViewEx1->viewport()->findChildren<QProgressBar *>().size(), 2);
}

TEST(MainForm, FolderChooser)
{
    TestDisc disc(tones(1, 750));
    ErrorRecorder errors;
    std::unique_ptr<TDlgMainForm> form = openMainWindow();
    ASSERT_TRUE(form);
    QString answer;
    QStringList titles;
    const auto saved = TDlgMainForm::browseForFolder;
    TDlgMainForm::browseForFolder = [&](QWidget *, const QString &title) {
        titles << title;
        return answer;
    };
    const std::pair<const char *, const char *> cases[] = {
        {"/home/me/Musica", "/home/me/Musica/"},
        {"/", "/"},
        {"/media/disco/", "/media/disco/"},
        {"", "/media/disco/"}, // cancelled
    };
    for (const auto &[chosen, shown] : cases) {
        answer = chosen;
        QTest::mouseClick(form->ui->dirbutton, Qt::LeftButton);
        EXPECT_EQ(form->ui->dir->text(), shown) << chosen;
    }
    TDlgMainForm::browseForFolder = saved;
    EXPECT_EQ(titles.size(), 4);
    EXPECT_EQ(titles.value(0), "Seleziona la cartella di destinazione");
}

// Bars lie over the list; they are placed row by row, and hidden when their top would be under
// the header (above 10 in the list's client coordinates).
TEST(MainForm, ProgressBarPlacement)
{
    TestDisc disc(tones(30, 75));
    ErrorRecorder errors;
    std::unique_ptr<TDlgMainForm> form = openMainWindow();
    ASSERT_TRUE(form);
    TListViewEx *list = form->ui->ListViewEx1;
    const int originY = list->ViewportOrigin().y();
    ASSERT_GT(originY, 8);
    auto clientTop = [&](const QProgressBar *bar) { return bar->y() + originY; };

    for (int i = 0; i < 30; ++i) {
        const QProgressBar *bar = form->RowProgressBar(i);
        EXPECT_EQ(bar->x(), 250) << i;
        EXPECT_EQ(bar->width(), 102) << i;
        EXPECT_EQ(clientTop(bar), list->ClientRowTop(list->topLevelItem(i)) + 2) << i;
    }

    // Scrolling moves every bar with its row, at once.
    list->verticalScrollBar()->setValue(5);
    for (int i = 0; i < 30; ++i) {
        const QProgressBar *bar = form->RowProgressBar(i);
        const int top = list->ClientRowTop(list->topLevelItem(i)) + 2;
        EXPECT_EQ(clientTop(bar), top) << i;
        EXPECT_EQ(bar->isVisible(), top >= 10) << i;
    }
    EXPECT_FALSE(form->RowProgressBar(4)->isVisible());
    EXPECT_TRUE(form->RowProgressBar(5)->isVisible());

    // A row whose top is 7 has its bar hidden; with top 8 the bar shows at 10.
    list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    const int rowHeight = list->visualItemRect(list->topLevelItem(0)).height();
    for (const auto &[top, shown] : {std::pair{7, false}, std::pair{8, true}}) {
        list->verticalScrollBar()->setValue(3 * rowHeight + originY - top);
        ASSERT_EQ(list->ClientRowTop(list->topLevelItem(3)), top);
        const QProgressBar *bar = form->RowProgressBar(3);
        EXPECT_EQ(bar->isVisible(), shown) << top;
        EXPECT_EQ(clientTop(bar), top + 2) << top;
        EXPECT_EQ(bar->x(), 250) << top;
    }
}

TEST(MainForm, BarsFollowAResizedColumnWhenItIsReleased)
{
    TestDisc disc(tones(2, 750));
    ErrorRecorder errors;
    std::unique_ptr<TDlgMainForm> form = openMainWindow();
    ASSERT_TRUE(form);
    TListViewEx *list = form->ui->ListViewEx1;
    dragDivider(list, 1, {10, 30}, [&] {
        EXPECT_EQ(list->columnWidth(1), 150);
        EXPECT_EQ(form->RowProgressBar(0)->x(), 250);
        EXPECT_TRUE(list->TrackingLine()->isVisible());
    });
    EXPECT_EQ(list->columnWidth(1), 180);
    EXPECT_FALSE(list->TrackingLine()->isVisible());
    EXPECT_EQ(form->RowProgressBar(0)->x(), 280);
    EXPECT_EQ(form->RowProgressBar(1)->x(), 280);
}
