#include "rip/ExtractionPlan.h"

#include "encoder/MP3Coder.h"
#include "platform/Exception.h"
#include "platform/FileNames.h"
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

// A row's values for the pattern of names: "n" of its "n/N" in two digits ("00" for the audio before
// track 1, which has none), the disc's "n" of its "n/N".
TNameFields nameFields(const TExtractionRow &row)
{
    bool numbered = false;
    const int number = row.tags.track.section('/', 0, 0).toInt(&numbered);
    const Mp3TagFields &t = row.tags;
    return {QString("%1").arg(numbered ? number : int(row.trackNum), 2, 10, QChar('0')),
            CleanFileName(row.title).isEmpty() ? row.caption : row.title,
            t.artist,
            t.albumArtist,
            t.album,
            t.year,
            t.disc.section('/', 0, 0)};
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
    TTrackFileNames names(besideExisting, plan.portableNames);
    QString album; // the first row's folder
    for (TExtractionRow &row : plan.rows) {
        const QStringList parts = NamePatternParts(plan.namePattern, nameFields(row));
        QString folder = plan.folder;
        for (qsizetype i = 0; i + 1 < parts.size(); ++i)
            folder = names.Subfolder(folder, parts[i]);
        row.path = names.Next(folder, parts.last(), row.caption, ext, finalExt);
        if (album.isNull())
            album = folder;
    }
    if (album.isNull())
        album = plan.folder;
    QString stem = names.Name(plan.discLabel);
    if (stem.isEmpty())
        stem = QStringLiteral("QUARLE");
    for (int n = 1;; ++n) {
        const QString suffix = n == 1 ? QString() : QString(" (%1)").arg(n);
        plan.logFile = QDir(album).filePath(
            names.Fit(stem, TTrackFileNames::MaxNameBytes - 4 - suffix.toUtf8().size()) + suffix + ".log");
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
