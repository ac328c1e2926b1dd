// The extraction job on the window's side: the plan taken from the controls at the click, and the
// run's events shown in the rows, their bars and the status line. The run itself (src/rip) reads no
// control.
#include "session/FileLocations.h"
#include "app/MainForm.h"
#include "app/MainFormUi.h"

#include "disc/Quarle.h"
#include "platform/Exception.h"
#include "rip/ExtractionRun.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>

TExtractionRun::Fetch TDlgMainForm::fetchAccurateRipFile = FetchFile;

std::function<TDlgMainForm::Overwrite(QWidget *, const QStringList &)> TDlgMainForm::askOverwrite =
    [](QWidget *parent, const QStringList &files) {
        QStringList names;
        for (const QString &file : files.mid(0, 6))
            names << QFileInfo(file).fileName();
        if (files.size() > 6)
            names << QString("... e altri %1").arg(files.size() - 6);
        QMessageBox box(
            QMessageBox::Question, QGuiApplication::applicationDisplayName(),
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
    };

bool TDlgMainForm::ExtractionRunning() const
{
    return m_extracting;
}

TExtractionPlan TDlgMainForm::ExtractionPlan() const
{
    TExtractionPlan plan;
    plan.format = ExtractionFormat();
    plan.coder = ReadCoderPage();
    plan.folder = ui->dir->text();
    plan.proxy = ProxyPage();
    const QString label = ui->LabeActiveCDRom->text();
    plan.discLabel = label == Quarle->CdRomName() ? QString() : label;
    const QString cache = ProgramCacheFolder(UserFolders::Standard());
    if (MakePrivateFolder(cache))
        plan.driveOffsetsFile = QDir(cache).filePath(QStringLiteral("DriveOffsets.bin"));
    // The release's front cover, when the titles came from MusicBrainz and the files have tags.
    if (!m_discTags.releaseId.isEmpty() && IsTagged(plan.format)) {
        QString server = Servers().coverArt;
        if (server.isEmpty())
            server = QStringLiteral("https://coverartarchive.org");
        while (server.endsWith('/'))
            server.chop(1);
        plan.coverUrl = server + "/release/" + QUrl::toPercentEncoding(m_discTags.releaseId) + "/front-500";
    }

    const QStringList captions = Quarle->Tracks().captions();
    const int rows = ui->ListViewEx1->topLevelItemCount();
    for (int i = 0; i < rows; ++i) {
        const QTreeWidgetItem *item = ui->ListViewEx1->topLevelItem(i);
        if (item->checkState(0) != Qt::Checked)
            continue;
        const QString title = item->text(1);
        plan.rows.push_back({i, uint16_t(i + 1), title,
                             captions.value(i, QString("Track %1").arg(i + 1, 2, 10, QChar('0'))), QString(),
                             TrackTagFields(m_discTags, i, rows, title)});
    }
    NameFiles(plan, false);
    return plan;
}

void TDlgMainForm::BtnExtraireClick()
{
    if (ExtractionRunning())
        return;
    // The coder serves one job at a time: a conversion started from the hidden group may be using it.
    if (m_converting)
        throw Exception("Attendere la fine della conversione prima di estrarre.");
    // An earlier run still waiting for its verdicts stops waiting (its log says so), so that its log
    // is final before this run writes one, perhaps of the same name.
    StopExtraction();

    QWidget *const disabled[] = {
        ui->Label14,        ui->Label15,          ui->ListViewEx1,    ui->RGroupFormatExtraction,
        ui->PageControl1,   ui->CbBoxActiveCDRom, ui->CBoxSampleRate, ui->CBoxBitRate,
        ui->CBoxMaxBitRate, ui->CBoxMode,         ui->CBoxQuality,    ui->ProxyHostEdit,
        ui->ProxyPortEdit,  ui->ProxyUsername,    ui->ProxyPassword,  ui->dirbutton,
        ui->dxButton1,      ui->dxButton2};
    TExtractionPlan plan = ExtractionPlan();
    // Nothing of the user's is replaced without a question.
    if (const QStringList existing = ExistingFiles(plan); !existing.isEmpty()) {
        switch (askOverwrite(this, existing)) {
        case Overwrite::Cancel:
            return;
        case Overwrite::KeepBoth:
            NameFiles(plan, true);
            break;
        case Overwrite::Replace:
            break;
        }
    }
    auto run = std::make_unique<TExtractionRun>(*Quarle, *MP3Coder, std::move(plan), fetchAccurateRipFile);
    for (QWidget *w : disabled)
        w->setEnabled(false);
    ui->dxButton3->setEnabled(true);

    TExtractionRun *events = run.get();
    connect(events, &TExtractionRun::TrackStarted, this, [this, events](int row, int trackNum) {
        TListViewEx *list = ui->ListViewEx1;
        if (row == 0)
            list->scrollToTop();
        else if (QTreeWidgetItem *above = list->topLevelItem(row - 1))
            list->scrollToItem(above, QAbstractItemView::PositionAtTop);
        PlaceRowProgressBars();
        CDRIP1BeginTrack(events, uint16_t(trackNum));
    });
    connect(events, &TExtractionRun::Progress, this, [this, events](int, int trackNum, int percent) {
        CDRIP1Progress(events, uint16_t(percent), uint16_t(trackNum));
    });
    connect(events, &TExtractionRun::TrackFinished, this,
            [this, events](const TTrackReport &report) { CDRIP1EndTrack(events, report); });
    // Late verdicts of a run that a later one has replaced are not this run's news.
    const int generation = ++m_runGeneration;
    connect(events, &TExtractionRun::TrackVerified, this, [this, generation](const TTrackReport &report) {
        if (generation == m_runGeneration)
            ui->LabelEnCours->setText(report.status);
    });
    connect(events, &TExtractionRun::LogFailed, this, [this, generation](const QString &message) {
        if (generation == m_runGeneration)
            ui->LabelEnCours->setText(message);
    });
    connect(events, &TExtractionRun::Finished, this, [this](const TRunReport &report) {
        m_extracting = false;
        QWidget *const enabled[] = {
            ui->Label14,          ui->Label15,        ui->ListViewEx1,   ui->RGroupFormatExtraction,
            ui->CbBoxActiveCDRom, ui->CBoxSampleRate, ui->CBoxBitRate,   ui->CBoxMaxBitRate,
            ui->CBoxMode,         ui->CBoxQuality,    ui->ProxyHostEdit, ui->ProxyPortEdit,
            ui->ProxyUsername,    ui->ProxyPassword,  ui->dirbutton,     ui->PageControl1,
            ui->dxButton1};
        for (QWidget *w : enabled)
            w->setEnabled(true);
        // "Annulla" goes; "Estrai" takes up the rows still checked (failed or cancelled ones).
        UpdateExtractButtons();
        const QString status = QStringList({report.failure, report.logError}).join("  ").trimmed();
        if (!status.isEmpty())
            ui->LabelEnCours->setText(status);
        if (!report.failure.isEmpty())
            ReportFailure(report.failure);
    });
    m_extracting = true;
    m_run = std::move(run);
    m_run->Start();
}

void TDlgMainForm::BtnCancelExtraireClick()
{
    if (m_extracting && m_run)
        m_run->CancelTrack();
}

void TDlgMainForm::StopExtraction()
{
    if (m_run) {
        m_run->Stop();
        m_run->Wait();
    }
    m_extracting = false;
}

void TDlgMainForm::CDRIP1BeginTrack(QObject *, uint16_t trackNum)
{
    ui->LabelEnCours->setText("Estrazione della traccia " + QString::number(trackNum));
}

void TDlgMainForm::CDRIP1Progress(QObject *, uint16_t percentComplete, uint16_t trackNum)
{
    if (QProgressBar *bar = RowProgressBar(trackNum - 1))
        bar->setValue(percentComplete);
}

// Only a complete track's row loses its check mark: a cancelled, failed or damaged one stays checked,
// for "Estrai" to take up again.
void TDlgMainForm::CDRIP1EndTrack(QObject *, const TTrackReport &report)
{
    ui->LabelEnCours->setText(report.status);
    ui->ProgressBar1->setValue(0);
    if (QTreeWidgetItem *item = ui->ListViewEx1->topLevelItem(report.row)) {
        if (report.outcome.kind == TTrackOutcome::Complete)
            item->setCheckState(0, Qt::Unchecked);
    }
    if (QProgressBar *bar = RowProgressBar(report.row))
        bar->setValue(0);
}
