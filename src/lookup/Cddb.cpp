#include "lookup/Cddb.h"

#include <QUrl>

#include <limits>

// A public CDDB server that still answers the protocol over plain HTTP on port 80 (the freedb
// database, kept by dbpoweramp). The greeting says who asks: the program's name and version, no
// personal data.
const QString Cddb::Host = "freedb.dbpoweramp.com";
const QString Cddb::Path = "/~cddb/cddb.cgi";
const QString Cddb::GreetingSuffix = "&hello=quarle+localhost+QUARLE+1.0&proto=4";

namespace
{

// The line with its first `count` words removed. Where a word has no space after it, the line is
// not shortened further at that point ("200 rock" minus three words is "rock").
QString withoutWords(QString line, int count)
{
    for (int i = 0; i < count; ++i)
        line = line.mid(line.indexOf(' ') + 1);
    return line;
}

QString firstWord(const QString &line)
{
    const int space = line.indexOf(' ');
    return space < 0 ? line : line.left(space);
}

} // namespace

QString Cddb::QueryUrl(const QString &discIdText, const std::vector<uint32_t> &offsets,
                       uint32_t lengthSeconds)
{
    QString url =
        "http://" + Host + Path + QString("?cmd=cddb+query+%1+%2").arg(discIdText).arg(offsets.size());
    for (uint32_t offset : offsets)
        url += "+" + QString::number(offset);
    url += "+" + QString::number(lengthSeconds);
    return url + GreetingSuffix;
}

QString Cddb::ReadUrl(const QString &category, const QString &discIdText)
{
    const auto safe = [](const QString &word) { return QString::fromLatin1(QUrl::toPercentEncoding(word)); };
    return "http://" + Host + Path + QString("?cmd=cddb+read+%1+%2+").arg(safe(category), safe(discIdText)) +
           GreetingSuffix;
}

QString Cddb::StatusWord(const QStringList &document)
{
    const QString status = document.value(0);
    const int space = status.indexOf(' ');
    return space < 0 ? QString() : status.left(space);
}

bool Cddb::IsSuccess(const QString &statusWord)
{
    return statusWord == "200" || statusWord == "210" || statusWord == "211";
}

std::vector<CddbMatch> Cddb::QueryMatches(const QStringList &document)
{
    const QString word = StatusWord(document);
    std::vector<CddbMatch> matches;
    if (word == "200") {
        // 200 <category> <disc id> <disc title>
        const QString status = document.value(0);
        const QString rest = status.mid(status.indexOf(' ') + 1);
        const int space = rest.indexOf(' ');
        CddbMatch &match = matches.emplace_back();
        match.found = true;
        match.category = space < 0 ? QString() : rest.left(space);
        match.title = withoutWords(status, 3);
    } else if (word == "210" || word == "211") {
        // 211 Found inexact matches, list follows (until terminating `.')
        // rock 1202e203 Some Artist / Some Album
        // .
        for (qsizetype i = 1; i < document.size() && document[i] != "." && matches.size() < kMaxMatches;
             ++i) {
            const QString &line = document[i];
            matches.push_back({true, firstWord(line), line.section(' ', 1, 1), withoutWords(line, 2)});
        }
    }
    return matches;
}

CddbMatch Cddb::QueryMatch(const QStringList &document)
{
    const std::vector<CddbMatch> matches = QueryMatches(document);
    return matches.empty() ? CddbMatch() : matches.front();
}

void Cddb::ScanTitles(const QStringList &document, const std::function<void(int, const QString &)> &store)
{
    // TTITLE0=First track
    // TTITLE1=Second = track, whose title goes on
    // TTITLE1= on the next line
    // .
    std::map<int, QString> titles;
    for (qsizetype i = 1; i < document.size(); ++i) {
        const QString &line = document[i];
        if (line.startsWith("TTITLE")) {
            const qsizetype eq = line.indexOf('=');
            const QString indexText = eq < 0 ? QString() : line.mid(6, eq - 6);
            const int index = ParseIndex(indexText);
            QString &title = titles[index];
            title += line.mid(eq + 1);
            store(index, title);
        }
        if (line == ".")
            break;
    }
}

CddbEntry Cddb::ReadEntry(const QStringList &document)
{
    // DTITLE=Various / Hits of the
    // DTITLE= Year
    // DYEAR=1999
    // DGENRE=Pop
    // TTITLE0=Some Artist / Some Song
    QString discTitle;
    CddbEntry entry;
    std::map<int, QString> titles;
    for (qsizetype i = 1; i < document.size() && document[i] != "."; ++i) {
        const QString &line = document[i];
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            continue;
        const QString keyword = line.left(eq), value = line.mid(eq + 1);
        if (keyword == "DTITLE") {
            discTitle += value;
        } else if (keyword == "DYEAR") {
            entry.year += value;
        } else if (keyword == "DGENRE") {
            entry.genre += value;
        } else if (keyword.startsWith("TTITLE")) {
            try {
                titles[ParseIndex(keyword.mid(6))] += value;
            } catch (const EConvertError &) {
                // ScanTitles reports it; here the line has no track to belong to.
            }
        }
    }

    const auto split = [](const QString &text, QString &left, QString &right) {
        const qsizetype at = text.indexOf(" / ");
        if (at < 0)
            return false;
        left = text.left(at);
        right = text.mid(at + 3);
        return true;
    };
    if (!split(discTitle, entry.artist, entry.album))
        entry.artist = entry.album = discTitle;
    const QString artist = entry.artist.trimmed();
    entry.compilation = artist.compare("Various", Qt::CaseInsensitive) == 0 ||
                        artist.compare("Various Artists", Qt::CaseInsensitive) == 0;
    for (const auto &[index, text] : titles) {
        CddbTrackTitle &track = entry.tracks[index];
        track.text = text;
        if (!entry.compilation || !split(text, track.artist, track.title))
            track.title = text;
    }
    return entry;
}

int Cddb::ParseIndex(const QString &text)
{
    const auto fail = [&text]() {
        return EConvertError(QString("'%1' is not a valid integer value").arg(text));
    };
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size())
        throw fail();
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            throw fail();
        value = value * 10 + (c - u'0');
        if (value > int64_t(std::numeric_limits<int>::max()) + 1)
            throw fail();
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min())
        throw fail();
    return int(value);
}
