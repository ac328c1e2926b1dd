#include "app/MainForm.h"

#include "session/DiscLookup.h"
#include "session/FileLocations.h"
#include "app/WindowChrome.h"
#include "disc/Quarle.h"
#include "encoder/MP3Coder.h"
#include "lookup/CDInfo.h"
#include "lookup/HttpCli.h"
#include "platform/Exception.h"
#include "rip/ExtractionRun.h"
#include "ui_MainForm.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QMessageBox>
#include <QProgressBar>
#include <QScreen>

#include <cstdio>

namespace
{

const int BarWidth = 102;
// A bar whose top (client coordinates) lies above this is under the header: it is hidden.
const int BarVisibleFrom = 10;

QString applicationTitle()
{
    return QGuiApplication::applicationDisplayName();
}

} // namespace

std::function<void(QWidget *, const QString &)> TDlgMainForm::showError = [](QWidget *parent,
                                                                             const QString &message) {
    QMessageBox::critical(parent, applicationTitle(), message);
};

// Opens at the folder of the window's destination field while it exists, else at the user's home.
std::function<QString(QWidget *, const QString &)> TDlgMainForm::browseForFolder = [](QWidget *parent,
                                                                                      const QString &title) {
    const auto *form = qobject_cast<TDlgMainForm *>(parent);
    const QString current = form ? form->ui->dir->text() : QString();
    const QString start = !current.isEmpty() && QFileInfo(current).isDir() ? current : QDir::homePath();
    return QFileDialog::getExistingDirectory(parent, title, start);
};

std::function<QStringList(QWidget *)> TDlgMainForm::chooseWavFiles = [](QWidget *parent) {
    QFileDialog dialog(parent);
    dialog.setNameFilter("WAV Files (*.wav)");
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setOption(QFileDialog::ReadOnly, false);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList();
};

std::function<QString()> TDlgMainForm::programDir = [] { return QCoreApplication::applicationDirPath(); };

TDlgMainForm::TDlgMainForm(QWidget *parent, CdRipApi api) : QWidget(parent), ui(new Ui::TDlgMainForm)
{
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
    formats->addButton(ui->RGroupFormatExtractionMP3, 0);
    formats->addButton(ui->RGroupFormatExtractionWav, 1);
    formats->addButton(ui->RGroupFormatExtractionFLAC, 2);

    Chrome = new TWindowChrome(
        this, {ui->dxContainer1, ui->dxToolButton1, ui->dxToolButton2, ui->Label14, ui->Label15});

    CreateComponents(std::move(api));
    ConnectHandlers();
    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    Guarded([this] { FormCreate(); });
}

