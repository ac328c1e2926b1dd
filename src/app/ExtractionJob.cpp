// The extraction job: every checked row ripped into the destination folder, on a worker thread.
//
// The worker never touches a widget. Each change of a control is queued to the window's thread, so
// the changes arrive there in the order the job makes them; each read of a control is a call run on
// the window's thread that the worker waits for. The window's thread never waits for the worker,
// except when it closes, and then it keeps processing events while it waits.
#include "app/MainForm.h"
#include "app/MainFormUi.h"
#include "app/RipVerification.h"
#include "app/TrackFileNames.h"

#include "disc/Quarle.h"
#include "platform/Exception.h"
#include "platform/FileNames.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QProgressBar>
#include <QThread>

#include <exception>

class thread_di_estrazione : public QThread
{
public:
    explicit thread_di_estrazione(TDlgMainForm *form) : QThread(form), m_form(form) {}

protected:
    void run() override { m_form->ExtractCheckedTracks(); }

private:
    TDlgMainForm *m_form;
};

namespace
{

template <class F> void post(TDlgMainForm *window, F change)
{
    QMetaObject::invokeMethod(window, std::move(change), Qt::QueuedConnection);
}

template <class F> auto ask(TDlgMainForm *window, F read) -> decltype(read())
{
    if (QThread::currentThread() == window->thread())
        return read();
    decltype(read()) value{};
    QMetaObject::invokeMethod(
        window, [&] { value = read(); }, Qt::BlockingQueuedConnection);
    return value;
}

} // namespace

bool TDlgMainForm::ExtractionRunning() const
{
    return m_worker && m_worker->isRunning();
}

void TDlgMainForm::BtnExtraireClick()
{
    if (ExtractionRunning())
        return;
    // The coder serves one job at a time: a conversion started from the hidden group may be using it.
    if (m_converting)
        throw Exception("Attendere la fine della conversione prima di estrarre.");
    // Disabled here, on the window's thread, so that a second click before the worker's first step
    // cannot start a second worker.
    ui->dxButton2->setEnabled(false);
    m_stopExtraction = false;
    auto *worker = new thread_di_estrazione(this);
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    m_worker = worker;
    worker->start();
}

void TDlgMainForm::BtnCancelExtraireClick()
{
    Quarle->CancelRip();
}

void TDlgMainForm::StopExtraction()
{
    if (!ExtractionRunning())
        return;
    m_stopExtraction = true;
    Quarle->CancelRip();
    QEventLoop loop;
    connect(m_worker, &QThread::finished, &loop, &QEventLoop::quit);
    if (ExtractionRunning())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    // The worker's queued changes ran in the loop; anything later is for a window that is going.
    m_worker = nullptr;
}

