// "quarle.ini" read into the window's controls at start, and written from them at close.
#include "app/MainForm.h"
#include "app/MainFormUi.h"

#include "session/FileLocations.h"
#include "session/SettingsFile.h"

#include <QFileInfo>

#include <cstdio>

namespace
{

// An index outside the list's items leaves the list with no selection.
void selectIndex(QComboBox *box, int index)
{
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
}

} // namespace

// Applies what the file holds, in file order, up to the first line that could not be read.
void TDlgMainForm::LoadSettings()
{
    const SettingsRead read = ReadSettingsFile(LocateFiles(programDir()).SettingsToRead());
    if (read.dir)
        ui->dir->setText(*read.dir);
    if (!read.format)
        return;
    if (*read.format != ExtractionFormat()) {
        setExtractionFormat(*read.format);
        RGroupFormatExtractionClick();
    }
    const std::pair<const std::optional<int> *, QComboBox *> lists[] = {
        {&read.sampleRate, ui->CBoxSampleRate},
        {&read.bitRate, ui->CBoxBitRate},
        {&read.maxBitRate, ui->CBoxMaxBitRate},
        {&read.mode, ui->CBoxMode},
        {&read.quality, ui->CBoxQuality}};
    for (const auto &[value, box] : lists) {
        if (!*value)
            return;
        selectIndex(box, **value);
    }
    ui->ProxyHostEdit->setText(read.proxyHost.value_or(QString()));
    ui->ProxyPortEdit->setText(read.proxyPort.value_or(QString()));
    ui->ProxyUsername->setText(read.proxyUser.value_or(QString()));
    ui->ProxyPassword->setText(read.proxyPassword.value_or(QString()));
}

// The window closes all the same when the file cannot be written; stderr says so.
void TDlgMainForm::SaveSettings()
{
    QuarleSettings s;
    s.dir = ui->dir->text();
    s.format = ExtractionFormat();
    s.sampleRate = ui->CBoxSampleRate->currentIndex();
    s.bitRate = ui->CBoxBitRate->currentIndex();
    s.maxBitRate = ui->CBoxMaxBitRate->currentIndex();
    s.mode = ui->CBoxMode->currentIndex();
    s.quality = ui->CBoxQuality->currentIndex();
    s.proxyHost = ui->ProxyHostEdit->text();
    s.proxyPort = ui->ProxyPortEdit->text();
    s.proxyUser = ui->ProxyUsername->text();
    s.proxyPassword = ui->ProxyPassword->text();
    const FileLocations at = LocateFiles(programDir());
    const QString path = at.settingsFile;
    // The user's configuration folder may not exist yet; the file holds the proxy password.
    if (!at.PrepareFolder(QFileInfo(path).path()) || !WriteSettingsFile(path, s))
        std::fprintf(stderr, "quarle: the settings could not be saved to %s\n", qPrintable(path));
}
