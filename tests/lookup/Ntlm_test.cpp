#include "lookup/Ntlm.h"

#include <QMessageAuthenticationCode>
#include <QtEndian>
#include <gtest/gtest.h>

// The worked example of Microsoft's NTLM protocol documentation (MS-NLMP 4.2.4, NTLMv2): user "User",
// domain "Domain", password "Password", server challenge 0123456789abcdef, client challenge aa x 8,
// time 0, and a server that names itself "Server" in the domain "Domain".
namespace
{

QByteArray Hex(const char *hex)
{
    return QByteArray::fromHex(QByteArray(hex).replace(' ', ""));
}

const QByteArray kTargetInfo =
    Hex("02000c00 44006f006d00610069006e00 01000c00 530065007200760065007200 00000000");

// The CHALLENGE message of the example: target name "Server", flags e28a8233, version 6.0.6000.
const QByteArray kChallengeMessage =
    Hex("4e544c4d53535000 02000000 0c000c00 38000000 33828ae2 0123456789abcdef"
        "0000000000000000 24002400 44000000 060070170000000f"
        "530065007200760065007200") +
    kTargetInfo;

// Field k (0: LM, 1: NT, 2: domain, 3: user, 4: workstation) of an AUTHENTICATE message.
QByteArray Field(const QByteArray &message, int k)
{
    const char *at = message.constData() + 12 + 8 * k;
    return message.mid(qFromLittleEndian<quint32>(at + 4), qFromLittleEndian<quint16>(at));
}

QByteArray Utf16(const QString &text)
{
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}

} // namespace

TEST(Ntlm, PublishedNtlmV2ExampleGivesItsKeysAndResponses)
{
    EXPECT_EQ(Ntlm::NegotiateMessage(),
              Hex("4e544c4d53535000 01000000 07820800 0000000000000000 0000000000000000"));
    const QByteArray ntOwf = Ntlm::NtOwfV2("User", "Domain", "Password");
    EXPECT_EQ(ntOwf.toHex(), "0c868a403bfd7a93a3001ef22ef02e3f");

    const std::optional<Ntlm::Challenge> challenge = Ntlm::ParseChallenge(kChallengeMessage);
    ASSERT_TRUE(challenge);
    EXPECT_EQ(challenge->flags, 0xe28a8233u);
    EXPECT_EQ(challenge->serverChallenge.toHex(), "0123456789abcdef");
    EXPECT_EQ(challenge->targetInfo, kTargetInfo);

    const Ntlm::Responses responses = Ntlm::ComputeResponses(ntOwf, *challenge, 0, QByteArray(8, char(0xaa)));
    EXPECT_EQ(responses.ntProofStr.toHex(), "68cd0ab851e51c96aabc927bebef6a1c");
    EXPECT_EQ(responses.lmChallengeResponse.toHex(), "86c35097ac9cec102554764a57cccc19aaaaaaaaaaaaaaaa");
    EXPECT_EQ(
        responses.ntChallengeResponse,
        Hex("68cd0ab851e51c96aabc927bebef6a1c 0101000000000000 0000000000000000 aaaaaaaaaaaaaaaa 00000000") +
            kTargetInfo + Hex("00000000"));

    const QByteArray message = Ntlm::AuthenticateMessage(*challenge, "User", "Domain", "COMPUTER", responses);
    EXPECT_EQ(message.left(12), Hex("4e544c4d53535000 03000000"));
    EXPECT_EQ(Field(message, 0), responses.lmChallengeResponse);
    EXPECT_EQ(Field(message, 1), responses.ntChallengeResponse);
    EXPECT_EQ(Field(message, 2) + Field(message, 3) + Field(message, 4), Utf16("DomainUserCOMPUTER"));
    // Only what both sides offered: Unicode, NTLM, always-sign, extended security and target info; no
    // signing, sealing or key exchange even though the server offers them.
    EXPECT_EQ(qFromLittleEndian<quint32>(message.constData() + 60), 0x00888201u);
}

// A server that sends its time (MsvAvTimestamp before the EOL pair): the client must use it and leave the
// LM response out; the server recomputes the proof from the blob and the password. The user and domain
// come from "Domain\User".
TEST(Ntlm, AnswerUsesTheServersTimeAndIsAcceptedByTheServer)
{
    const QByteArray targetInfo = kTargetInfo.chopped(4) + Hex("0700 0800 0011223344556677 00000000");
    const QByteArray message = kChallengeMessage.left(0x28) + Hex("30003000 44000000") +
                               kChallengeMessage.mid(0x30, 0x14) + targetInfo;
    const std::optional<Ntlm::Challenge> challenge = Ntlm::ParseChallenge(message);
    ASSERT_TRUE(challenge);
    const QByteArray answer = Ntlm::Answer(*challenge, "Domain\\User", "Password");
    EXPECT_EQ(Field(answer, 2) + Field(answer, 3), Utf16("DomainUser"));
    const QByteArray nt = Field(answer, 1);
    ASSERT_GT(nt.size(), 16 + 28);
    EXPECT_EQ(nt.left(16), QMessageAuthenticationCode::hash(challenge->serverChallenge + nt.mid(16),
                                                            Ntlm::NtOwfV2("User", "Domain", "Password"),
                                                            QCryptographicHash::Md5));
    EXPECT_EQ(nt.mid(16 + 28, targetInfo.size()), targetInfo);
    EXPECT_EQ(qFromLittleEndian<quint64>(nt.constData() + 16 + 8), 0x7766554433221100u);
    EXPECT_EQ(Field(answer, 0), QByteArray(24, '\0'));
}

TEST(Ntlm, DamagedChallengesAreRefused)
{
    const QByteArray cases[] = {
        QByteArray(),
        kChallengeMessage.left(31),
        Hex("4e544c4d53535000 03000000") + kChallengeMessage.mid(12), // wrong type
        Hex("4e544c4d53535001") + kChallengeMessage.mid(8),           // wrong signature
        kChallengeMessage.left(0x28) + Hex("ff00ff00 44000000") +
            kChallengeMessage.mid(0x30), // info past end
    };
    for (const QByteArray &message : cases)
        EXPECT_FALSE(Ntlm::ParseChallenge(message)) << message.toHex().toStdString();
}
