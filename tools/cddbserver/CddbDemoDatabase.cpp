#include "CddbDemoDatabase.h"

#include <QFile>
#include <QRegularExpression>

namespace
{

bool IsDiscId(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^[0-9a-fA-F]{8}$"));
    return pattern.match(text).hasMatch();
}

bool IsNumber(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^[0-9]{1,9}$"));
    return pattern.match(text).hasMatch();
}

const QStringList kSyntaxError{QStringLiteral("500 Command syntax error.")};

} // namespace

bool CddbDemoDatabase::Add(const QString &category, const QString &xmcdText, QString *error)
{
    const auto fail = [error](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (category.isEmpty() || category.contains(QRegularExpression(QStringLiteral("\\s"))))
        return fail(QStringLiteral("the category must be one word"));

    CddbDemoEntry entry;
    entry.category = category;
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    for (const QString &line : xmcdText.split(lineEnd)) {
        // A "." line would end the read answer before the rest of the entry.
        if (line.isEmpty() || line == QLatin1String("."))
            continue;
        entry.lines.append(line);
        if (line.startsWith(QLatin1String("DISCID="))) {
            for (const QString &id : line.mid(7).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                if (!IsDiscId(id.trimmed()))
                    return fail(
                        QStringLiteral("\"%1\" is not a disc id of eight hexadecimal digits").arg(id));
                entry.discIds.append(id.trimmed().toLower());
            }
        } else if (line.startsWith(QLatin1String("DTITLE="))) {
            entry.title += line.mid(7);
        }
    }
    if (entry.discIds.isEmpty())
        return fail(QStringLiteral("no DISCID line"));
    entries_.push_back(entry);
    return true;
}

bool CddbDemoDatabase::AddFile(const QString &category, const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    // An entry is a few kilobytes; anything far larger is not one.
    constexpr qint64 MaxEntryBytes = 1024 * 1024;
    if (file.size() > MaxEntryBytes) {
        if (error)
            *error = QStringLiteral("larger than an xmcd entry can be");
        return false;
    }
    return Add(category, QString::fromUtf8(file.readAll()), error);
}

QStringList CddbDemoDatabase::Answer(const QString &command) const
{
    static const QRegularExpression spaces(QStringLiteral("\\s+"));
    const QStringList words = command.split(spaces, Qt::SkipEmptyParts);
    if (words.size() >= 2 && words[0].compare(QLatin1String("cddb"), Qt::CaseInsensitive) == 0) {
        if (words[1].compare(QLatin1String("query"), Qt::CaseInsensitive) == 0)
            return Query(words);
        if (words[1].compare(QLatin1String("read"), Qt::CaseInsensitive) == 0)
            return Read(words);
    }
    return {QStringLiteral("500 Unrecognized command.")};
}

const CddbDemoEntry *CddbDemoDatabase::Find(const QString &discId, const QString *category) const
{
    for (const CddbDemoEntry &entry : entries_) {
        if (category && entry.category.compare(*category, Qt::CaseInsensitive) != 0)
            continue;
        if (entry.discIds.contains(discId.toLower()))
            return &entry;
    }
    return nullptr;
}

QStringList CddbDemoDatabase::Query(const QStringList &words) const
{
    // cddb query <discid> <ntrks> <offset 1> ... <offset ntrks> <nsecs>
    if (words.size() < 4 || !IsDiscId(words[2]) || !IsNumber(words[3]))
        return kSyntaxError;
    const int tracks = words[3].toInt();
    if (tracks < 1 || tracks > 99 || words.size() != 4 + tracks + 1)
        return kSyntaxError;
    for (qsizetype i = 4; i < words.size(); ++i) {
        if (!IsNumber(words[i]))
            return kSyntaxError;
    }
    const CddbDemoEntry *entry = Find(words[2], nullptr);
    if (!entry)
        return {QStringLiteral("202 No match found.")};
    return {QStringLiteral("200 %1 %2 %3").arg(entry->category, words[2].toLower(), entry->title)};
}

QStringList CddbDemoDatabase::Read(const QStringList &words) const
{
    // cddb read <category> <discid>
    if (words.size() != 4 || !IsDiscId(words[3]))
        return kSyntaxError;
    const CddbDemoEntry *entry = Find(words[3], &words[2]);
    if (!entry)
        return {QStringLiteral("401 %1 %2 No such CD entry in database.").arg(words[2], words[3])};
    QStringList answer{QStringLiteral("210 %1 %2 CD database entry follows (until terminating `.')")
                           .arg(entry->category, words[3].toLower())};
    answer += entry->lines;
    answer.append(QStringLiteral("."));
    return answer;
}
