#include "app/SettingsPages.h"

#include "app/MainFormUi.h"
#include "rip/TrackFileNames.h"
#include "session/FileLocations.h"
#include "session/SettingsFile.h"

#include <QButtonGroup>
#include <QFileInfo>
#include <QLineEdit>

#include <cstdio>

namespace
{

// An index outside the list's items leaves the list with no selection.
void selectIndex(QComboBox *box, int index)
{
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
}

} // namespace

void TSettingsPages::Load(const std::function<void()> &formatChosen)
{
    const FileLocations at = LocateFiles(m_programDir());
    const SettingsRead read = ReadSettingsFile(at.SettingsToRead());
    if (read.dir)
        m_ui.dir->setText(*read.dir);
    if (m_ui.dir->text().isEmpty())
        m_ui.dir->setText(at.defaultDestination);
    const ExtractionOptions options = ReadExtractionOptions(ExtractionOptionsFile(at.SettingsToRead()));
    m_ui.CheckBoxTestAndCopy->setChecked(options.testAndCopy);
    m_ui.CBoxFileNames->lineEdit()->setMaxLength(int(MaxNamePatternLength));
    m_ui.CBoxFileNames->setCurrentText(options.namePattern);
    m_ui.CheckBoxPortableNames->setChecked(options.portableNames);
    if (!read.format)
        return;
    if (*read.format != Format()) {
        SetFormat(*read.format);
        formatChosen();
    }
    const std::pair<const std::optional<int> *, QComboBox *> lists[] = {
        {&read.sampleRate, m_ui.CBoxSampleRate},
        {&read.bitRate, m_ui.CBoxBitRate},
        {&read.maxBitRate, m_ui.CBoxMaxBitRate},
        {&read.mode, m_ui.CBoxMode},
        {&read.quality, m_ui.CBoxQuality}};
    for (const auto &[value, box] : lists) {
        if (!*value)
            return;
        selectIndex(box, **value);
    }
    m_ui.ProxyHostEdit->setText(read.proxyHost.value_or(QString()));
    m_ui.ProxyPortEdit->setText(read.proxyPort.value_or(QString()));
    m_ui.ProxyUsername->setText(read.proxyUser.value_or(QString()));
    m_ui.ProxyPassword->setText(read.proxyPassword.value_or(QString()));
}

void TSettingsPages::Save() const
{
    QuarleSettings s;
    s.dir = m_ui.dir->text();
    s.format = Format();
    s.sampleRate = m_ui.CBoxSampleRate->currentIndex();
    s.bitRate = m_ui.CBoxBitRate->currentIndex();
    s.maxBitRate = m_ui.CBoxMaxBitRate->currentIndex();
    s.mode = m_ui.CBoxMode->currentIndex();
    s.quality = m_ui.CBoxQuality->currentIndex();
    s.proxyHost = m_ui.ProxyHostEdit->text();
    s.proxyPort = m_ui.ProxyPortEdit->text();
    s.proxyUser = m_ui.ProxyUsername->text();
    s.proxyPassword = m_ui.ProxyPassword->text();
    const FileLocations at = LocateFiles(m_programDir());
    const QString path = at.settingsFile;
    // The user's configuration folder may not exist yet; the file holds the proxy password.
    if (!at.PrepareFolder(QFileInfo(path).path()) || !WriteSettingsFile(path, s))
        std::fprintf(stderr, "quarle: the settings could not be saved to %s\n", qPrintable(path));
    const QString options = ExtractionOptionsFile(path);
    const ExtractionOptions page = {m_ui.CheckBoxTestAndCopy->isChecked(), m_ui.CBoxFileNames->currentText(),
                                    m_ui.CheckBoxPortableNames->isChecked()};
    if (!WriteExtractionOptions(options, page))
        std::fprintf(stderr, "quarle: the settings could not be saved to %s\n", qPrintable(options));
}

AudioFormat TSettingsPages::Format() const
{
    if (m_ui.RGroupFormatExtractionMP3->isChecked())
        return AudioFormat::Mp3;
    if (m_ui.RGroupFormatExtractionWav->isChecked())
        return AudioFormat::Wav;
    return m_ui.RGroupFormatExtractionFLAC->isChecked() ? AudioFormat::Flac : AudioFormat::Pcm;
}

// The samples alone leave neither item chosen, as a settings file may ask.
void TSettingsPages::SetFormat(AudioFormat format)
{
    const std::pair<QRadioButton *, AudioFormat> items[] = {
        {m_ui.RGroupFormatExtractionMP3, AudioFormat::Mp3},
        {m_ui.RGroupFormatExtractionWav, AudioFormat::Wav},
        {m_ui.RGroupFormatExtractionFLAC, AudioFormat::Flac}};
    QButtonGroup *group = m_ui.RGroupFormatExtractionMP3->group();
    group->setExclusive(false);
    for (const auto &[item, itemFormat] : items)
        item->setChecked(itemFormat == format);
    group->setExclusive(true);
}

TCoderPage TSettingsPages::CoderPage() const
{
    TCoderPage page;
    page.sampleRate = m_ui.CBoxSampleRate->currentText();
    page.bitRate = m_ui.CBoxBitRate->currentText();
    page.maxBitRate = m_ui.CBoxMaxBitRate->currentText();
    page.mode = m_ui.CBoxMode->currentIndex();
    page.quality = m_ui.CBoxQuality->currentIndex();
    page.vbrHeader = m_ui.CheckBoxVBRHeader->isChecked();
    page.vbr = m_ui.CheckBoxVBR->isChecked();
    page.copyright = m_ui.CheckBoxCopyright->isChecked();
    page.original = m_ui.CheckBoxOriginal->isChecked();
    page.crc = m_ui.CheckBoxCRC->isChecked();
    page.isPrivate = m_ui.CheckBoxPrivate->isChecked();
    page.vbrQuality = m_ui.TrackBarVBRQuality->value();
    return page;
}

ProxySettings TSettingsPages::ProxyPage() const
{
    return {m_ui.ProxyHostEdit->text(), m_ui.ProxyPortEdit->text(), m_ui.ProxyUsername->text(),
            m_ui.ProxyPassword->text()};
}
