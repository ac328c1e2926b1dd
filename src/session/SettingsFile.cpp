#include "session/SettingsFile.h"

#include "platform/NewFile.h"
#include "rip/TrackFileNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>

#include <algorithm>
#include <functional>

namespace
{

// A line that holds a decimal integer and nothing else: an optional "-", then digits.
std::optional<int> toInteger(const QString &line)
{
    if (line.isEmpty())
        return std::nullopt;
    const qsizetype start = line.startsWith('-') ? 1 : 0;
    if (start == line.size())
        return std::nullopt;
    for (qsizetype i = start; i < line.size(); ++i) {
        if (line[i] < '0' || line[i] > '9')
            return std::nullopt;
    }
    bool ok = false;
    const int value = line.toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

// Strictly valid UTF-8: the text it decodes to encodes back to the same bytes (no overlong forms, no
// encoded surrogates, nothing cut short).
bool isUtf8(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

// The text of a file: UTF-8 when it is valid UTF-8 (a pure ASCII file is both), else Latin-1, the
// encoding of every file before a value outside Latin-1 was first saved.
QString decode(const QByteArray &content)
{
    return isUtf8(content) ? QString::fromUtf8(content) : QString::fromLatin1(content);
}

// Latin-1 while every character fits, so that such files stay as they always were; UTF-8 otherwise,
// and also where the Latin-1 bytes would read back as other text (a value "Ã©" is the UTF-8 of "é").
QByteArray encode(const QString &text)
{
    const QByteArray latin1 = text.toLatin1();
    const bool fits = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x100; });
    return fits && decode(latin1) == text ? latin1 : text.toUtf8();
}

// Line 5's numbers, -1 to 2, and the formats they stand for.
constexpr AudioFormat kNumberedFormats[] = {AudioFormat::Pcm, AudioFormat::Mp3, AudioFormat::Wav,
                                            AudioFormat::Flac};

int formatNumber(AudioFormat format)
{
    return int(std::find(std::begin(kNumberedFormats), std::end(kNumberedFormats), format) -
               std::begin(kNumberedFormats)) -
           1;
}

QList<QString> splitLines(const QString &content)
{
    QList<QString> lines;
    qsizetype start = 0;
    while (start < content.size()) {
        qsizetype end = content.indexOf('\n', start);
        if (end < 0)
            end = content.size();
        qsizetype stop = end;
        if (stop > start && content[stop - 1] == '\r')
            --stop;
        lines << content.mid(start, stop - start);
        start = end + 1;
    }
    return lines;
}

} // namespace

SettingsRead ParseSettings(const QByteArray &content)
{
    const QList<QString> lines = splitLines(decode(content));
    auto line = [&lines](int number) { return lines.value(number - 1); }; // a missing line is empty
    SettingsRead read;
    read.dir = line(3);
    const auto format = toInteger(line(5));
    if (!format)
        return read;
    read.format = kNumberedFormats[std::clamp(*format, -1, 2) + 1];
    std::optional<int> *indexes[] = {&read.sampleRate, &read.bitRate, &read.maxBitRate, &read.mode,
                                     &read.quality};
    for (int i = 0; i < 5; ++i) {
        *indexes[i] = toInteger(line(7 + i));
        if (!*indexes[i])
            return read;
    }
    read.proxyHost = line(13);
    read.proxyPort = line(14);
    read.proxyUser = line(15);
    read.proxyPassword = line(16);
    return read;
}

QByteArray FormatSettings(const QuarleSettings &s)
{
    const QString lines[16] = {"//quarle ini file. non modificare",
                               "[destination dir]",
                               s.dir,
                               "[extraction]",
                               QString::number(formatNumber(s.format)),
                               "[codec MP3]",
                               QString::number(s.sampleRate),
                               QString::number(s.bitRate),
                               QString::number(s.maxBitRate),
                               QString::number(s.mode),
                               QString::number(s.quality),
                               "[proxy]",
                               s.proxyHost,
                               s.proxyPort,
                               s.proxyUser,
                               s.proxyPassword};
    QString out;
    for (const QString &l : lines) {
        // A line break inside a value would shift every later line.
        QString value = l;
        value.replace('\r', ' ').replace('\n', ' ');
        out += value + "\r\n";
    }
    return encode(out);
}

