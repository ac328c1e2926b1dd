#include "rip/TrackFileNames.h"

#include "platform/FileNames.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringView>

#include <algorithm>
#include <optional>
#include <vector>

namespace
{

// The marks and embeddings that turn text's direction: "\u202eevil\u202dcod.exe" would show as a name
// it is not.
bool turnsDirection(char16_t c)
{
    return c == 0x061c || c == 0x200e || c == 0x200f || (c >= 0x202a && c <= 0x202e) ||
           (c >= 0x2066 && c <= 0x2069);
}

// A folder without its final "/" runs into the name that follows it: that part of the name counts too.
qsizetype tailBytes(const QString &folder)
{
    return folder.mid(folder.lastIndexOf(QLatin1Char('/')) + 1).toUtf8().size();
}

} // namespace

QString CleanFileName(const QString &title)
{
    QString name;
    for (const QChar c : WellFormedText(title)) {
        if (c.unicode() >= 0x20 && c.unicode() != 0x7f && !turnsDirection(c.unicode()))
            name += c == QLatin1Char('/') ? QLatin1Char('-') : c;
    }
    const auto trimmable = [](QChar c) { return c.isSpace() || c == QLatin1Char('.'); };
    qsizetype from = 0, to = name.size();
    while (from < to && trimmable(name[from]))
        ++from;
    while (to > from && trimmable(name[to - 1]))
        --to;
    return name.sliced(from, to - from);
}

QString FitFileName(const QString &text, qsizetype maxBytes)
{
    qsizetype bytes = 0;
    qsizetype end = 0;
    while (end < text.size()) {
        const qsizetype units =
            text[end].isHighSurrogate() && end + 1 < text.size() && text[end + 1].isLowSurrogate() ? 2 : 1;
        const qsizetype size = QStringView(text).mid(end, units).toUtf8().size();
        if (bytes + size > maxBytes)
            break;
        bytes += size;
        end += units;
    }
    return text.left(end);
}

QString PortableFileName(const QString &name)
{
    QString portable;
    portable.reserve(name.size() + 1);
    for (const QChar c : name) {
        switch (c.unicode()) {
        case ':':
        case '\\':
        case '|':
            portable += QLatin1Char('-');
            break;
        case '"':
            portable += QLatin1Char('\'');
            break;
        case '<':
        case '>':
        case '?':
        case '*':
            portable += QLatin1Char('_');
            break;
        default:
            portable += c;
        }
    }
    while (!portable.isEmpty() && (portable.back().isSpace() || portable.back() == QLatin1Char('.')))
        portable.chop(1);
    static const QRegularExpression reserved(
        QStringLiteral("^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])(?= *(\\.|$))"),
        QRegularExpression::CaseInsensitiveOption);
    if (const QRegularExpressionMatch device = reserved.match(portable); device.hasMatch())
        portable.insert(device.capturedEnd(1), QLatin1Char('_'));
    return portable;
}

bool IsNamePattern(const QString &pattern)
{
    return !pattern.isEmpty() && pattern.size() <= MaxNamePatternLength &&
           std::none_of(pattern.begin(), pattern.end(),
                        [](QChar c) { return c.unicode() < 0x20 || c == QChar(0x7f); });
}