void TDlgMainForm::ExtractCheckedTracks()
{
    QWidget *const disabled[] = {
        ui->Label14,        ui->Label15,          ui->ListViewEx1,    ui->RGroupFormatExtraction,
        ui->PageControl1,   ui->CbBoxActiveCDRom, ui->CBoxSampleRate, ui->CBoxBitRate,
        ui->CBoxMaxBitRate, ui->CBoxMode,         ui->CBoxQuality,    ui->ProxyHostEdit,
        ui->ProxyPortEdit,  ui->ProxyUsername,    ui->ProxyPassword,  ui->dirbutton,
        ui->dxButton1,      ui->dxButton2};
    QWidget *const enabled[] = {
        ui->Label14,          ui->Label15,        ui->ListViewEx1,   ui->RGroupFormatExtraction,
        ui->CbBoxActiveCDRom, ui->CBoxSampleRate, ui->CBoxBitRate,   ui->CBoxMaxBitRate,
        ui->CBoxMode,         ui->CBoxQuality,    ui->ProxyHostEdit, ui->ProxyPortEdit,
        ui->ProxyUsername,    ui->ProxyPassword,  ui->dirbutton,     ui->PageControl1,
        ui->dxButton1};
    post(this, [this, disabled] {
        for (QWidget *w : disabled)
            w->setEnabled(false);
        ui->dxButton3->setEnabled(true);
    });

    QString failure;
    try {
        const int format = ask(this, [this] { return RGroupFormatExtractionItemIndex(); });
        ApplyExtractionFormat(format);
        if (format == 0)
            ApplyCoderSettings(ask(this, [this] { return ReadCoderPage(); }));
        const int rows = ask(this, [this] { return ui->ListViewEx1->topLevelItemCount(); });
        TTrackFileNames names;
        TRipVerification verification(MakeVerificationSetup(
            *Quarle,
            ask(this,
                [this] {
                    return ProxySettings{ui->ProxyHostEdit->text(), ui->ProxyPortEdit->text(),
                                         ui->ProxyUsername->text(), ui->ProxyPassword->text()};
                }),
            m_stopExtraction));
        QString logFolder;
        const DiscTags discTags = ask(this, [this] { return m_discTags; });
        for (int i = 0; i < rows && !m_stopExtraction; ++i) {
            QString name;
            QString caption;
            QString folder;
            const bool checked = ask(this, [&] {
                QTreeWidgetItem *item = ui->ListViewEx1->topLevelItem(i);
                if (!item || item->checkState(0) != Qt::Checked)
                    return false;
                name = item->text(1);
                caption =
                    Quarle->Tracks().captions().value(i, QString("Track %1").arg(i + 1, 2, 10, QChar('0')));
                folder = ui->dir->text();
                return true;
            });
            if (!checked)
                continue;
            const QString ext = Quarle->WriteWav() ? ".wav" : ".pcm";
            const QString path = names.Next(folder, name, caption, ext, Quarle->Encode() ? ".mp3" : ext);
            post(this, [this, i] {
                TListViewEx *list = ui->ListViewEx1;
                if (i == 0)
                    list->scrollToTop();
                else if (QTreeWidgetItem *above = list->topLevelItem(i - 1))
                    list->scrollToItem(above, QAbstractItemView::PositionAtTop);
                PlaceRowProgressBars();
            });
            Quarle->RipTrack(uint16_t(i + 1), path);
            if (format == 0)
                TagExtractedTrack(ChangeFileExt(path, ".mp3"), discTags, i, rows, name);
            const QString verdict = verification.TrackRipped(
                Quarle->Tracks().object(i)->Number,
                QFileInfo(Quarle->Encode() ? ChangeFileExt(path, ".mp3") : path).fileName(),
                Quarle->TrackChecksum(), Quarle->JitterErrors());
            post(this, [this, verdict] { ui->LabelEnCours->setText(verdict); });
            logFolder = folder;
        }
        if (verification.HasTracks()) {
            const QString label = ask(this, [this] {
                const QString text = ui->LabeActiveCDRom->text();
                return text == Quarle->CdRomName() ? QString() : text;
            });
            verification.WriteLog(logFolder, label, QDateTime::currentDateTime());
        }
    } catch (const std::exception &e) {
        failure = QString::fromUtf8(e.what());
    } catch (...) {
        failure = "Errore sconosciuto durante l'estrazione";
    }

    post(this, [this, enabled, failure] {
        for (QWidget *w : enabled)
            w->setEnabled(true);
        ui->dxButton3->setEnabled(false);
        ui->dxButton2->setEnabled(false);
        if (!failure.isEmpty()) {
            // The failed row keeps its check mark; "Estrai" takes up the rows still checked.
            UpdateExtractButtons();
            ui->LabelEnCours->setText(failure);
            ReportFailure(failure);
        }
    });
}

void TDlgMainForm::CDRIP1BeginTrack(QObject *, uint16_t trackNum)
{
    // The rip has just cleared its cancel request: a close that came after this row was chosen must
    // still stop it.
    if (m_stopExtraction)
        Quarle->CancelRip();
    post(this, [this, trackNum] {
        ui->LabelEnCours->setText("Estrazione della traccia " + QString::number(trackNum));
    });
}

void TDlgMainForm::CDRIP1Progress(QObject *, uint16_t percentComplete, uint16_t trackNum)
{
    post(this, [this, percentComplete, trackNum] {
        if (QProgressBar *bar = RowProgressBar(trackNum - 1))
            bar->setValue(percentComplete);
    });
}

void TDlgMainForm::CDRIP1EndTrack(QObject *, uint16_t trackNum)
{
    post(this, [this, trackNum] {
        ui->LabelEnCours->setText(QString());
        ui->ProgressBar1->setValue(0);
        if (QTreeWidgetItem *item = ui->ListViewEx1->topLevelItem(trackNum - 1))
            item->setCheckState(0, Qt::Unchecked);
        if (QProgressBar *bar = RowProgressBar(trackNum - 1))
            bar->setValue(0);
    });
}
