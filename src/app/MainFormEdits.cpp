// What the user types into the window: a row's description in place (F2, a double click) and the disc
// label's details (a double click on it). They name and tag the files as a lookup's titles would.
#include "app/MainForm.h"

#include "app/ListViewEx.h"
#include "ui_MainForm.h"

#include <QKeyEvent>

void TDlgMainForm::EditRowDescription(int row)
{
    if (QTreeWidgetItem *item = ui->ListViewEx1->topLevelItem(row); item && ui->ListViewEx1->isEnabled())
        ui->ListViewEx1->editItem(item, 1);
}

// The edited text is the row's description from now on, as a title from the lookup would be.
void TDlgMainForm::RowDescriptionEdited(QTreeWidgetItem *item, int column)
{
    if (column == 1)
        m_session->SetDescription(ui->ListViewEx1->indexOfTopLevelItem(item), item->text(1));
}

void TDlgMainForm::EditDiscDetails()
{
    const DiscTags &tags = m_session->Tags();
    DiscDetails details{tags.artist, tags.album, tags.year, tags.genre};
    if (m_session->Running() != TDiscSession::Job::None || m_session->Rows().empty() ||
        !m_prompts->EditDiscDetails(this, details))
        return;
    m_session->SetDetails(details);
}

bool TDlgMainForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->LabeActiveCDRom && event->type() == QEvent::MouseButtonDblClick) {
        Guarded([this] { EditDiscDetails(); });
        return true;
    }
    if (watched == ui->ListViewEx1 && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_F2) {
        EditRowDescription(ui->ListViewEx1->indexOfTopLevelItem(ui->ListViewEx1->currentItem()));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
