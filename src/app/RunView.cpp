#include "app/RunView.h"

#include "app/MainFormUi.h"
#include "app/Prompts.h"
#include "app/TrackListView.h"

#include <QApplication>
#include <QProgressBar>

TRunView::TRunView(Ui::TDlgMainForm &ui, TTrackListView &rows, TDiscSession &session, TPrompts &prompts,
                   Window window)
    : QObject(window.widget), m_ui(ui), m_rows(rows), m_session(session), m_prompts(prompts),
      m_window(std::move(window))
{
    TDiscSession *s = &session;
    connect(s, &TDiscSession::JobStarted, this, &TRunView::JobStarted);
    connect(s, &TDiscSession::JobEnded, this, &TRunView::JobEnded);

    connect(s, &TDiscSession::RequestUrl, this, [this](const QString &url) { m_ui.Edit5->setText(url); });
    connect(s, &TDiscSession::Document, this,
            [this](const QString &text) { m_ui.pagina->setPlainText(text); });
    connect(s, &TDiscSession::Warning, this,
            [this](const QString &message) { m_window.reportFailure(message); });
    connect(s, &TDiscSession::EditionsOffered, this, [this](const std::vector<DiscEdition> &editions) {
        m_session.AnswerEdition(m_prompts.ChooseEdition(m_window.widget, editions));
    });
    connect(s, &TDiscSession::LookupAsking, this, [this](const QString &source) {
        m_ui.LabelEnCours->setText("Ricerca dei titoli... (" + source + ")");
    });
    connect(s, &TDiscSession::LookupEnded, this, [this](TitleSource source, const QString &failure) {
        if (source != TitleSource::Declined) {
            m_window.showDisc();
            m_ui.LabelEnCours->setText(TitleSourceText(source));
        }
        if (!failure.isEmpty())
            m_window.reportFailure(failure);
    });

    connect(s, &TDiscSession::OverwriteAsked, this, [this](const QStringList &files) {
        m_session.AnswerOverwrite(m_prompts.AskOverwrite(m_window.widget, files));
    });
    connect(s, &TDiscSession::TrackStarted, this, [this](int row, int trackNum) {
        m_rows.ShowRipping(row);
        CDRIP1BeginTrack(&m_session, uint16_t(trackNum));
    });
    connect(s, &TDiscSession::Progress, this,
            [this](int row, int, int percent) { CDRIP1Progress(&m_session, uint16_t(percent), row); });
    connect(s, &TDiscSession::TrackFinished, this,
            [this](const TTrackReport &report) { CDRIP1EndTrack(&m_session, report); });
    // Once the run is done the status line tells how it went as a whole, with each later verdict counted.
    connect(s, &TDiscSession::TrackVerified, this, [this](const TTrackReport &report) {
        m_ui.LabelEnCours->setText(report.summary.isEmpty() ? report.status : report.summary);
        m_rows.ShowResult(report.row, report.result);
    });
    connect(s, &TDiscSession::LogFailed, this,
            [this](const QString &message) { m_ui.LabelEnCours->setText(message); });
    connect(s, &TDiscSession::ExtractionEnded, this, [this](const TRunReport &report) {
        const QString status =
            QStringList({report.failure.isEmpty() ? report.summary : report.failure, report.logError})
                .join("  ")
                .trimmed();
        if (!status.isEmpty())
            m_ui.LabelEnCours->setText(status);
        if (!report.failure.isEmpty())
            m_window.reportFailure(report.failure);
    });

    connect(s, &TDiscSession::ConversionFileStarted, this, [this](int index, const QString &file) {
        LameCoder1BeginFile(&m_session, uint16_t(index), file);
    });
    connect(s, &TDiscSession::ConversionProgress, this,
            [this](int percent) { LameCoder1Progress(&m_session, uint16_t(percent)); });
    connect(s, &TDiscSession::ConversionEnded, this, [this](const QString &failure) {
        if (!failure.isEmpty())
            m_window.reportFailure(failure);
    });
}

void TRunView::Hold(std::initializer_list<QWidget *> controls)
{
    for (QWidget *control : controls) {
        m_held.emplace_back(control, control->isEnabled());
        control->setEnabled(false);
    }
}

