// "Aggiorna"'s disc-database lookup, wired to the window's controls and its HTTP client.
#include "app/MainForm.h"
#include "app/MainFormUi.h"

#include "app/DiscLookup.h"
#include "app/FetchDocument.h"
#include "disc/Quarle.h"

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

} // namespace

void TDlgMainForm::QueryDiscDatabase()
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
    context.fetch = [this](const QString &url, QDeadlineTimer deadline) {
        // The proxy page is read at every request, so a change takes effect at the next fetch.
        const ProxySettings proxy{ui->ProxyHostEdit->text(), ui->ProxyPortEdit->text(),
                                  ui->ProxyUsername->text(), ui->ProxyPassword->text()};
        auto lines = FetchDocument(*HttpCli1, proxy, url, programDir(), m_pagina, deadline,
                                   [this](const QString &message) { showError(this, message); });
        ui->pagina->setPlainText(m_pagina.join("\r\n").left(PaginaLimit));
        return lines;
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
    try {
        ::QueryDiscDatabase(context);
    } catch (...) {
        storeTitles();
        throw;
    }
    storeTitles();
}
