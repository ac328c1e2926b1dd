#include "session/FetchDocument.h"

#include "session/FileLocations.h"
#include "lookup/HttpCli.h"


std::optional<QStringList> FetchDocument(THttpCli &http, const ProxySettings &proxy, const QString &url,
                                         const QString &programDir, QStringList &pagina,
                                         QDeadlineTimer deadline,
                                         const std::function<void(const QString &)> &reportError)
{
    const DocumentFetcher::ErrorReporter &report = reportError;
    // The user's cache folder, for an installed program, may not exist yet.
    const FileLocations at = LocateFiles(programDir);
    const QString folder = at.documentFolder;
    if (!at.PrepareFolder(folder)) {
        report(QStringLiteral("Error opening file: the folder \"%1\" cannot be used").arg(folder));
        return std::nullopt;
    }
    DocumentFetcher fetcher(http, folder, report);
    return fetcher.Fetch(proxy, url, pagina, deadline);
}
