#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The three NTLM messages of the HTTP handshake (NEGOTIATE, CHALLENGE, AUTHENTICATE) with NTLMv2
// responses, after Microsoft's published NTLM protocol. No session security is set up: HTTP only
// needs the proof of the password, so no key exchange, signing or sealing is negotiated.
class Ntlm
{
public:
    // What a CHALLENGE message carries that the answer needs.
    struct Challenge {
        quint32 flags = 0;
        QByteArray serverChallenge; // 8 bytes
        QByteArray targetInfo;      // AV pairs, as sent
    };

    // The NTLMv2 responses of one answer to a challenge.
    struct Responses {
        QByteArray ntProofStr;
        QByteArray ntChallengeResponse;
        QByteArray lmChallengeResponse;
    };

    static QByteArray NegotiateMessage();
    static std::optional<Challenge> ParseChallenge(const QByteArray &message);

    static QByteArray NtOwfV2(const QString &user, const QString &domain, const QString &password);
    // timestamp: FILETIME (tenths of microseconds since 1601); clientChallenge: 8 bytes.
    static Responses ComputeResponses(const QByteArray &ntOwfV2, const Challenge &challenge,
                                      quint64 timestamp, const QByteArray &clientChallenge);
    static QByteArray AuthenticateMessage(const Challenge &challenge, const QString &user,
                                          const QString &domain, const QString &workstation,
                                          const Responses &responses);

    // The whole answer with a fresh client challenge and the current time (or the server's, when the
    // challenge carries one). user may be written "DOMAIN\user".
    static QByteArray Answer(const Challenge &challenge, const QString &user, const QString &password);

    // The FILETIME of the current moment.
    static quint64 Now();
    // The value of the server's MsvAvTimestamp pair, if the target information has one.
    static std::optional<quint64> ServerTimestamp(const QByteArray &targetInfo);
};
