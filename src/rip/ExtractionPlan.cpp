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
    return plan.format == 0   ? ChangeFileExt(row.path, ".mp3")
           : plan.format == 2 ? ChangeFileExt(row.path, ".flac")
                              : row.path;
}

void NameFiles(TExtractionPlan &plan, bool besideExisting)
{
    const QString ext = plan.format == 1 ? ".wav" : ".pcm";
    const QString finalExt = plan.format == 0 ? ".mp3" : plan.format == 2 ? ".flac" : ext;
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
        if (!besideExisting || !FileOrLinkExists(plan.logFile))
            break;
    }
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
    if (FileOrLinkExists(plan.logFile))
        files << plan.logFile;
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
