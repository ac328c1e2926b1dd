// "Aggiorna"'s disc-database lookup, wired to the window's controls and its HTTP client.
#include "app/MainForm.h"
#include "app/MainFormUi.h"

#include "app/DiscLookup.h"
#include "app/FetchDocument.h"
#include "disc/Quarle.h"

namespace
{

// The hidden memo holds at most this many characters of the last document.
constexpr int PaginaLimit = 5000;

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
    context.setDiscTitle = [this](const QString &title) { ui->LabeActiveCDRom->setText(title); };
    context.setRequestUrl = [this](const QString &url) { ui->Edit5->setText(url); };
    context.fetch = [this](const QString &url) {
        // The proxy page is read at every request, so a change takes effect at the next fetch.
        const ProxySettings proxy{ui->ProxyHostEdit->text(), ui->ProxyPortEdit->text(),
                                  ui->ProxyUsername->text(), ui->ProxyPassword->text()};
        auto lines = FetchDocument(*HttpCli1, proxy, url, programDir(), m_pagina,
                                   [this](const QString &message) { showError(this, message); });
        ui->pagina->setPlainText(m_pagina.join("\r\n").left(PaginaLimit));
        return lines;
    };

    std::optional<CddbEntry> entry;
    context.setEntry = [&entry](const CddbEntry &e) { entry = e; };

    // Titles stored before a failure stay.
    auto storeTitles = [&] {
        for (int i = 0; i < descriptions.size() && i < ui->ListBoxTrackList->count(); ++i)
            ui->ListBoxTrackList->item(i)->setText(descriptions[i]);
    };
    try {
        ::QueryDiscDatabase(context);
    } catch (...) {
        storeTitles();
        throw;
    }
    storeTitles();
    if (entry)
        m_discTags = DiscTagsFor(*entry, context.rowTracks, int(descriptions.size()));
}