// The controls outlive `ui` by a moment (the widget base deletes them): nothing they fire while
// going may reach the window's handlers.
TDlgMainForm::~TDlgMainForm()
{
    StopExtraction();
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

// The ripper with the values the window gives it. Selecting drive 0 raises the ripper's
// "Attenzione!" failure when there is no usable drive.
void TDlgMainForm::CreateComponents(CdRipApi api)
{
    Quarle = new TQuarle(this, std::move(api));
    Quarle->setSpeed(32);
    Quarle->setActiveCdRomNum(0);
    TDriveTableClass table;
    table.setDriveType(TDriveType::GENERIC);
    table.setReadMethod(TReadMethod::READMMC);
    table.setSetSpeed(TSetSpeed::SPEEDNONE);
    table.setEndian(TEndian::BIGENDIAN);
    table.setEnableMode(TEnableMode::ENABLENONE);
    table.setDensity(16777216);
    table.setAtapi(true);
    Quarle->setDriveTable(table);
    Quarle->setFormat(AudioFormat::Wav);

    MP3Coder = new TMP3Coder(this);
    MP3Coder->setObjectName("MP3Coder");
    MP3Coder->setDefaultExt(".mp3");
    MP3Coder->OnBeginFile = [this](QObject *sender, uint16_t num, const QString &file) {
        LameCoder1BeginFile(sender, num, file);
    };
    MP3Coder->OnProgress = [this](QObject *sender, uint16_t percent) { LameCoder1Progress(sender, percent); };

    HttpCli1 = new THttpCli(this);
    HttpCli1->setObjectName("HttpCli1");

    Quarle->setCoder(MP3Coder);

    // The device queries of the lookup block the window briefly: the hourglass shows meanwhile.
    TCDInfo::beginBusy = [] { QApplication::setOverrideCursor(Qt::WaitCursor); };
    TCDInfo::endBusy = [] { QApplication::restoreOverrideCursor(); };
}

std::unique_ptr<TDlgMainForm> TDlgMainForm::CreateMainForm(CdRipApi api)
{
    try {
        return std::make_unique<TDlgMainForm>(nullptr, std::move(api));
    } catch (const std::exception &e) {
        // Also on stderr, for a start from a terminal or a script; the drive table's warnings that may
        // follow the first line are there already.
        const QString message = QString::fromUtf8(e.what());
        std::fprintf(stderr, "quarle: %s\n", qPrintable(message.section('\n', 0, 0)));
        showError(nullptr, message);
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
    list->OnScroll = [this](QObject *) { Guarded([this] { PlaceRowProgressBars(); }); };

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
    connect(ui->RGroupFormatExtractionMP3, &QRadioButton::clicked, this,
            Handler(&TDlgMainForm::RGroupFormatExtractionClick));
    connect(ui->RGroupFormatExtractionWav, &QRadioButton::clicked, this,
            Handler(&TDlgMainForm::RGroupFormatExtractionClick));
    connect(ui->RGroupFormatExtractionFLAC, &QRadioButton::clicked, this,
            Handler(&TDlgMainForm::RGroupFormatExtractionClick));
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

// While the error box is up, and for the activation its closing gives back, the window's
// activation is not a new one: otherwise a failing first activation would show its box again
// without end.
void TDlgMainForm::ReportFailure(const QString &message)
{
    const bool wasActive = isActiveWindow();
    m_reportingFailure = true;
    showError(this, message);
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
// cancelled and every file closed), a lookup waiting for the network, a conversion.
void TDlgMainForm::closeEvent(QCloseEvent *event)
{
    StopExtraction();
    if (HttpCli1->Busy())
        HttpCli1->Abort();
    MP3Coder->CancelProcess();
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
    LoadSettings();
    if (ui->dir->text().isEmpty())
        ui->dir->setText(LocateFiles(programDir()).defaultDestination);
}

void TDlgMainForm::FormActivate()
{
    ActivateOnce();
}

void TDlgMainForm::FormClose()
{
    SaveSettings();
}

// The first activation's work. A failure leaves FActivated false, so the next activation starts
// it again from the top.
void TDlgMainForm::ActivateOnce()
{
    if (m_activated)
        return;
    QStringList drives;
    Quarle->FillDriveList(drives);
    ui->CbBoxActiveCDRom->clear();
    ui->CbBoxActiveCDRom->addItems(drives);
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

// A failing drive selection (an index out of range) ends here: label, descriptions, rows and
// buttons stay as they were.
void TDlgMainForm::SelectDriveAndListTracks()
{
    Quarle->setActiveCdRomNum(CbBoxActiveCDRomItemIndex());
    ui->LabeActiveCDRom->setText(Quarle->CdRomName());
    CopyTrackCaptions();
    ClearTrackRows();
    AddRowsFromDescriptions();
    UpdateExtractButtons();
}

void TDlgMainForm::BtnRefreshClick()
{
    // A click while the lookup of an earlier one waits for the network does nothing; nor does one
    // that reaches the handler while an extraction works on the rows.
    if (DiscLookupRunning() || ExtractionRunning())
        return;
    // The rows as they are, for a lookup whose editions the user declines: they stay, with their titles
    // and edits, while the disc is the same.
    const QStringList captions = Quarle->Tracks().captions();
    const QStringList lengths = Quarle->TrackLengths();
    QStringList descriptions;
    for (int i = 0; i < ui->ListBoxTrackList->count(); ++i)
        descriptions << ui->ListBoxTrackList->item(i)->text();
    const DiscTags tags = m_discTags;
    const QString label = ui->LabeActiveCDRom->text();

    Quarle->RefreshTOC();
    CopyTrackCaptions();
    if (ui->ListBoxTrackList->count() > 0) {
        const TitleSource source = QueryDiscDatabase();
        if (source == TitleSource::Declined && captions == Quarle->Tracks().captions() &&
            lengths == Quarle->TrackLengths()) {
            ui->ListBoxTrackList->clear();
            ui->ListBoxTrackList->addItems(descriptions);
            m_discTags = tags;
            ui->LabeActiveCDRom->setText(label);
            return;
        }
        static const char *const said[] = {"Nessun titolo trovato", "Titoli da MusicBrainz", "Titoli da CDDB",
                                           "Titoli dal CD-Text", "Nessun titolo trovato"};
        ui->LabelEnCours->setText(said[int(source)]);
    }
    ClearTrackRows();
    AddRowsFromDescriptions();
    UpdateExtractButtons();
}

void TDlgMainForm::CopyTrackCaptions()
{
    m_discTags = {};
    ui->ListBoxTrackList->clear();
    ui->ListBoxTrackList->addItems(Quarle->Tracks().captions());
}

void TDlgMainForm::AddRowsFromDescriptions()
{
    const QStringList &lengths = Quarle->TrackLengths();
    for (int i = 0; i < ui->ListBoxTrackList->count(); ++i)
        AddTrackRow(ui->ListBoxTrackList->item(i)->text(), DurationText(lengths.value(i)));
}

QString TDlgMainForm::DurationText(const QString &sectors)
{
    bool ok = false;
    const qlonglong n = sectors.toLongLong(&ok);
    if (!ok)
        throw Exception(QString("'%1' is not a valid integer value").arg(sectors).toStdString());
    const qlonglong seconds = std::max<qlonglong>(n, 0) / 75;
    return QString::number(seconds / 60).rightJustified(3, ' ') + ":" +
           QString::number(seconds % 60).rightJustified(2, '0');
}

// The row's check box is drawn from its check state, but the row is not user-checkable: a click
// toggles it once, through the mouse-up rule, rather than once by the list and once by the rule.
void TDlgMainForm::AddTrackRow(const QString &description, const QString &duration)
{
    TListViewEx *list = ui->ListViewEx1;
    auto *item = new QTreeWidgetItem(list);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
    item->setCheckState(0, Qt::Checked);
    item->setText(1, description);
    item->setText(2, duration);
    item->setText(3, QString());
    item->setText(0, QString::number(list->topLevelItemCount()).rightJustified(6, ' '));

    auto *bar = new QProgressBar(list->viewport());
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    item->setData(0, Qt::UserRole, QVariant::fromValue<QObject *>(bar));

    const QRect row = list->visualItemRect(item);
    const int left = row.left() + list->columnWidth(0) + list->columnWidth(1) + list->columnWidth(2);
    bar->setGeometry(left, row.top() + 2, BarWidth, row.height() - 5);
    bar->show();
}

QProgressBar *TDlgMainForm::RowProgressBar(int row) const
{
    const QTreeWidgetItem *item = ui->ListViewEx1->topLevelItem(row);
    return item ? qobject_cast<QProgressBar *>(item->data(0, Qt::UserRole).value<QObject *>()) : nullptr;
}

void TDlgMainForm::ClearTrackRows()
{
    TListViewEx *list = ui->ListViewEx1;
    while (list->topLevelItemCount() > 0) {
        std::unique_ptr<QTreeWidgetItem> item(list->takeTopLevelItem(0));
        delete qobject_cast<QProgressBar *>(item->data(0, Qt::UserRole).value<QObject *>());
    }
}

// Each bar goes under the "Avanzamento" column of its row. Tops are judged in the list's client
// coordinates, where a bar above 10 would sit under the header; the left edge follows the
// columns as scrolled sideways.
void TDlgMainForm::PlaceRowProgressBars()
{
    TListViewEx *list = ui->ListViewEx1;
    const int originY = list->ViewportOrigin().y();
    const int left =
        list->columnWidth(0) + list->columnWidth(1) + list->columnWidth(2) - list->header()->offset();
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QProgressBar *bar = RowProgressBar(i);
        if (!bar)
            continue;
        const int y = list->ClientRowTop(list->topLevelItem(i)) + 2;
        bar->setVisible(y >= BarVisibleFrom);
        bar->move(left, y - originY);
    }
}

void TDlgMainForm::UpdateExtractButtons()
{
    TListViewEx *list = ui->ListViewEx1;
    int checked = 0;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        checked += list->topLevelItem(i)->checkState(0) == Qt::Checked ? 1 : 0;
    ui->dxButton2->setEnabled(checked > 0);
    ui->dxButton3->setEnabled(false);
}

void TDlgMainForm::ListViewEx1MouseDown(QObject *, Qt::MouseButton, const QPoint &)
{
    PlaceRowProgressBars();
}

void TDlgMainForm::ListViewEx1MouseUp(QObject *, Qt::MouseButton, const QPoint &pos)
{
    TListViewEx *list = ui->ListViewEx1;
    QTreeWidgetItem *item = list->itemAt(pos);
    if (!item)
        return;
    item->setCheckState(0, item->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    list->setCurrentItem(item);
    UpdateExtractButtons();
}

void TDlgMainForm::ListViewEx1EndColumnResize(QObject *, int, int)
{
    PlaceRowProgressBars();
}

void TDlgMainForm::Label14Click()
{
    TListViewEx *list = ui->ListViewEx1;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        list->topLevelItem(i)->setCheckState(0, Qt::Checked);
    if (list->topLevelItemCount() > 0) {
        ui->dxButton2->setEnabled(true);
        ui->dxButton3->setEnabled(false);
    }
}

void TDlgMainForm::Label15Click()
{
    TListViewEx *list = ui->ListViewEx1;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        list->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
    ui->dxButton2->setEnabled(false);
    ui->dxButton3->setEnabled(false);
}

void TDlgMainForm::dirbuttonClick()
{
    QString folder = browseForFolder(this, "Seleziona la cartella di destinazione");
    if (folder.isEmpty())
        return;
    if (!folder.endsWith('/'))
        folder += '/';
    ui->dir->setText(folder);
}

AudioFormat TDlgMainForm::ExtractionFormat() const
{
    if (ui->RGroupFormatExtractionMP3->isChecked())
        return AudioFormat::Mp3;
    if (ui->RGroupFormatExtractionWav->isChecked())
        return AudioFormat::Wav;
    return ui->RGroupFormatExtractionFLAC->isChecked() ? AudioFormat::Flac : AudioFormat::Pcm;
}

// The samples alone leave neither item chosen, as a settings file may ask.
void TDlgMainForm::setExtractionFormat(AudioFormat format)
{
    const std::pair<QRadioButton *, AudioFormat> items[] = {
        {ui->RGroupFormatExtractionMP3, AudioFormat::Mp3},
        {ui->RGroupFormatExtractionWav, AudioFormat::Wav},
        {ui->RGroupFormatExtractionFLAC, AudioFormat::Flac}};
    QButtonGroup *group = ui->RGroupFormatExtractionMP3->group();
    group->setExclusive(false);
    for (const auto &[item, itemFormat] : items)
        item->setChecked(itemFormat == format);
    group->setExclusive(true);
}