SettingsRead ReadSettingsFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ParseSettings({});
    // The file is 16 short lines; anything past 1 MiB is not ours to read.
    return ParseSettings(file.read(1 << 20));
}

bool WriteSettingsFile(const QString &path, const QuarleSettings &settings)
{
    // The file holds the proxy password: readable by its owner only, from the moment it exists. A new
    // file takes the old one's place once whole (a full disk leaves the old one), and a link there is
    // replaced, never written through.
    const QByteArray bytes = FormatSettings(settings);
    return ReplaceFile(path,
                       [&](TNewFile &file) {
                           return file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                                  file.write(bytes) == bytes.size();
                       })
        .isEmpty();
}

namespace
{

// The "Name=value" lines of a small settings file (its first 64 KiB, UTF-8), each handed on trimmed,
// the name as written; lines without a name are passed over. Nothing for a missing file.
void ForEachNameValue(const QString &path, const std::function<void(const QString &name, const QString &value)> &take)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    for (const QByteArray &raw : file.read(64 * 1024).split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        const qsizetype equals = line.indexOf('=');
        if (equals > 0)
            take(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
    }
}

bool SameName(const QString &name, const char *wanted)
{
    return name.compare(QLatin1String(wanted), Qt::CaseInsensitive) == 0;
}

} // namespace

ServerSettings ReadServerSettings(const QString &path)
{
    ServerSettings servers;
    ForEachNameValue(path, [&](const QString &name, const QString &value) {
        const bool web = value.startsWith("http://", Qt::CaseInsensitive) ||
                         value.startsWith("https://", Qt::CaseInsensitive);
        if (web && SameName(name, "MusicBrainz"))
            servers.musicBrainz = value;
        if (web && SameName(name, "CoverArt"))
            servers.coverArt = value;
    });
    return servers;
}

QString ExtractionOptionsFile(const QString &settingsFile)
{
    return QFileInfo(settingsFile).dir().filePath("quarle-estrazione.ini");
}

ExtractionOptions ReadExtractionOptions(const QString &path)
{
    ExtractionOptions options;
    ForEachNameValue(path, [&](const QString &name, const QString &value) {
        const bool flag = value == "0" || value == "1";
        if (SameName(name, "ProvaECopia") && flag)
            options.testAndCopy = value == "1";
        else if (SameName(name, "NomiCompatibili") && flag)
            options.portableNames = value == "1";
        else if (SameName(name, "NomiFile") && IsNamePattern(value))
            options.namePattern = value;
    });
    return options;
}

bool WriteExtractionOptions(const QString &path, const ExtractionOptions &options)
{
    // A pattern that would not read back (a line break in it) is not kept.
    const QString pattern = IsNamePattern(options.namePattern) ? options.namePattern : QStringLiteral("%T");
    const QByteArray bytes = QByteArray("ProvaECopia=") + (options.testAndCopy ? "1" : "0") + "\nNomiFile=" +
                             pattern.toUtf8() + "\nNomiCompatibili=" + (options.portableNames ? "1" : "0") +
                             "\n";
    return ReplaceFile(path, [&](TNewFile &file) { return file.write(bytes) == bytes.size(); }).isEmpty();
}

const QStringList kSampleRates = {"44100", "32000", "22050"};
const QStringList kBitRates = {"320", "256", "192", "160", "128", "96"};
const QStringList kMaxBitRates = {"320", "256", "192", "160"};

TCoderPage CoderPageOf(const SettingsRead &read)
{
    TCoderPage page;
    const auto at = [](const QStringList &list, const std::optional<int> &index, int otherwise) {
        return list.value(index.value_or(otherwise));
    };
    page.sampleRate = at(kSampleRates, read.sampleRate, 0);
    page.bitRate = at(kBitRates, read.bitRate, 4);
    page.maxBitRate = at(kMaxBitRates, read.maxBitRate, 0);
    // An index outside the page's four leaves the list with no choice, as in the window.
    const auto choice = [](const std::optional<int> &index) {
        return index.value_or(0) >= 0 && index.value_or(0) < 4 ? index.value_or(0) : -1;
    };
    page.mode = choice(read.mode);
    page.quality = choice(read.quality);
    return page;
}
