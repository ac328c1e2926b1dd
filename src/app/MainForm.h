#pragma once

#include "session/DiscLookup.h"
#include "app/LookupDialogs.h"
#include "session/SettingsFile.h"
#include "disc/CdRip_dll.h"
#include "rip/ExtractionRun.h"
#include "rip/TrackTags.h"

#include <QWidget>

#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QProgressBar;
class QTreeWidgetItem;
class THttpCli;
class TMP3Coder;
class TQuarle;
class TWindowChrome;

namespace Ui
{
class TDlgMainForm;
}

// The program's one window: the drives, the disc's audio tracks as checked rows with a progress
// bar each, the output choices and the destination folder. The controls live in `ui` under their
// form names; the extraction and conversion jobs, the settings file and the disc-database lookup
// are hooks that their own sources fill in.
class TDlgMainForm : public QWidget
{
    Q_OBJECT

public:
    // Creates the controls and the ripper and runs FormCreate. Raises the ripper's failure when no
    // drive is usable.
    explicit TDlgMainForm(QWidget *parent = nullptr, CdRipApi api = CdRipApi::library());
    ~TDlgMainForm() override;

    // The program's start: the window, or null after the failure's text was shown.
    static std::unique_ptr<TDlgMainForm> CreateMainForm(CdRipApi api = CdRipApi::library());

    // How a failure's text reaches the user (an error box); tests put a recorder in its place.
    static std::function<void(QWidget *parent, const QString &message)> showError;
    // The question asked before an extraction would write over files of the folder (given): replace
    // them, keep both (the new files get other names), or rip nothing.
    enum class Overwrite { Replace, KeepBoth, Cancel };
    static std::function<Overwrite(QWidget *parent, const QStringList &files)> askOverwrite;
    // How an extraction fetches the AccurateRip database's files; the tests keep it on this machine.
    static TExtractionRun::Fetch fetchAccurateRipFile;
    // How "Aggiorna" asks MusicBrainz for the disc (the URL is the lookup's); the tests keep it on this
    // machine.
    static std::function<TFetchedFile(THttpCli &http, const ProxySettings &proxy, const QString &url)>
        fetchMusicBrainz;
    // The choice among several editions of the disc, and the disc label's details as the user corrects
    // them (LookupDialogs.h).
    static std::function<int(QWidget *parent, const std::vector<DiscEdition> &editions)> chooseEdition;
    static std::function<bool(QWidget *parent, DiscDetails &details)> editDiscDetails;
    // The folder browser: the chosen folder's path, empty when the user cancels.
    static std::function<QString(QWidget *parent, const QString &title)> browseForFolder;

    // Runs a handler. A failure ends it and its message is shown; the window stays open.
    void Guarded(const std::function<void()> &handler);

    // The file-open dialog for the WAV files to convert: the chosen paths, empty when cancelled.
    static std::function<QStringList(QWidget *parent)> chooseWavFiles;
    // The program's folder: "quarle.ini" and the document file "temp" live there while the user may
    // write it, else in the user's own folders (FileLocations.h).
    static std::function<QString()> programDir;

    std::unique_ptr<Ui::TDlgMainForm> ui;
    TQuarle *Quarle = nullptr;
    TMP3Coder *MP3Coder = nullptr;
    THttpCli *HttpCli1 = nullptr;
    TWindowChrome *Chrome = nullptr;

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

    // Operations the handlers share.
    void ActivateOnce();
    void SelectDriveAndListTracks();
    void AddTrackRow(const QString &description, const QString &duration);
    void ClearTrackRows();
    void PlaceRowProgressBars();
    void UpdateExtractButtons();

    // The drive box's selected index: -1 when typing left a text that names no drive.
    int CbBoxActiveCDRomItemIndex() const;
    // The format choice: "MP3", "Wav", "FLAC", or the samples alone when none is chosen.
    AudioFormat ExtractionFormat() const;
    void setExtractionFormat(AudioFormat format);
    // The progress bar that row `row` owns.
    QProgressBar *RowProgressBar(int row) const;

    // "m:ss" for a track length in sectors (75 a second), the minutes padded to three characters.
    // Raises Exception when the text is not an integer.
    static QString DurationText(const QString &sectors);

    // The four fields of the "Config. Proxy" page, as every fetch reads them.
    ProxySettings ProxyPage() const;
    // The servers of quarle-servers.ini, beside the settings file.
    ServerSettings Servers() const;
    // The disc-database lookup (MainFormLookup.cpp): where the titles came from.
    TitleSource QueryDiscDatabase();
    // A row's description edited in place (F2, a double click), and the disc label's details
    // (a double click on it): they name and tag the files as a lookup's titles would.
    void EditRowDescription(int row);
    void RowDescriptionEdited(QTreeWidgetItem *item, int column);
    void EditDiscDetails();
    // The settings file (MainFormSettings.cpp).
    void LoadSettings();
    void SaveSettings();

    // The extraction job (ExtractionJob.cpp): the click hands the run a plan taken from the
    // controls, and the run's events come back to the handlers below, on the window's thread.
    void BtnExtraireClick();
    void BtnCancelExtraireClick();
    TExtractionPlan ExtractionPlan() const;
    void CDRIP1BeginTrack(QObject *sender, uint16_t trackNum);
    void CDRIP1Progress(QObject *sender, uint16_t percentComplete, uint16_t trackNum);
    void CDRIP1EndTrack(QObject *sender, const TTrackReport &report);
    bool ExtractionRunning() const;
    // Ends the last run at once: the track in progress is interrupted, no further track starts, the
    // wait for its verdicts ends, and this returns once its threads have ended and its log is written.
    void StopExtraction();

    // The format choice, the "codec MP3" page and the conversion job (ConversionJob.cpp).
    using CoderPage = TCoderPage;
    void RGroupFormatExtractionClick();
    void ApplyExtractionFormat(AudioFormat format);
    CoderPage ReadCoderPage() const;
    void ApplyCoderSettings(const CoderPage &page);
    void ChooseWavFiles();
    void ConvertWavFiles();
    void BtnChoisirFichierWavClick();
    void BtnConvertWavClick();
    void BtnCancelConvertWavClick();
    void LameCoder1BeginFile(QObject *sender, uint16_t num, const QString &fileName);
    void LameCoder1Progress(QObject *sender, uint16_t percentComplete);
    void TrackBarVBRQualityChange();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void CreateComponents(CdRipApi api);
    void ConnectHandlers();
    void CopyTrackCaptions();
    void AddRowsFromDescriptions();
    std::function<void()> Handler(void (TDlgMainForm::*method)());
    void ReportFailure(const QString &message);

    QStringList m_pagina; // the lines of the last document fetched
    DiscTags m_discTags;  // what the last lookup said about the disc of the rows
    // The last extraction: it may be ripping, or be done and still wait for its verdicts.
    std::unique_ptr<TExtractionRun> m_run;
    int m_runGeneration = 0; // counts the runs
    bool m_extracting = false;
    bool m_converting = false;
    bool m_activated = false;
    bool m_reportingFailure = false;
    bool m_skipActivation = false;
};
