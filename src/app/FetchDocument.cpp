#include "app/FetchDocument.h"

#include "app/FileLocations.h"
#include "lookup/HttpCli.h"

#include <QApplication>
#include <QMessageBox>

std::optional<QStringList> FetchDocument(THttpCli &http, const ProxySettings &proxy, const QString &url,
                                         const QString &programDir, QStringList &pagina,
                                         QDeadlineTimer deadline,
                                         const std::function<void(const QString &)> &reportError)
{
    DocumentFetcher::ErrorReporter report = reportError;
    if (!report)
        report = [](const QString &message) {
            QMessageBox::warning(QApplication::activeWindow(), QStringLiteral("QUARLE"), message);
        };
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
