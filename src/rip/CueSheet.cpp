#include "rip/CueSheet.h"

#include <QRegularExpression>
#include <QStringList>

namespace
{

QString cleanText(const QString &text)
{
    QString clean;
    for (const QChar c : text) {
        if (c == QLatin1Char('"'))
            clean += QLatin1Char('\'');
        else if (c == QLatin1Char('\t'))
            clean += QLatin1Char(' ');
        else if (c.unicode() >= 0x20 && c.unicode() != 0x7f)
            clean += c;
    }
    return clean;
}

QString quoted(const QString &text)
{
    return QLatin1Char('"') + cleanText(text) + QLatin1Char('"');
}

QString indexLine(int index, int32_t sectors)
{
    return QString("    INDEX %1 %2").arg(index, 2, 10, QChar('0')).arg(CueTime(sectors));
}

} // namespace

QByteArray CueSheetText(const TCueDisc &disc)
{
    static const QRegularExpression catalog("^[0-9]{13}$"), isrc("^[A-Z0-9]{12}$");
    QStringList lines;
    const auto add = [&lines](const QString &keyword, const QString &text, bool quote = true) {
        if (!text.isEmpty())
            lines << keyword + ' ' + (quote ? quoted(text) : cleanText(text));
    };
    if (catalog.match(disc.catalog).hasMatch())
        lines << "CATALOG " + disc.catalog;
    add("PERFORMER", disc.performer);
    add("TITLE", disc.title);
    add("REM DATE", disc.date, false);
    add("REM GENRE", disc.genre);
    add("REM DISCID", disc.discId, false);

    const auto file = [&](const QString &name) { lines << "FILE " + quoted(name) + ' ' + disc.fileType; };
    const auto track = [&](const TCueTrack &t) {
        lines << QString("  TRACK %1 AUDIO").arg(t.number, 2, 10, QChar('0'));
        const auto addTrack = [&](const QString &keyword, const QString &text) {
            add("    " + keyword, text);
        };
        addTrack("TITLE", t.title);
        addTrack("PERFORMER", t.performer);
        if (isrc.match(t.isrc).hasMatch())
            lines << "    ISRC " + t.isrc;
        if (t.preemphasis)
            lines << "    FLAGS PRE";
    };
    for (size_t i = 0; i < disc.tracks.size(); ++i) {
        const TCueTrack &t = disc.tracks[i];
        if (i == 0 && !disc.hiddenFile.isEmpty()) {
            file(disc.hiddenFile);
            track(t);
            lines << indexLine(0, 0);
            file(t.file);
        } else if (i == 0) {
            file(t.file);
            track(t);
            if (disc.hiddenSectors > 0)
                lines << "    PREGAP " + CueTime(disc.hiddenSectors);
        } else if (t.pregapSectors > 0) {
            // The gap is the end of the previous file.
            track(t);
            lines << indexLine(0, t.previousFileSectors - t.pregapSectors);
            file(t.file);
        } else {
            file(t.file);
            track(t);
        }
        lines << indexLine(1, 0);
        for (size_t k = 0; k < t.indexOffsets.size(); ++k)
            lines << indexLine(int(k) + 2, t.indexOffsets[k]);
    }
    return (lines.join("\r\n") + "\r\n").toUtf8();
}

QString CueTime(int32_t sectors)
{
    return QString("%1:%2:%3")
        .arg(sectors / (75 * 60), 2, 10, QChar('0'))
        .arg(sectors / 75 % 60, 2, 10, QChar('0'))
        .arg(sectors % 75, 2, 10, QChar('0'));
}
