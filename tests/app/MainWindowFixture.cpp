#include "MainWindowFixture.h"

#include "app/ListViewEx.h"
#include "app/MainFormUi.h"

#include <QHeaderView>
#include <QProgressBar>
#include <QStyleOptionViewItem>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

Overwrite ScriptedPrompts::AskOverwrite(QWidget *, const QStringList &files)
{
    if (overwrite)
        return overwrite(files);
    ADD_FAILURE() << "unexpected question about " << files.join(", ").toStdString();
    return Overwrite::Cancel;
}

bool ScriptedPrompts::AskInterrupt(QWidget *)
{
    if (interrupt)
        return interrupt();
    ADD_FAILURE() << "unexpected question: Interrompere l'estrazione?";
    return true;
}

int ScriptedPrompts::ChooseEdition(QWidget *, const std::vector<DiscEdition> &editions)
{
    if (edition)
        return edition(editions);
    ADD_FAILURE() << "unexpected choice among " << editions.size() << " editions";
    return -1;
}

bool ScriptedPrompts::EditDiscDetails(QWidget *, DiscDetails &d)
{
    return details && details(d);
}

QString TestProgramDir()
{
    static QTemporaryDir folder;
    return folder.path();
}

TDiscSession::Services TestServices()
{
    TDiscSession::Services services;
    services.programDir = [] { return TestProgramDir(); };
    services.fetchAccurateRipFile = [](THttpCli &http, const ProxySettings &proxy, const QString &url,
                                       qint64 maxBytes) {
        return proxy.host.isEmpty() ? TFetchedFile() : FetchFile(http, proxy, url, maxBytes);
    };
    services.fetchMusicBrainz = [](THttpCli &, const ProxySettings &, const QString &) {
        return TFetchedFile();
    };
    return services;
}

bool waitForJob(TDlgMainForm &form)
{
    const bool ended =
        QTest::qWaitFor([&] { return form.Session().Running() == TDiscSession::Job::None; }, 120000);
    QTest::qWait(50);
    return ended;
}

std::unique_ptr<TDlgMainForm> openMainWindow(ScriptedPrompts &prompts, TDiscSession::Services services)
{
    std::unique_ptr<TDlgMainForm> form = TDlgMainForm::CreateMainForm(std::move(services), &prompts);
    if (form) {
        form->show();
        form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
    return form;
}

std::vector<RowView> rowsOf(const TDlgMainForm &form)
{
    std::vector<RowView> rows;
    const TListViewEx *list = form.ui->ListViewEx1;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = list->topLevelItem(i);
        const QProgressBar *bar = form.RowProgressBar(i);
        rows.push_back({item->text(1), item->checkState(0) == Qt::Checked,
                        bar && bar->isTextVisible() && bar->value() == 100 ? bar->text() : QString()});
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
    QStyleOptionViewItem option;
    option.initFrom(list);
    option.rect = list->visualRect(list->model()->index(row, 0));
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    option.text = list->topLevelItem(row)->text(0);
    return list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list).center();
}

void dragDivider(QWidget *listWidget, int section, const std::vector<int> &steps)
{
    QHeaderView *header = static_cast<TListViewEx *>(listWidget)->header();
    const QPoint divider(header->sectionViewportPosition(section) + header->sectionSize(section),
                         header->viewport()->height() / 2);
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, divider);
    for (int dx : steps)
        QTest::mouseMove(header->viewport(), divider + QPoint(dx, 0));
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {},
                        divider + QPoint(steps.empty() ? 0 : steps.back(), 0));
}
