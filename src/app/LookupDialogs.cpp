#include "app/LookupDialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace
{

// The buttons of both dialogs, in Italian whatever Qt's own translation says.
QDialogButtonBox *okCancel(QDialog &dialog)
{
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText("OK");
    buttons->button(QDialogButtonBox::Cancel)->setText("Annulla");
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    return buttons;
}

} // namespace

int ChooseEditionDialog(QWidget *parent, const std::vector<DiscEdition> &editions)
{
    QDialog dialog(parent);
    dialog.setWindowTitle("Scegli l'edizione");
    auto *list = new QTreeWidget(&dialog);
    list->setRootIsDecorated(false);
    list->setHeaderLabels({"Artista", "Titolo", "Anno", "Paese", "Etichetta / formato", "Tracce"});
    for (const DiscEdition &edition : editions) {
        auto *item = new QTreeWidgetItem(list, {edition.artist, edition.title, edition.year, edition.country,
                                                edition.labelOrFormat,
                                                edition.tracks > 0 ? QString::number(edition.tracks) : ""});
        item->setToolTip(1, edition.title);
    }
    list->setCurrentItem(list->topLevelItem(0));
    list->header()->resizeSections(QHeaderView::ResizeToContents);
    QObject::connect(list, &QTreeWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(list);
    layout->addWidget(okCancel(dialog));
    dialog.resize(560, 240);
    if (dialog.exec() != QDialog::Accepted || !list->currentItem())
        return -1;
    return list->indexOfTopLevelItem(list->currentItem());
}

bool EditDiscDetailsDialog(QWidget *parent, DiscDetails &details)
{
    QDialog dialog(parent);
    dialog.setWindowTitle("QUARLE");
    auto *form = new QFormLayout(&dialog);
    auto edit = [&](const QString &label, const QString &value) {
        auto *line = new QLineEdit(value, &dialog);
        form->addRow(label, line);
        return line;
    };
    QLineEdit *artist = edit("Artista", details.artist);
    QLineEdit *album = edit("Album", details.album);
    QLineEdit *year = edit("Anno", details.year);
    year->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,4}"), year));
    QLineEdit *genre = edit("Genere", details.genre);
    form->addRow(okCancel(dialog));
    dialog.setMinimumWidth(320);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    details = {artist->text().trimmed(), album->text().trimmed(), year->text(), genre->text().trimmed()};
    return true;
}
