#include "app/MainForm.h"

#include "app/ListViewEx.h"
#include "app/RunView.h"
#include "app/SettingsPages.h"
#include "app/TrackListView.h"
#include "app/WindowChrome.h"
#include "disc/Quarle.h"
#include "ui_MainForm.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QScreen>

#include <cstdio>

TDlgMainForm::TDlgMainForm(TDiscSession::Services services, TPrompts *prompts, QWidget *parent)
    : QWidget(parent), ui(new Ui::TDlgMainForm)
{
    if (!prompts) {
        m_ownPrompts = std::make_unique<TDialogPrompts>();
        prompts = m_ownPrompts.get();
    }
    m_prompts = prompts;
    if (!services.programDir)
        services.programDir = [] { return QCoreApplication::applicationDirPath(); };
    const std::function<QString()> programDir = services.programDir;

    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    ui->setupUi(this);
    setFixedSize(587, 394);
    // The layout was drawn for a narrow 8-point face; the condensed cut of the default sans, where
    // there is one, keeps its texts inside their controls.
    QFont face = font();
    face.setStretch(QFont::SemiCondensed);
    setFont(face);

    TListViewEx *list = ui->ListViewEx1;
    list->header()->setSectionsClickable(false);
    const int widths[] = {50, 150, 50, 108};
    for (int column = 0; column < 4; ++column)
        list->setColumnWidth(column, widths[column]);
    list->viewport()->setCursor(Qt::PointingHandCursor);
    ui->dirbutton->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));

    auto *formats = new QButtonGroup(this);
    for (QRadioButton *item :
         {ui->RGroupFormatExtractionMP3, ui->RGroupFormatExtractionWav, ui->RGroupFormatExtractionFLAC})
        formats->addButton(item);

    Chrome = new TWindowChrome(
        this, {ui->dxContainer1, ui->dxToolButton1, ui->dxToolButton2, ui->Label14, ui->Label15});

    m_session = new TDiscSession(std::move(services), this);
    Quarle = &m_session->Quarle();
    MP3Coder = &m_session->Coder();
    m_rows = std::make_unique<TTrackListView>(list);
    m_pages = std::make_unique<TSettingsPages>(*ui, programDir);
    m_runView =
        new TRunView(*ui, *m_rows, *m_session, *m_prompts,
                     {this, [this](const QString &message) { ReportFailure(message); },
                      [this] { Guarded([this] { ShowDisc(); }); }, [this] { UpdateExtractButtons(); }});
    connect(m_session, &TDiscSession::DiscChanged, this,
            [this] { ui->LabeActiveCDRom->setText(m_session->Label()); });

    ConnectHandlers();
    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    Guarded([this] { FormCreate(); });
}

// The controls outlive `ui` by a moment (the widget base deletes them): nothing they fire while going
// may reach the window's handlers. The session's jobs end first.
TDlgMainForm::~TDlgMainForm()
{
    m_session->Stop();
    disconnect(m_session, nullptr, nullptr, nullptr);
    TListViewEx *list = ui->ListViewEx1;
    list->OnMouseDown = nullptr;
    list->OnMouseUp = nullptr;
    list->OnEndColumnResize = nullptr;
    list->OnScroll = nullptr;
    ui->Label14->OnClick = nullptr;
    ui->Label15->OnClick = nullptr;
    for (QObject *control : findChildren<QObject *>())
        QObject::disconnect(control, nullptr, this, nullptr);
}

std::unique_ptr<TDlgMainForm> TDlgMainForm::CreateMainForm(TDiscSession::Services services, TPrompts *prompts)
{
    try {
        return std::make_unique<TDlgMainForm>(std::move(services), prompts);
    } catch (const std::exception &e) {
        // Also on stderr, for a start from a terminal or a script; the drive table's warnings that may
        // follow the first line are there already.
        const QString message = QString::fromUtf8(e.what());
        std::fprintf(stderr, "quarle: %s\n", qPrintable(message.section('\n', 0, 0)));
        TDialogPrompts dialogs;
        (prompts ? *prompts : static_cast<TPrompts &>(dialogs)).ShowError(nullptr, message);
        return nullptr;
    }
}

