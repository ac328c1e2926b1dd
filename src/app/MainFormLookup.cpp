// "Aggiorna"'s disc-database lookup, wired to the window's controls and its HTTP client.
#include "app/MainForm.h"
#include "app/MainFormUi.h"

#include "session/DiscLookup.h"
#include "session/FetchDocument.h"
#include "session/FileLocations.h"
#include "session/SettingsFile.h"
#include "disc/Quarle.h"
#include "platform/DriveLetters.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QKeyEvent>
#include <QTimer>

#include <optional>
#include <utility>
#include <vector>

namespace
{

// The hidden memo holds at most this many characters of the last document.
constexpr int PaginaLimit = 5000;

// While the lookup waits for the network the window stays live. "Estrai" and the drive box are held
// meanwhile, so that no extraction starts on rows that the refresh is about to rebuild and no other
// drive's rows take this disc's titles, and so are the rows and the select labels, whose handlers
// would enable "Estrai" again. They come back as they were however the lookup ends.
class HeldControls
{
public:
    HeldControls(std::initializer_list<QWidget *> controls)
    {
        for (QWidget *control : controls) {
            m_held.emplace_back(control, control->isEnabled());
            control->setEnabled(false);
        }
    }
    ~HeldControls()
    {
        for (const auto &[control, enabled] : m_held)
            control->setEnabled(enabled);
    }
    HeldControls(const HeldControls &) = delete;
    HeldControls &operator=(const HeldControls &) = delete;

private:
    std::vector<std::pair<QWidget *, bool>> m_held;
};

// MusicBrainz serves one request a second to a client; a quicker one is refused. The window stays live
// meanwhile.
void waitForMusicBrainz()
{
    static QElapsedTimer last;
    if (last.isValid() && last.elapsed() < 1000) {
        QEventLoop wait;
        QTimer::singleShot(int(1000 - last.elapsed()), &wait, &QEventLoop::quit);
        wait.exec();
    }
    last.start();
}

// The CD-Text of the disc in the drive of `letter`.
CdText cdTextOfDrive(char letter)
{
    for (const DriveLetterEntry &entry : DriveLetters::current()) {
        if (entry.letter == letter)
            return CdDevice::cdTextOf(entry.path);
    }
    return {};
}

} // namespace

std::function<TFetchedFile(THttpCli &, const ProxySettings &, const QString &)>
    TDlgMainForm::fetchMusicBrainz = [](THttpCli &http, const ProxySettings &proxy, const QString &url) {
        waitForMusicBrainz();
        return FetchFileAs(http, proxy, url, MusicBrainz::UserAgent());
    };
std::function<int(QWidget *, const std::vector<DiscEdition> &)> TDlgMainForm::chooseEdition =
    ChooseEditionDialog;
std::function<bool(QWidget *, DiscDetails &)> TDlgMainForm::editDiscDetails = EditDiscDetailsDialog;

