#include "rip/LogSignature.h"

#include <gtest/gtest.h>

#include <functional>

// A signed log is found intact as written, and altered after any edit of what it signs: a byte changed
// anywhere, a line taken out, its signature's digits, line ends an editor changed. A log without the line,
// or with text after it, is unsigned.
TEST(LogSignature, EditsOfASignedLogAreFound)
{
    const QByteArray text = "QUARLE - estrazione verificata\nData: 2024-05-01 10:00:00\n\n"
                            "Traccia 01  Track 01.flac  CRC v1 0A1B2C3D  v2 4E5F6A7B  AccurateRip: ok\n";
    const QByteArray log = SignLog(text);
    ASSERT_TRUE(log.startsWith(text));
    ASSERT_EQ(log.mid(text.size()), "SHA-256 del registro: "
                                    "3a148f8a951a3d984263923cba3d124ad20b79fec23386c36d3e32700753d29b\n")
        << "sha256sum's digits of the text";
    const qsizetype digits = log.size() - 65;
    const struct {
        const char *name;
        std::function<QByteArray()> bytes;
        TLogCheck expected;
    } rows[] = {
        {"as written", [&] { return log; }, TLogCheck::Intact},
        {"without the last line end", [&] { return log.chopped(1); }, TLogCheck::Intact},
        {"digits in capitals", [&] { return log.left(digits) + log.mid(digits).toUpper(); },
         TLogCheck::Intact},
        {"a text without its line end, signed with one", [&] { return SignLog(text.chopped(1)); },
         TLogCheck::Intact},
        {"a line taken out", [&] { return QByteArray(log).remove(31, 26); }, TLogCheck::Altered},
        {"a digit changed", [&] { return QByteArray(log).replace(digits + 3, 1, "0"); }, TLogCheck::Altered},
        {"a digit missing", [&] { return QByteArray(log).remove(digits, 1); }, TLogCheck::Altered},
        {"a digit more", [&] { return log.chopped(1) + "0\n"; }, TLogCheck::Altered},
        {"no hex", [&] { return QByteArray(log).replace(digits, 1, "g"); }, TLogCheck::Altered},
        {"saved again with CR LF", [&] { return QByteArray(log).replace("\n", "\r\n"); }, TLogCheck::Altered},
        {"no signature", [&] { return text; }, TLogCheck::Unsigned},
        {"a line after the signature", [&] { return log + "nota\n"; }, TLogCheck::Unsigned},
        {"an empty line after it", [&] { return log + "\n"; }, TLogCheck::Unsigned},
        {"empty", [] { return QByteArray(); }, TLogCheck::Unsigned},
    };
    for (const auto &row : rows)
        EXPECT_EQ(CheckLog(row.bytes()), row.expected) << row.name;
    // (The line end before the signature, changed, joins it to the text: no signature then.)
    for (qsizetype at = 0; at + 1 < text.size(); ++at) {
        QByteArray changed = log;
        changed[at] = char(changed[at] ^ 0x20);
        EXPECT_EQ(CheckLog(changed), TLogCheck::Altered) << "byte " << at;
    }
}