namespace
{

// A piece of one part of a pattern: text as written, or a field's value.
struct Piece {
    QString text;
    bool field = false;
    bool missing = false;
};

std::optional<QString> fieldValue(QChar code, const TNameFields &f)
{
    const auto known = [](const QString &value) { return !CleanFileName(value).isEmpty(); };
    const QString unknownArtist = QStringLiteral("Artista sconosciuto");
    switch (code.unicode()) {
    case 'N':
        return f.number;
    case 'T':
        return f.title;
    case 'A':
        return known(f.artist) ? f.artist : unknownArtist;
    case 'B':
        return known(f.albumArtist) ? f.albumArtist : known(f.artist) ? f.artist : unknownArtist;
    case 'L':
        return known(f.album) ? f.album : QStringLiteral("Album sconosciuto");
    case 'Y':
        return f.year;
    case 'D':
        return f.disc;
    }
    return std::nullopt;
}

QString expandPart(const QString &part, const TNameFields &fields)
{
    std::vector<Piece> pieces;
    const auto text = [&pieces](const QString &s) {
        if (pieces.empty() || pieces.back().field)
            pieces.push_back({s});
        else
            pieces.back().text += s;
    };
    for (qsizetype i = 0; i < part.size(); ++i) {
        const QChar code = i + 1 < part.size() ? part[i + 1] : QChar();
        const std::optional<QString> value =
            part[i] == QLatin1Char('%') ? fieldValue(code, fields) : std::nullopt;
        if (value) {
            pieces.push_back({*value, true, CleanFileName(*value).isEmpty()});
            ++i;
        } else if (part[i] == QLatin1Char('%') && code == QLatin1Char('%')) {
            text(QStringLiteral("%"));
            ++i;
        } else {
            text(part[i]);
        }
    }
    for (;;) {
        const auto missing =
            std::find_if(pieces.begin(), pieces.end(), [](const Piece &p) { return p.missing; });
        if (missing == pieces.end())
            break;
        const auto isField = [](const Piece &p) { return p.field; };
        const bool fieldBefore = std::any_of(pieces.begin(), missing, isField);
        const bool fieldAfter = std::any_of(missing + 1, pieces.end(), isField);
        Piece *before = missing != pieces.begin() && !(missing - 1)->field ? &*(missing - 1) : nullptr;
        Piece *after = missing + 1 != pieces.end() && !(missing + 1)->field ? &*(missing + 1) : nullptr;
        if (before && after && !before->text.isEmpty() && !after->text.isEmpty()) {
            static const QString openers = QStringLiteral("([{"), closers = QStringLiteral(")]}");
            const qsizetype kind = openers.indexOf(before->text.back());
            if (kind >= 0 && after->text.front() == closers[kind]) {
                before->text.chop(1);
                after->text.remove(0, 1);
            }
        }
        if (before)
            before->text.clear();
        if (after && (!fieldBefore || !fieldAfter))
            after->text.clear();
        pieces.erase(missing);
    }
    QString expanded;
    for (const Piece &piece : pieces)
        expanded += piece.text;
    return expanded;
}

} // namespace

QStringList NamePatternParts(const QString &pattern, const TNameFields &fields)
{
    QStringList parts = pattern.split(QLatin1Char('/'));
    if (parts.last().trimmed().isEmpty())
        parts.last() = QStringLiteral("%T");
    for (QString &part : parts)
        part = expandPart(part, fields);
    return parts;
}

QString TTrackFileNames::Name(const QString &text) const
{
    const QString name = CleanFileName(text);
    return m_portable ? PortableFileName(name) : name;
}

QString TTrackFileNames::Fit(const QString &name, qsizetype maxBytes) const
{
    const QString fitted = FitFileName(name, maxBytes);
    return m_portable ? PortableFileName(fitted) : fitted;
}

QString TTrackFileNames::Subfolder(const QString &folder, const QString &text) const
{
    const QString name = Fit(Name(text), MaxNameBytes - tailBytes(folder));
    return name.isEmpty() ? folder : folder + name + QLatin1Char('/');
}

QString TTrackFileNames::Next(const QString &folder, const QString &title, const QString &caption,
                              const QString &ripperExt, const QString &finalExt)
{
    QString name = Name(title);
    if (name.isEmpty())
        name = caption;
    const qsizetype taken = tailBytes(folder) + std::max(ripperExt.toUtf8().size(), finalExt.toUtf8().size());
    for (int n = 1;; ++n) {
        const QString suffix = n == 1 ? QString() : QString(" (%1)").arg(n);
        const QString candidate = Fit(name, MaxNameBytes - taken - suffix.toUtf8().size()) + suffix;
        const QString path = folder + candidate;
        const QByteArray bytes = QFile::encodeName(path + finalExt);
        if (!m_given.contains(bytes) &&
            !(m_besideExisting && (FileOrLinkExists(path + finalExt) || FileOrLinkExists(path + "jitt")))) {
            m_given.insert(bytes);
            return path + ripperExt;
        }
    }
}
