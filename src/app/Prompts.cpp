#include "app/Prompts.h"

#include "app/LookupDialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>

void TDialogPrompts::ShowError(QWidget *parent, const QString &message)
{
    QMessageBox::critical(parent, QGuiApplication::applicationDisplayName(), message);
}

Overwrite TDialogPrompts::AskOverwrite(QWidget *parent, const QStringList &files)
{
    QStringList names;
    for (const QString &file : files.mid(0, 6))
        names << QFileInfo(file).fileName();
    if (files.size() > 6)
        names << QString("... e altri %1").arg(files.size() - 6);
    QMessageBox box(QMessageBox::Question, QGuiApplication::applicationDisplayName(),
                    "Nella cartella di destinazione ci sono già file con i nomi di questa estrazione:\n\n" +
                        names.join('\n'),
                    QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    QPushButton *replace = box.addButton("Sostituisci", QMessageBox::DestructiveRole);
    QPushButton *keep = box.addButton("Mantieni entrambi", QMessageBox::AcceptRole);
    QPushButton *cancel = box.addButton("Annulla", QMessageBox::RejectRole);
    box.setDefaultButton(keep);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == replace ? Overwrite::Replace
           : box.clickedButton() == keep  ? Overwrite::KeepBoth
                                          : Overwrite::Cancel;
}

bool TDialogPrompts::AskInterrupt(QWidget *parent)
{
    QMessageBox box(QMessageBox::Question, QGuiApplication::applicationDisplayName(),
                    QStringLiteral("Interrompere l'estrazione?"), QMessageBox::NoButton, parent);
    QPushButton *interrupt = box.addButton("Interrompi", QMessageBox::DestructiveRole);
    QPushButton *goOn = box.addButton("Continua", QMessageBox::RejectRole);
    box.setDefaultButton(goOn);
    box.setEscapeButton(goOn);
    box.exec();
    return box.clickedButton() == interrupt;
}

int TDialogPrompts::ChooseEdition(QWidget *parent, const std::vector<DiscEdition> &editions)
{
    return ChooseEditionDialog(parent, editions);
}

bool TDialogPrompts::EditDiscDetails(QWidget *parent, DiscDetails &details)
{
    return EditDiscDetailsDialog(parent, details);
}

QString TDialogPrompts::BrowseForFolder(QWidget *parent, const QString &title, const QString &start)
{
    return QFileDialog::getExistingDirectory(parent, title, start);
}

QStringList TDialogPrompts::ChooseWavFiles(QWidget *parent)
{
    QFileDialog dialog(parent);
    dialog.setNameFilter("WAV Files (*.wav)");
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setOption(QFileDialog::ReadOnly, false);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList();
}
