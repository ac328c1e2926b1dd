#include "rip/LogSignature.h"

#include <QCryptographicHash>

namespace
{

const QByteArray kSignaturePrefix = QByteArrayLiteral("SHA-256 del registro: ");

QByteArray hashOf(QByteArrayView bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

} // namespace

QByteArray SignLog(const QByteArray &text)
{
    QByteArray signedText = text;
    if (!signedText.endsWith('\n'))
        signedText += '\n';
    return signedText + kSignaturePrefix + hashOf(signedText) + '\n';
}

TLogCheck CheckLog(const QByteArray &bytes)
{
    QByteArrayView rest(bytes);
    if (rest.endsWith('\n'))
        rest.chop(1);
    const qsizetype lineStart = rest.lastIndexOf('\n') + 1;
    const QByteArrayView line = rest.sliced(lineStart);
    if (!line.startsWith(kSignaturePrefix))
        return TLogCheck::Unsigned;
    const QByteArray digits = line.sliced(kSignaturePrefix.size()).toByteArray().toLower();
    const QByteArray expected = hashOf(QByteArrayView(bytes).first(lineStart));
    return digits == expected ? TLogCheck::Intact : TLogCheck::Altered;
}
