// Reads a CDDB server's document as the lookup does: the match, the read URL, the track titles.
#include "FuzzCheck.h"
#include "lookup/Cddb.h"
#include "lookup/DocumentFetcher.h"

#include <QUrl>
#include <QUrlQuery>

extern "C" int QUARLE_FUZZ_ENTRY(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList document = DocumentFetcher::SplitLines(text);
    FUZZ_CHECK(document.join("").size() == text.size() - text.count('\r') - text.count('\n'));

    const CddbMatch match = Cddb::QueryMatch(document);
    FUZZ_CHECK(!match.found || Cddb::IsSuccess(Cddb::StatusWord(document)));
    // Whatever the server's category holds, the read URL keeps its three parameters and its command.
    const QUrl url(Cddb::ReadUrl(match.category, "1202e203"));
    FUZZ_CHECK(url.isValid() && url.host() == Cddb::Host && url.fragment().isNull());
    const auto items = QUrlQuery(url).queryItems(QUrl::FullyEncoded);
    FUZZ_CHECK(items.size() == 3 && items[0].second.split('+').size() == 5);
    FUZZ_CHECK(QUrl::fromPercentEncoding(items[0].second.split('+')[2].toLatin1()) == match.category);

    try {
        Cddb::ScanTitles(document, [](int, const QString &) {});
    } catch (const EConvertError &) {
    }
    return 0;
}
