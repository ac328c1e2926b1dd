// The format choice, the "codec MP3" page and the conversion of chosen WAV files, all on the
// window's thread.
#include "app/MainForm.h"
#include "app/MainFormUi.h"

#include "disc/Quarle.h"
#include "encoder/MP3Coder.h"
#include "platform/Exception.h"

void TDlgMainForm::RGroupFormatExtractionClick()
{
    ApplyExtractionFormat(ExtractionFormat());
}

void TDlgMainForm::ApplyExtractionFormat(AudioFormat format)
{
    Quarle->setFormat(format);
}

TDlgMainForm::CoderPage TDlgMainForm::ReadCoderPage() const
{
    CoderPage page;
    page.sampleRate = ui->CBoxSampleRate->currentText();
    page.bitRate = ui->CBoxBitRate->currentText();
    page.maxBitRate = ui->CBoxMaxBitRate->currentText();
    page.mode = ui->CBoxMode->currentIndex();
    page.quality = ui->CBoxQuality->currentIndex();
    page.vbrHeader = ui->CheckBoxVBRHeader->isChecked();
    page.vbr = ui->CheckBoxVBR->isChecked();
    page.copyright = ui->CheckBoxCopyright->isChecked();
    page.original = ui->CheckBoxOriginal->isChecked();
    page.crc = ui->CheckBoxCRC->isChecked();
    page.isPrivate = ui->CheckBoxPrivate->isChecked();
    page.vbrQuality = ui->TrackBarVBRQuality->value();
    return page;
}

void TDlgMainForm::ApplyCoderSettings(const CoderPage &page)
{
    ApplyCoderPage(*MP3Coder, page);
}

void TDlgMainForm::ChooseWavFiles()
{
    const QStringList files = chooseWavFiles(this);
    if (files.isEmpty())
        return;
    MP3Coder->setInputFiles(files);
    ui->LBoxFichierWav->clear();
    ui->LBoxFichierWav->addItems(files);
}

void TDlgMainForm::ConvertWavFiles()
{
    // The coder serves one job at a time: an extraction to MP3 may be using it right now.
    if (ExtractionRunning())
        throw Exception("Attendere la fine dell'estrazione prima di convertire.");
    if (m_converting)
        return;
    m_converting = true;
    try {
        ApplyCoderSettings(ReadCoderPage());
        MP3Coder->ProcessFiles();
    } catch (...) {
        m_converting = false;
        throw;
    }
    m_converting = false;
}

void TDlgMainForm::BtnChoisirFichierWavClick()
{
    ChooseWavFiles();
}

void TDlgMainForm::BtnConvertWavClick()
{
    ConvertWavFiles();
}

void TDlgMainForm::BtnCancelConvertWavClick()
{
    MP3Coder->CancelProcess();
}

void TDlgMainForm::LameCoder1BeginFile(QObject *, uint16_t, const QString &fileName)
{
    ui->LabelEnCours->setText("Codifica di " + fileName);
}

void TDlgMainForm::LameCoder1Progress(QObject *, uint16_t percentComplete)
{
    ui->ProgressBar1->setValue(percentComplete);
}

void TDlgMainForm::TrackBarVBRQualityChange()
{
    ui->LabelVBRQualite->setText(QString::number(ui->TrackBarVBRQuality->value()));
}
