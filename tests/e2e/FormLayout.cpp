#include "FormLayout.h"

#include "app/ListViewEx.h"
#include "app/MainForm.h"
#include "app/MainFormUi.h"

#include <QRadioButton>
#include <QStyleOptionButton>

FormLayout::FormLayout()
{
    // An error box would wait for a click that never comes off screen: keep the messages instead.
    const auto saved = TDlgMainForm::showError;
    TDlgMainForm::showError = [this](QWidget *, const QString &message) { m_errors << message; };
    m_form = TDlgMainForm::CreateMainForm();
    if (m_form) {
        m_form->show();
        m_form->Guarded([this] { m_form->ActivateOnce(); });
    }
    TDlgMainForm::showError = saved;
}

FormLayout::~FormLayout() = default;

QPoint FormLayout::ClickPoint(const QString &controlName) const
{
    const QWidget *control = m_form ? m_form->findChild<QWidget *>(controlName) : nullptr;
    if (!control)
        return {-1, -1};
    QRect target = control->rect();
    if (const auto *radio = qobject_cast<const QRadioButton *>(control)) {
        // A radio button answers a press on its indicator and label only, not on the rest of its box.
        QStyleOptionButton option;
        option.initFrom(radio);
        option.text = radio->text();
        target = radio->style()->subElementRect(QStyle::SE_RadioButtonClickRect, &option, radio);
    }
    return control->mapTo(m_form.get(), target.center());
}

QPoint FormLayout::RowPoint(int row, int column) const
{
    if (!m_form)
        return {-1, -1};
    const TListViewEx *list = m_form->ui->ListViewEx1;
    const QRect cell = list->visualRect(list->model()->index(row, column));
    return list->viewport()->mapTo(m_form.get(), cell.center());
}

int FormLayout::RowCount() const
{
    return m_form ? m_form->ui->ListViewEx1->topLevelItemCount() : 0;
}
