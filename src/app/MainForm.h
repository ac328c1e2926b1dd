#pragma once

#include "app/Prompts.h"
#include "session/DiscSession.h"

#include <QWidget>

#include <functional>
#include <memory>

class QProgressBar;
class QTreeWidgetItem;
class TMP3Coder;
class TQuarle;
class TRunView;
class TSettingsPages;
class TTrackListView;
class TWindowChrome;

namespace Ui
{
class TDlgMainForm;
}

// The program's one window, a view of the disc session: the drives, the disc's audio tracks as checked
// rows with a progress bar each, the output choices and the destination folder. The controls live in
// `ui` under their form names; the session holds the disc and runs the jobs, the track list, the run's
// view and the settings pages show them, and every question goes through the prompts.
class TDlgMainForm : public QWidget
{
    Q_OBJECT

public:
    // Creates the controls and the session and runs FormCreate. Raises the session's failure when no
    // drive is usable. Without prompts the window asks through dialogs of its own.
    explicit TDlgMainForm(TDiscSession::Services services = {}, TPrompts *prompts = nullptr,
                          QWidget *parent = nullptr);
    ~TDlgMainForm() override;

    // The program's start: the window, or null after the failure's text was shown.
    static std::unique_ptr<TDlgMainForm> CreateMainForm(TDiscSession::Services services = {},
                                                        TPrompts *prompts = nullptr);

    // Runs a handler. A failure ends it and its message is shown; the window stays open.
    void Guarded(const std::function<void()> &handler);

    std::unique_ptr<Ui::TDlgMainForm> ui;
    TQuarle *Quarle = nullptr;     // the session's
    TMP3Coder *MP3Coder = nullptr; // the session's
    TWindowChrome *Chrome = nullptr;
    TDiscSession &Session() const { return *m_session; }
    TPrompts &Prompts() const { return *m_prompts; }

    bool FActivated() const { return m_activated; }

    // Handlers.
    void FormCreate();
    void FormActivate();
    void FormClose();
    void CbBoxActiveCDRomChange();
    void BtnRefreshClick();
    void ListViewEx1MouseDown(QObject *sender, Qt::MouseButton button, const QPoint &pos);
    void ListViewEx1MouseUp(QObject *sender, Qt::MouseButton button, const QPoint &pos);
    void ListViewEx1EndColumnResize(QObject *sender, int columnIndex, int columnWidth);
    void Label14Click();
    void Label15Click();
    void dirbuttonClick();
    void BtnExtraireClick();
    void BtnCancelExtraireClick();
    void RGroupFormatExtractionClick();
    void BtnChoisirFichierWavClick();
    void BtnConvertWavClick();
    void BtnCancelConvertWavClick();
    void TrackBarVBRQualityChange();

    // Operations the handlers share.
    void ActivateOnce();
    void SelectDriveAndListTracks();
    void UpdateExtractButtons();
    // The drive box's selected index: -1 when typing left a text that names no drive.
    int CbBoxActiveCDRomItemIndex() const;
    // The progress bar that row `row` owns.
    QProgressBar *RowProgressBar(int row) const;
    bool ExtractionRunning() const;
    // The extraction as the controls ask for it now, and the plan the session makes of it.
    TExtractionRequest ExtractionRequest() const;
    TExtractionPlan ExtractionPlan() const;
    // A row's description edited in place (F2, a double click), and the disc label's details (a double
    // click on it): they name and tag the files as a lookup's titles would.
    void EditRowDescription(int row);
    void RowDescriptionEdited(QTreeWidgetItem *item, int column);
    void EditDiscDetails();
    TSettingsPages &Pages() const { return *m_pages; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void ConnectHandlers();
    void ShowDisc();
    std::function<void()> Handler(void (TDlgMainForm::*method)());
    void ReportFailure(const QString &message);

    std::unique_ptr<TPrompts> m_ownPrompts;
    TPrompts *m_prompts = nullptr;
    TDiscSession *m_session = nullptr;
    std::unique_ptr<TTrackListView> m_rows;
    std::unique_ptr<TSettingsPages> m_pages;
    TRunView *m_runView = nullptr;
    bool m_activated = false;
    bool m_reportingFailure = false;
    bool m_askingToInterrupt = false; // "Interrompere l'estrazione?" is on screen
    bool m_skipActivation = false;
};