std::function<void()> TDlgMainForm::Handler(void (TDlgMainForm::*method)())
{
    return [this, method] { Guarded([this, method] { (this->*method)(); }); };
}

void TDlgMainForm::ConnectHandlers()
{
    TListViewEx *list = ui->ListViewEx1;
    list->OnMouseDown = [this](QObject *sender, Qt::MouseButton button, const QPoint &pos) {
        Guarded([&] { ListViewEx1MouseDown(sender, button, pos); });
    };
    list->OnMouseUp = [this](QObject *sender, Qt::MouseButton button, const QPoint &pos) {
        Guarded([&] { ListViewEx1MouseUp(sender, button, pos); });
    };
    list->OnEndColumnResize = [this](QObject *sender, int column, int width) {
        Guarded([&] { ListViewEx1EndColumnResize(sender, column, width); });
    };
    // Bars are children of the list, not cells of it: they follow scrolled rows only when placed
    // again, so every scroll places them.
    list->OnScroll = [this](QObject *) { Guarded([this] { m_rows->PlaceBars(); }); };

    // Only the description is edited, and only on F2 or a double click on it.
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->installEventFilter(this);
    connect(list, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item, int column) {
        if (column == 1)
            EditRowDescription(ui->ListViewEx1->indexOfTopLevelItem(item));
    });
    connect(list, &QTreeWidget::itemChanged, this, &TDlgMainForm::RowDescriptionEdited);
    ui->LabeActiveCDRom->installEventFilter(this);

    ui->Label14->OnClick = [this](QObject *) { Handler (&TDlgMainForm::Label14Click)(); };
    ui->Label15->OnClick = [this](QObject *) { Handler (&TDlgMainForm::Label15Click)(); };

    // A drive is chosen from the list (also the same one again) or typed.
    connect(ui->CbBoxActiveCDRom, &QComboBox::activated, this,
            Handler(&TDlgMainForm::CbBoxActiveCDRomChange));
    connect(ui->CbBoxActiveCDRom->lineEdit(), &QLineEdit::textEdited, this,
            Handler(&TDlgMainForm::CbBoxActiveCDRomChange));
    connect(ui->dxButton1, &QPushButton::clicked, this, Handler(&TDlgMainForm::BtnRefreshClick));
    connect(ui->dirbutton, &QToolButton::clicked, this, Handler(&TDlgMainForm::dirbuttonClick));
    connect(ui->dxButton2, &QPushButton::clicked, this, Handler(&TDlgMainForm::BtnExtraireClick));
    connect(ui->dxButton3, &QPushButton::clicked, this, Handler(&TDlgMainForm::BtnCancelExtraireClick));
    for (QRadioButton *item :
         {ui->RGroupFormatExtractionMP3, ui->RGroupFormatExtractionWav, ui->RGroupFormatExtractionFLAC})
        connect(item, &QRadioButton::clicked, this, Handler(&TDlgMainForm::RGroupFormatExtractionClick));
    connect(ui->BtnChoisirFichierWav, &QPushButton::clicked, this,
            Handler(&TDlgMainForm::BtnChoisirFichierWavClick));
    connect(ui->BtnConvertWav, &QPushButton::clicked, this, Handler(&TDlgMainForm::BtnConvertWavClick));
    connect(ui->BtnCancelConvertWav, &QPushButton::clicked, this,
            Handler(&TDlgMainForm::BtnCancelConvertWavClick));
    connect(ui->TrackBarVBRQuality, &QSlider::valueChanged, this,
            Handler(&TDlgMainForm::TrackBarVBRQualityChange));
}

void TDlgMainForm::Guarded(const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const std::exception &e) {
        ReportFailure(QString::fromUtf8(e.what()));
    }
}

