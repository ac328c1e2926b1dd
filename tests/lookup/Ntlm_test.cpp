#include "lookup/Ntlm.h"

#include <QtEndian>
#include <gtest/gtest.h>

// The worked example of MS-NLMP 4.2.4 (NTLMv2): user "User", domain "Domain", password "Password",
// server challenge 0123456789abcdef, client challenge aa x 8, time 0, server "Server" in "Domain".
namespace
{

const auto Hex = QByteArray::fromHex; // spaces skipped

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

} // namespace

TEST(Ntlm, PublishedNtlmV2ExampleGivesItsKeysAndResponses)
{
    const QByteArray ntOwf = Ntlm::NtOwfV2("User", "Domain", "Password");
    EXPECT_EQ(ntOwf.toHex(), "0c868a403bfd7a93a3001ef22ef02e3f");

    const std::optional<Ntlm::Challenge> challenge = Ntlm::ParseChallenge(kChallengeMessage);
    ASSERT_TRUE(challenge);
    EXPECT_EQ(challenge->flags, 0xe28a8233u);

    const Ntlm::Responses responses = Ntlm::ComputeResponses(ntOwf, *challenge, 0, QByteArray(8, char(0xaa)));
    EXPECT_EQ(responses.lmChallengeResponse.toHex(), "86c35097ac9cec102554764a57cccc19aaaaaaaaaaaaaaaa");
    EXPECT_EQ(
        responses.ntChallengeResponse,
        Hex("68cd0ab851e51c96aabc927bebef6a1c 0101000000000000 0000000000000000 aaaaaaaaaaaaaaaa 00000000") +
            kTargetInfo + Hex("00000000"));

    const QByteArray message = Ntlm::AuthenticateMessage(*challenge, "User", "Domain", "COMPUTER", responses);
    EXPECT_EQ(Field(message, 0), responses.lmChallengeResponse);
    EXPECT_EQ(Field(message, 1), responses.ntChallengeResponse);
    EXPECT_EQ(Field(message, 2) + Field(message, 3) + Field(message, 4),
              QByteArray(reinterpret_cast<const char *>(u"DomainUserCOMPUTER"), 36));
    // Only what both sides offered: no signing, sealing or key exchange though the server offers them.
    EXPECT_EQ(qFromLittleEndian<quint32>(message.constData() + 60), 0x00888201u);

    // A challenge cut short, of the wrong type, or with its target info past its end is refused.
    EXPECT_FALSE(Ntlm::ParseChallenge(kChallengeMessage.left(31)));
    EXPECT_FALSE(Ntlm::ParseChallenge(Hex("4e544c4d53535000 03000000") + kChallengeMessage.mid(12)));
    EXPECT_FALSE(
        Ntlm::ParseChallenge(kChallengeMessage.left(0x28) + Hex("ff00ff00") + kChallengeMessage.mid(0x2c)));
}
