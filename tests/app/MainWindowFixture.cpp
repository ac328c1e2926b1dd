#include "MainWindowFixture.h"

#include "app/ListViewEx.h"
#include "app/MainFormUi.h"

#include <QProgressBar>
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
    ADD_FAILURE() << "unexpected choice among " << editions.size() << " editions";
    return -1;
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