// While the error box is up, and for the activation its closing gives back, the window's activation
// is not a new one: otherwise a failing first activation would show its box again without end.
void TDlgMainForm::ReportFailure(const QString &message)
{
    const bool wasActive = isActiveWindow();
    m_reportingFailure = true;
    m_prompts->ShowError(this, message);
    m_reportingFailure = false;
    m_skipActivation = wasActive && !isActiveWindow();
}

void TDlgMainForm::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange || !isActiveWindow() || m_reportingFailure)
        return;
    if (m_skipActivation) {
        m_skipActivation = false;
        return;
    }
    Guarded([this] { FormActivate(); });
}

// Whatever runs when the window closes ends first: the extraction (its track in progress is
// interrupted and every file closed), a lookup waiting for the network, a conversion. An extraction is
// not interrupted unasked: "Continua" keeps the window and the run (the question is asked once at a
// time; a close meanwhile waits for its answer).
void TDlgMainForm::closeEvent(QCloseEvent *event)
{
    if (ExtractionRunning()) {
        if (m_askingToInterrupt) {
            event->ignore();
            return;
        }
        m_askingToInterrupt = true;
        const bool interrupt = m_prompts->AskInterrupt(this);
        m_askingToInterrupt = false;
        if (!interrupt) {
            event->ignore();
            return;
        }
    }
    m_session->Stop();
    Guarded([this] { FormClose(); });
    event->accept();
}

void TDlgMainForm::FormCreate()
{
    TWindowChrome::HideTitleBar(this, true);
    ui->CBoxSampleRate->setCurrentIndex(0);
    ui->CBoxBitRate->setCurrentIndex(4);
    ui->CBoxMaxBitRate->setCurrentIndex(0);
    ui->CBoxMode->setCurrentIndex(0);
    ui->CBoxQuality->setCurrentIndex(0);
    ui->CbBoxActiveCDRom->setCurrentIndex(0);
    m_pages->Load([this] { RGroupFormatExtractionClick(); });
}

void TDlgMainForm::FormActivate()
{
    ActivateOnce();
}

void TDlgMainForm::FormClose()
{
    m_pages->Save();
}

// The first activation's work. A failure leaves FActivated false, so the next activation starts it
// again from the top.
void TDlgMainForm::ActivateOnce()
{
    if (m_activated)
        return;
    ui->CbBoxActiveCDRom->clear();
    ui->CbBoxActiveCDRom->addItems(m_session->DriveList());
    ui->CbBoxActiveCDRom->setCurrentIndex(0);
    ui->CbBoxActiveCDRom->lineEdit()->setCursorPosition(0);
    ui->LabelVBRQualite->setText(QString::number(ui->TrackBarVBRQuality->value()));
    SelectDriveAndListTracks();
    m_activated = true;
}

int TDlgMainForm::CbBoxActiveCDRomItemIndex() const
{
    const QComboBox *box = ui->CbBoxActiveCDRom;
    const QString text = box->currentText();
    if (box->currentIndex() >= 0 && box->itemText(box->currentIndex()) == text)
        return box->currentIndex();
    return box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
}

void TDlgMainForm::CbBoxActiveCDRomChange()
{
    SelectDriveAndListTracks();
}

// A failing drive selection (an index out of range) ends here: label, rows and buttons stay as they
// were.
void TDlgMainForm::SelectDriveAndListTracks()
{
    m_session->SelectDrive(CbBoxActiveCDRomItemIndex());
    ShowDisc();
}

void TDlgMainForm::ShowDisc()
{
    ui->LabeActiveCDRom->setText(m_session->Label());
    m_rows->ShowRows(m_session->Rows());
    UpdateExtractButtons();
}

// A click while a lookup or an extraction runs does nothing. A disc without audio tracks is not looked
// up: its rows show at once.
void TDlgMainForm::BtnRefreshClick()
{
    if (!m_session->StartLookup(m_pages->ProxyPage()))
        return;
    if (m_session->Running() != TDiscSession::Job::Lookup)
        ShowDisc();
}

