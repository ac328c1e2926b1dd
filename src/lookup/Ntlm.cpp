#include "lookup/Ntlm.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <QtEndian>

namespace
{

const QByteArray kSignature("NTLMSSP\0", 8);

constexpr quint32 kNegotiateUnicode = 0x00000001;
constexpr quint32 kNegotiateOem = 0x00000002;
constexpr quint32 kRequestTarget = 0x00000004;
constexpr quint32 kNegotiateNtlm = 0x00000200;
constexpr quint32 kNegotiateAlwaysSign = 0x00008000;
constexpr quint32 kNegotiateExtendedSessionSecurity = 0x00080000;
constexpr quint32 kNegotiateTargetInfo = 0x00800000;

constexpr quint32 kOurFlags = kNegotiateUnicode | kNegotiateOem | kRequestTarget | kNegotiateNtlm |
                              kNegotiateAlwaysSign | kNegotiateExtendedSessionSecurity;

constexpr quint16 kAvEol = 0;
constexpr quint16 kAvTimestamp = 7;

// Seconds from 1601-01-01 (the FILETIME epoch) to 1970-01-01.
constexpr quint64 kFileTimeToUnixSeconds = 11644473600ULL;

void AppendU16(QByteArray &out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

void AppendU32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

void AppendU64(QByteArray &out, quint64 value)
{
    char bytes[8];
    qToLittleEndian(value, bytes);
    out.append(bytes, 8);
}

quint16 U16At(const QByteArray &data, qsizetype at)
{
    return qFromLittleEndian<quint16>(data.constData() + at);
}

quint32 U32At(const QByteArray &data, qsizetype at)
{
    return qFromLittleEndian<quint32>(data.constData() + at);
}

QByteArray Utf16Le(const QString &text)
{
    QByteArray out;
    out.reserve(text.size() * 2);
    for (QChar c : text)
        AppendU16(out, c.unicode());
    return out;
}

QByteArray HmacMd5(const QByteArray &key, const QByteArray &message)
{
    return QMessageAuthenticationCode::hash(message, key, QCryptographicHash::Md5);
}

} // namespace

QByteArray Ntlm::NegotiateMessage()
{
    // Signature, type 1, flags, then empty domain and workstation fields: no version, no names.
    QByteArray out = kSignature;
    AppendU32(out, 1);
    AppendU32(out, kOurFlags);
    for (int field = 0; field < 2; ++field) {
        AppendU16(out, 0);
        AppendU16(out, 0);
        AppendU32(out, 0);
    }
    return out;
}

std::optional<Ntlm::Challenge> Ntlm::ParseChallenge(const QByteArray &message)
{
    if (message.size() < 32 || !message.startsWith(kSignature) || U32At(message, 8) != 2)
        return std::nullopt;
    Challenge challenge;
    challenge.flags = U32At(message, 20);
    challenge.serverChallenge = message.mid(24, 8);
    if (message.size() >= 48) {
        const quint16 length = U16At(message, 40);
        const quint32 offset = U32At(message, 44);
        if (quint64(offset) + length > quint64(message.size()))
            return std::nullopt;
        challenge.targetInfo = message.mid(offset, length);
    }
    return challenge;
}

QByteArray Ntlm::NtOwfV2(const QString &user, const QString &domain, const QString &password)
{
    const QByteArray ntHash = QCryptographicHash::hash(Utf16Le(password), QCryptographicHash::Md4);
    return HmacMd5(ntHash, Utf16Le(user.toUpper() + domain));
}

Ntlm::Responses Ntlm::ComputeResponses(const QByteArray &ntOwfV2, const Challenge &challenge,
                                       quint64 timestamp, const QByteArray &clientChallenge)
{
    // temp = Responserversion, HiResponserversion, Z(6), Time, ClientChallenge, Z(4), AV pairs, Z(4)
    QByteArray temp;
    temp.append(char(1));
    temp.append(char(1));
    temp.append(6, '\0');
    AppendU64(temp, timestamp);
    temp.append(clientChallenge);
    temp.append(4, '\0');
    temp.append(challenge.targetInfo);
    temp.append(4, '\0');

    Responses responses;
    responses.ntProofStr = HmacMd5(ntOwfV2, challenge.serverChallenge + temp);
    responses.ntChallengeResponse = responses.ntProofStr + temp;
    responses.lmChallengeResponse =
        HmacMd5(ntOwfV2, challenge.serverChallenge + clientChallenge) + clientChallenge;
    return responses;
}

QByteArray Ntlm::AuthenticateMessage(const Challenge &challenge, const QString &user, const QString &domain,
                                     const QString &workstation, const Responses &responses)
{
    quint32 flags = challenge.flags & (kOurFlags | kNegotiateTargetInfo);
    const bool unicode = (challenge.flags & kNegotiateUnicode) != 0;
    if (unicode)
        flags &= ~kNegotiateOem;
    const auto encode = [unicode](const QString &text) { return unicode ? Utf16Le(text) : text.toLatin1(); };

    const QByteArray fields[] = {responses.lmChallengeResponse,
                                 responses.ntChallengeResponse,
                                 encode(domain),
                                 encode(user),
                                 encode(workstation),
                                 QByteArray()};
    constexpr quint32 kHeaderSize = 64;

    QByteArray out = kSignature;
    AppendU32(out, 3);
    quint32 offset = kHeaderSize;
    for (const QByteArray &field : fields) {
        AppendU16(out, quint16(field.size()));
        AppendU16(out, quint16(field.size()));
        AppendU32(out, offset);
        offset += quint32(field.size());
    }
    AppendU32(out, flags);
    for (const QByteArray &field : fields)
        out.append(field);
    return out;
}

QByteArray Ntlm::Answer(const Challenge &challenge, const QString &user, const QString &password)
{
    QString domain;
    QString name = user;
    const qsizetype backslash = user.indexOf(QLatin1Char('\\'));
    if (backslash >= 0) {
        domain = user.left(backslash);
        name = user.mid(backslash + 1);
    }

    QByteArray clientChallenge(8, '\0');
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(clientChallenge.data()), 2);

    const std::optional<quint64> serverTime = ServerTimestamp(challenge.targetInfo);
    Responses responses = ComputeResponses(NtOwfV2(name, domain, password), challenge,
                                           serverTime.value_or(Now()), clientChallenge);
    // With a server timestamp the LMv2 response must be left out (sent as zeros).
    if (serverTime)
        responses.lmChallengeResponse = QByteArray(24, '\0');
    return AuthenticateMessage(challenge, name, domain, QString(), responses);
}

quint64 Ntlm::Now()
{
    const quint64 msecs = quint64(QDateTime::currentMSecsSinceEpoch());
    return (msecs + kFileTimeToUnixSeconds * 1000) * 10000;
}

std::optional<quint64> Ntlm::ServerTimestamp(const QByteArray &targetInfo)
{
    qsizetype at = 0;
    while (at + 4 <= targetInfo.size()) {
        const quint16 id = U16At(targetInfo, at);
        const quint16 length = U16At(targetInfo, at + 2);
        if (id == kAvEol || at + 4 + length > targetInfo.size())
            break;
        if (id == kAvTimestamp && length == 8)
            return qFromLittleEndian<quint64>(targetInfo.constData() + at + 4);
        at += 4 + length;
    }
    return std::nullopt;
}