// While a lookup runs the window stays live. "Estrai" and the drive box are held, so that no extraction
// starts on rows that the lookup is about to rebuild and no other drive's rows take this disc's titles,
// and so are the rows and the select labels, whose handlers would enable "Estrai" again; "Annulla" ends
// the lookup. They come back as they were however it ends. An extraction holds every choice it was
// made of.
void TRunView::JobStarted(TDiscSession::Job job)
{
    switch (job) {
    case TDiscSession::Job::Lookup:
        m_ui.LabelEnCours->setText(QStringLiteral("Ricerca dei titoli..."));
        Hold({m_ui.dxButton2, m_ui.CbBoxActiveCDRom, m_ui.ListViewEx1, m_ui.Label14, m_ui.Label15});
        m_held.emplace_back(m_ui.dxButton3, m_ui.dxButton3->isEnabled());
        m_ui.dxButton3->setEnabled(true);
        QApplication::setOverrideCursor(Qt::BusyCursor);
        break;
    case TDiscSession::Job::Extraction: {
        QWidget *const held[] = {
            m_ui.Label14,        m_ui.Label15,          m_ui.ListViewEx1,    m_ui.RGroupFormatExtraction,
            m_ui.PageControl1,   m_ui.CbBoxActiveCDRom, m_ui.CBoxSampleRate, m_ui.CBoxBitRate,
            m_ui.CBoxMaxBitRate, m_ui.CBoxMode,         m_ui.CBoxQuality,    m_ui.ProxyHostEdit,
            m_ui.ProxyPortEdit,  m_ui.ProxyUsername,    m_ui.ProxyPassword,  m_ui.dirbutton,
            m_ui.dxButton1,      m_ui.dxButton2};
        for (QWidget *w : held)
            w->setEnabled(false);
        m_ui.dxButton3->setEnabled(true);
        m_rows.ClearResults();
        break;
    }
    case TDiscSession::Job::Conversion:
    case TDiscSession::Job::None:
        break;
    }
}

void TRunView::JobEnded(TDiscSession::Job job)
{
    if (job == TDiscSession::Job::Lookup) {
        for (const auto &[control, enabled] : m_held)
            control->setEnabled(enabled);
        m_held.clear();
        QApplication::restoreOverrideCursor();
    } else if (job == TDiscSession::Job::Extraction) {
        QWidget *const released[] = {
            m_ui.Label14,          m_ui.Label15,        m_ui.ListViewEx1,   m_ui.RGroupFormatExtraction,
            m_ui.CbBoxActiveCDRom, m_ui.CBoxSampleRate, m_ui.CBoxBitRate,   m_ui.CBoxMaxBitRate,
            m_ui.CBoxMode,         m_ui.CBoxQuality,    m_ui.ProxyHostEdit, m_ui.ProxyPortEdit,
            m_ui.ProxyUsername,    m_ui.ProxyPassword,  m_ui.dirbutton,     m_ui.PageControl1,
            m_ui.dxButton1};
        for (QWidget *w : released)
            w->setEnabled(true);
        // "Annulla" goes; "Estrai" takes up the rows still checked (failed or cancelled ones).
        m_window.updateButtons();
    }
}

void TRunView::CDRIP1BeginTrack(QObject *, uint16_t trackNum)
{
    m_ui.LabelEnCours->setText("Estrazione della traccia " + QString::number(trackNum));
}

void TRunView::CDRIP1Progress(QObject *, uint16_t percentComplete, int row)
{
    if (QProgressBar *bar = m_rows.Bar(row))
        bar->setValue(percentComplete);
}

// Only a complete track's row loses its check mark: a cancelled, failed or damaged one stays checked,
// for "Estrai" to take up again. Its bar stays full and says how the track ended until the next
// extraction (or "Aggiorna", which makes the rows anew).
void TRunView::CDRIP1EndTrack(QObject *, const TTrackReport &report)
{
    m_ui.LabelEnCours->setText(report.status);
    m_ui.ProgressBar1->setValue(0);
    if (report.outcome.kind == TTrackOutcome::Complete)
        m_rows.SetChecked(report.row, false);
    m_rows.ShowResult(report.row, report.result);
}

void TRunView::LameCoder1BeginFile(QObject *, uint16_t, const QString &fileName)
{
    m_ui.LabelEnCours->setText("Codifica di " + fileName);
}

void TRunView::LameCoder1Progress(QObject *, uint16_t percentComplete)
{
    m_ui.ProgressBar1->setValue(percentComplete);
}