TitleSource TDlgMainForm::QueryDiscDatabase()
{
    QStringList descriptions;
    for (int i = 0; i < ui->ListBoxTrackList->count(); ++i)
        descriptions << ui->ListBoxTrackList->item(i)->text();

    DiscLookupContext context;
    const int drive = ui->CbBoxActiveCDRom->currentIndex();
    context.driveLetter = drive >= 0 ? ui->CbBoxActiveCDRom->itemText(drive).at(0).toLatin1() : 0;
    context.trackList = &descriptions;
    for (int i = 0; i < Quarle->Tracks().Count(); ++i)
        context.rowTracks.push_back(Quarle->Tracks().object(i)->Number);
    std::optional<QString> discTitle;
    context.setDiscTitle = [&discTitle](const QString &title) { discTitle = title; };
    context.setRequestUrl = [this](const QString &url) { ui->Edit5->setText(url); };
    // The proxy page is read at every request, so a change takes effect at the next fetch.
    context.fetch = [this](const QString &url, QDeadlineTimer deadline) {
        auto lines = FetchDocument(*HttpCli1, ProxyPage(), url, programDir(), m_pagina, deadline,
                                   [this](const QString &message) { showError(this, message); });
        ui->pagina->setPlainText(m_pagina.join("\r\n").left(PaginaLimit));
        return lines;
    };

    context.fetchMusicBrainz = [this](const QString &url) -> std::optional<QByteArray> {
        TFetchedFile answer = fetchMusicBrainz(*HttpCli1, ProxyPage(), url);
        if (answer.kind != TFetchedFile::Found)
            return std::nullopt;
        return std::move(answer.bytes);
    };
    if (const QString mirror = Servers().musicBrainz; !mirror.isEmpty())
        context.musicBrainzServer = mirror;
    context.readCdText = [letter = context.driveLetter] { return cdTextOfDrive(letter); };
    context.chooseEdition = [this](const std::vector<DiscEdition> &editions) {
        return chooseEdition(this, editions);
    };

    std::optional<CddbEntry> entry;
    context.setEntry = [&entry](const CddbEntry &e) { entry = e; };

    // The titles go only to the disc they were asked for: the drive and its table of contents must be
    // the same when the answer arrives. Titles stored before a failure stay.
    const int askedDrive = Quarle->ActiveCdRomNum();
    const QStringList captions = Quarle->Tracks().captions();
    const QStringList lengths = Quarle->TrackLengths();
    auto storeTitles = [&] {
        if (Quarle->ActiveCdRomNum() != askedDrive || Quarle->Tracks().captions() != captions ||
            Quarle->TrackLengths() != lengths)
            return;
        if (discTitle)
            ui->LabeActiveCDRom->setText(*discTitle);
        for (int i = 0; i < descriptions.size() && i < ui->ListBoxTrackList->count(); ++i)
            ui->ListBoxTrackList->item(i)->setText(descriptions[i]);
        if (entry)
            m_discTags = DiscTagsFor(*entry, context.rowTracks, int(descriptions.size()));
    };
    HeldControls held{ui->dxButton2, ui->CbBoxActiveCDRom, ui->ListViewEx1, ui->Label14, ui->Label15};
    TitleSource source = TitleSource::None;
    try {
        source = ::QueryDiscDatabase(context);
    } catch (...) {
        storeTitles();
        throw;
    }
    storeTitles();
    return source;
}

ServerSettings TDlgMainForm::Servers() const
{
    return ReadServerSettings(
        QFileInfo(LocateFiles(programDir()).SettingsToRead()).dir().filePath("quarle-servers.ini"));
}

ProxySettings TDlgMainForm::ProxyPage() const
{
    return {ui->ProxyHostEdit->text(), ui->ProxyPortEdit->text(), ui->ProxyUsername->text(),
            ui->ProxyPassword->text()};
}

void TDlgMainForm::EditRowDescription(int row)
{
    if (QTreeWidgetItem *item = ui->ListViewEx1->topLevelItem(row); item && ui->ListViewEx1->isEnabled())
        ui->ListViewEx1->editItem(item, 1);
}

// The edited text is the row's description from now on, as a title from the lookup would be.
void TDlgMainForm::RowDescriptionEdited(QTreeWidgetItem *item, int column)
{
    const int row = ui->ListViewEx1->indexOfTopLevelItem(item);
    if (column != 1 || row < 0 || row >= ui->ListBoxTrackList->count())
        return;
    ui->ListBoxTrackList->item(row)->setText(item->text(1));
}

void TDlgMainForm::EditDiscDetails()
{
    if (ExtractionRunning() || DiscLookupRunning() || ui->ListViewEx1->topLevelItemCount() == 0)
        return;
    DiscDetails details{m_discTags.artist, m_discTags.album, m_discTags.year, m_discTags.genre};
    if (!editDiscDetails(this, details))
        return;
    m_discTags.fromLookup = true;
    std::tie(m_discTags.artist, m_discTags.album, m_discTags.year, m_discTags.genre) =
        std::tie(details.artist, details.album, details.year, details.genre);
    const QString label = DiscLabel(details.artist, details.album);
    ui->LabeActiveCDRom->setText(label.isEmpty() ? Quarle->CdRomName() : label);
}

bool TDlgMainForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->LabeActiveCDRom && event->type() == QEvent::MouseButtonDblClick) {
        Guarded([this] { EditDiscDetails(); });
        return true;
    }
    if (watched == ui->ListViewEx1 && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_F2) {
        EditRowDescription(ui->ListViewEx1->indexOfTopLevelItem(ui->ListViewEx1->currentItem()));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
