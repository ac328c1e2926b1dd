#include "rip/ExtractionPlan.h"

#include "encoder/MP3Coder.h"
#include "platform/Exception.h"
#include "platform/FileNames.h"
#include "rip/RipVerification.h"
#include "rip/TrackFileNames.h"

#include <QDir>

namespace
{

uint32_t comboInteger(const QString &text)
{
    bool ok = false;
    const uint32_t value = text.toUInt(&ok);
    if (!ok)
        throw Exception(QString("'%1' is not a valid integer value").arg(text).toStdString());
    return value;
}

} // namespace

QString AudioFile(const TExtractionPlan &plan, const TExtractionRow &row)
{
    return plan.format == AudioFormat::Mp3 || plan.format == AudioFormat::Flac
               ? ChangeFileExt(row.path, FileExtension(plan.format))
               : row.path;
}

void NameFiles(TExtractionPlan &plan, bool besideExisting)
{
    // The ripper is given a ".wav" or ".pcm" name, and makes ".mp3" or ".flac" of it.
    const QString ext = FileExtension(plan.format == AudioFormat::Wav ? AudioFormat::Wav : AudioFormat::Pcm);
    const QString finalExt = FileExtension(plan.format);
    TTrackFileNames names(besideExisting);
    for (TExtractionRow &row : plan.rows)
        row.path = names.Next(plan.folder, row.title, row.caption, ext, finalExt);
    const QString log = TRipVerification::LogFileName(plan.discLabel);
    const QString stem = log.chopped(4);
    for (int n = 1;; ++n) {
        const QString suffix = n == 1 ? QString() : QString(" (%1)").arg(n);
        plan.logFile =
            QDir(plan.folder)
                .filePath(FitFileName(stem, TTrackFileNames::MaxNameBytes - 4 - suffix.toUtf8().size()) +
                          suffix + ".log");
        if (!besideExisting || (!FileOrLinkExists(plan.logFile) && !FileOrLinkExists(CueSheetFile(plan))))
            break;
    }
}

QString CueSheetFile(const TExtractionPlan &plan)
{
    return plan.logFile.chopped(4) + ".cue";
}

QStringList ExistingFiles(const TExtractionPlan &plan)
{
    QStringList files;
    for (const TExtractionRow &row : plan.rows) {
        const QString audio = AudioFile(plan, row);
        for (const QString &file : {audio, ChangeFileExt(audio, "jitt")}) {
            if (FileOrLinkExists(file))
                files << file;
        }
    }
    for (const QString &file : {plan.logFile, CueSheetFile(plan)}) {
        if (FileOrLinkExists(file))
            files << file;
    }
    return files;
}

void ApplyCoderPage(TMP3Coder &coder, const TCoderPage &page)
{
    coder.setSampleRate(comboInteger(page.sampleRate));
    coder.setBitrate(comboInteger(page.bitRate));
    coder.setMaxBitrate(comboInteger(page.maxBitRate));
    if (page.mode >= 0)
        coder.setMode(TMP3CoderMode(page.mode));
    coder.setQuality(MPEG_QUALITY(uint8_t(page.quality)));
    coder.setWriteVBRHeader(page.vbrHeader);
    coder.setEnableVBR(page.vbr);
    coder.setCopyright(page.copyright);
    coder.setOriginal(page.original);
    coder.setCRC(page.crc);
    coder.setPrivate(page.isPrivate);
    coder.setVBRQuality(page.vbrQuality);
}