void TDlgMainForm::UpdateExtractButtons()
{
    ui->dxButton2->setEnabled(!m_rows->CheckedRows().empty());
    ui->dxButton3->setEnabled(false);
}

QProgressBar *TDlgMainForm::RowProgressBar(int row) const
{
    return m_rows->Bar(row);
}

void TDlgMainForm::ListViewEx1MouseDown(QObject *, Qt::MouseButton, const QPoint &)
{
    m_rows->PlaceBars();
}

void TDlgMainForm::ListViewEx1MouseUp(QObject *, Qt::MouseButton, const QPoint &pos)
{
    if (m_rows->ToggleAt(pos))
        UpdateExtractButtons();
}

void TDlgMainForm::ListViewEx1EndColumnResize(QObject *, int, int)
{
    m_rows->PlaceBars();
}

void TDlgMainForm::Label14Click()
{
    m_rows->SetAllChecked(true);
    if (ui->ListViewEx1->topLevelItemCount() > 0) {
        ui->dxButton2->setEnabled(true);
        ui->dxButton3->setEnabled(false);
    }
}

void TDlgMainForm::Label15Click()
{
    m_rows->SetAllChecked(false);
    ui->dxButton2->setEnabled(false);
    ui->dxButton3->setEnabled(false);
}

// Opens at the folder of the destination field while it exists, else at the user's home.
void TDlgMainForm::dirbuttonClick()
{
    const QString current = ui->dir->text();
    QString folder = m_prompts->BrowseForFolder(
        this, "Seleziona la cartella di destinazione",
        !current.isEmpty() && QFileInfo(current).isDir() ? current : QDir::homePath());
    if (folder.isEmpty())
        return;
    if (!folder.endsWith('/'))
        folder += '/';
    ui->dir->setText(folder);
}

bool TDlgMainForm::ExtractionRunning() const
{
    return m_session->Running() == TDiscSession::Job::Extraction;
}

TExtractionRequest TDlgMainForm::ExtractionRequest() const
{
    return {m_rows->CheckedRows(),
            ui->dir->text(),
            m_pages->Format(),
            m_pages->CoderPage(),
            m_pages->ProxyPage(),
            ui->CheckBoxTestAndCopy->isChecked(),
            ui->CBoxFileNames->currentText(),
            ui->CheckBoxPortableNames->isChecked()};
}

TExtractionPlan TDlgMainForm::ExtractionPlan() const
{
    return m_session->Plan(ExtractionRequest());
}

void TDlgMainForm::BtnExtraireClick()
{
    m_session->StartExtraction(ExtractionRequest());
}

// "Annulla": the track being ripped, or the lookup.
void TDlgMainForm::BtnCancelExtraireClick()
{
    if (m_session->Running() != TDiscSession::Job::Conversion)
        m_session->CancelJob();
}

void TDlgMainForm::RGroupFormatExtractionClick()
{
    Quarle->setFormat(m_pages->Format());
}

void TDlgMainForm::BtnChoisirFichierWavClick()
{
    const QStringList files = m_prompts->ChooseWavFiles(this);
    if (files.isEmpty())
        return;
    ui->LBoxFichierWav->clear();
    ui->LBoxFichierWav->addItems(files);
}

void TDlgMainForm::BtnConvertWavClick()
{
    QStringList files;
    for (int i = 0; i < ui->LBoxFichierWav->count(); ++i)
        files << ui->LBoxFichierWav->item(i)->text();
    m_session->StartConversion(files, m_pages->CoderPage());
}

void TDlgMainForm::BtnCancelConvertWavClick()
{
    if (m_session->Running() == TDiscSession::Job::Conversion)
        m_session->CancelJob();
}

void TDlgMainForm::TrackBarVBRQualityChange()
{
    ui->LabelVBRQualite->setText(QString::number(ui->TrackBarVBRQuality->value()));
}
