#pragma once

#include "disc/AudioFormat.h"
#include "lookup/DocumentFetcher.h"
#include "rip/ExtractionPlan.h"

#include <QString>

#include <functional>

namespace Ui
{
class TDlgMainForm;
}

// The window's choices that the settings file keeps: the destination folder, "Formato di estrazione",
// the "codec MP3" page and the "Config. Proxy" page; read from "quarle.ini" at start and written back
// at close.
class TSettingsPages
{
public:
    TSettingsPages(Ui::TDlgMainForm &ui, std::function<QString()> programDir)
        : m_ui(ui), m_programDir(std::move(programDir))
    {
    }

    // Applies what the file holds, in file order, up to the first line that could not be read (a
    // folder that is empty then becomes the one offered by default); a format that differs from the
    // chosen one is chosen and `formatChosen` told.
    void Load(const std::function<void()> &formatChosen);
    // The window closes all the same when the file cannot be written; stderr says so.
    void Save() const;

    // The format choice: "MP3", "Wav", "FLAC", or the samples alone when none is chosen.
    AudioFormat Format() const;
    void SetFormat(AudioFormat format);
    TCoderPage CoderPage() const;
    // The four fields of the "Config. Proxy" page, as every fetch reads them.
    ProxySettings ProxyPage() const;

private:
    Ui::TDlgMainForm &m_ui;
    std::function<QString()> m_programDir;
};
