// Reads a CDDB server's document as the lookup does: split into lines, the query answer's match, the
// read URL built from the server's category, and the entry's track titles.
#include "FuzzCheck.h"
#include "lookup/Cddb.h"
#include "lookup/DocumentFetcher.h"

#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

#include <cstddef>
#include <cstdint>
#include <string>

#ifndef QUARLE_FUZZ_ENTRY
#define QUARLE_FUZZ_ENTRY LLVMFuzzerTestOneInput
#endif

namespace
{

// ParseIndex against Qt's own conversion: the same texts are integers, with the same values.
void CheckIndex(const QString &text)
{
    static const QRegularExpression decimal("^[+-]?[0-9]+$");
    bool ok = false;
    const qlonglong expected = text.toLongLong(&ok);
    const bool valid = decimal.match(text).hasMatch() && ok && expected >= std::numeric_limits<int>::min() &&
                       expected <= std::numeric_limits<int>::max();
    try {
        const int value = Cddb::ParseIndex(text);
        FUZZ_CHECK(valid && value == expected);
    } catch (const EConvertError &error) {
        FUZZ_CHECK(!valid);
        // The message is read as a C string, so a NUL in the text ends it there.
        const std::string message = ("'" + text + "' is not a valid integer value").toStdString();
        FUZZ_CHECK(std::string(error.what()) == message.c_str());
    }
}

// The category comes from the server: whatever it holds, the read URL keeps its three parameters and
// its command of five "+"-separated words.
void CheckReadUrl(const QString &category)
{
    const QString url = Cddb::ReadUrl(category, "1202e203");
    const QUrl parsed(url);
    FUZZ_CHECK(parsed.isValid());
    FUZZ_CHECK(parsed.host() == Cddb::Host && parsed.path() == Cddb::Path);
    FUZZ_CHECK(parsed.fragment().isNull());
    const QUrlQuery query(parsed);
    const auto items = query.queryItems(QUrl::FullyEncoded);
    FUZZ_CHECK(items.size() == 3);
    FUZZ_CHECK(items.value(0).first == "cmd");
    const QStringList words = items.value(0).second.split('+');
    FUZZ_CHECK(words.size() == 5 && words[1] == "read" && words[3] == "1202e203");
    FUZZ_CHECK(QUrl::fromPercentEncoding(words[2].toLatin1()) == category);
}

} // namespace

extern "C" int QUARLE_FUZZ_ENTRY(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList document = DocumentFetcher::SplitLines(text);
    qsizetype kept = 0;
    for (const QString &line : document) {
        FUZZ_CHECK(!line.contains('\r') && !line.contains('\n'));
        kept += line.size();
    }
    FUZZ_CHECK(kept == text.size() - text.count('\r') - text.count('\n'));

    const QString word = Cddb::StatusWord(document);
    FUZZ_CHECK(!word.contains(' '));
    FUZZ_CHECK(document.value(0).startsWith(word));

    const CddbMatch match = Cddb::QueryMatch(document);
    FUZZ_CHECK(match.found || (match.category.isEmpty() && match.title.isEmpty()));
    if (match.found)
        FUZZ_CHECK(Cddb::IsSuccess(word));
    FUZZ_CHECK(!match.category.contains(' '));
    CheckReadUrl(match.category);

    qsizetype titleLines = 0;
    for (qsizetype i = 1; i < document.size() && document[i] != "."; ++i) {
        if (document[i].startsWith("TTITLE")) {
            ++titleLines;
            const qsizetype eq = document[i].indexOf('=');
            if (eq >= 0)
                CheckIndex(document[i].mid(6, eq - 6));
        }
    }
    qsizetype stored = 0;
    try {
        Cddb::ScanTitles(document, [&stored](int, const QString &title) {
            FUZZ_CHECK(!title.contains('\n'));
            ++stored;
        });
        FUZZ_CHECK(stored == titleLines);
    } catch (const EConvertError &) {
        FUZZ_CHECK(stored < titleLines);
    }
    CheckIndex(document.value(0));
    return 0;
}
