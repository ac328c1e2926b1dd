#pragma once

#include "session/DiscSession.h"

#include <QString>
#include <QStringList>

#include <vector>

class QWidget;

// Every question the window puts to the user, and its error box: one interface that the window hands
// to its parts. The program's are dialogs (TDialogPrompts); the tests and the benchmarks answer in
// their place.
class TPrompts
{
public:
    virtual ~TPrompts() = default;

    virtual void ShowError(QWidget *parent, const QString &message) = 0;
    // Files of an extraction are in the folder already: replace them, keep both, or rip nothing.
    virtual Overwrite AskOverwrite(QWidget *parent, const QStringList &files) = 0;
    // "Interrompere l'estrazione?" as the window closes during one: true for "Interrompi", false for
    // "Continua".
    virtual bool AskInterrupt(QWidget *parent) = 0;
    // Several editions of the disc: the index of the one to take, -1 for none.
    virtual int ChooseEdition(QWidget *parent, const std::vector<DiscEdition> &editions) = 0;
    // The disc label's details as the user corrects them; false when the user cancels.
    virtual bool EditDiscDetails(QWidget *parent, DiscDetails &details) = 0;
    // The chosen folder's path, empty when the user cancels; `start` is where the browser opens.
    virtual QString BrowseForFolder(QWidget *parent, const QString &title, const QString &start) = 0;
    // The WAV files to convert, empty when the user cancels.
    virtual QStringList ChooseWavFiles(QWidget *parent) = 0;
};

// The program's own: message boxes, "Scegli l'edizione", the disc's details, the folder browser and
// the file dialog.
class TDialogPrompts : public TPrompts
{
public:
    void ShowError(QWidget *parent, const QString &message) override;
    Overwrite AskOverwrite(QWidget *parent, const QStringList &files) override;
    bool AskInterrupt(QWidget *parent) override;
    int ChooseEdition(QWidget *parent, const std::vector<DiscEdition> &editions) override;
    bool EditDiscDetails(QWidget *parent, DiscDetails &details) override;
    QString BrowseForFolder(QWidget *parent, const QString &title, const QString &start) override;
    QStringList ChooseWavFiles(QWidget *parent) override;
};
