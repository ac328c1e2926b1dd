#pragma once

#include "lookup/DocumentFetcher.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class THttpCli;

// Fetches the document at url with `http` and returns its lines, also left in pagina; nothing when the
// request failed. The document goes through the file "temp" in programDir, or in the user's cache
// folder when programDir is not the program's own (FileLocations.h). The request fails when it has not
// ended by `deadline`. reportError is told the "Error opening file: " message.
std::optional<QStringList> FetchDocument(THttpCli &http, const ProxySettings &proxy, const QString &url,
                                         const QString &programDir, QStringList &pagina,
                                         QDeadlineTimer deadline,
                                         const std::function<void(const QString &)> &reportError);
