#include "platform/DriveLetters.h"

#include <gtest/gtest.h>

TEST(DriveLetters, ParsesEntriesAndSkipsBadOnesWithAWarning)
{
    const auto probe = [](const QString &p, QString *) {
        using enum DriveSource;
        return p.contains("missing") ? Missing : p.endsWith(".txt") ? NotADisc : Usable;
    };
    struct Case {
        const char *text;
        const char *expected; // "D=path|E=path@offset"
        int warnings;
    } cases[] = {
        {" e = /a b.cue ; D=/dev/sr0;", "D=/dev/sr0|E=/a b.cue", 0},
        {"D=/x.cue;D=/y.cue;E=/missing.cue;F=/ok.cue;G=/notes.txt", "D=/x.cue|F=/ok.cue", 3},
        {"bad;DD=/x;1=/x;F=;=/x;G/x;H=/h.cue", "H=/h.cue", 6},
        {"D=/dev/sr0@+6;E=/a@b.cue@-12;F=/f.cue@7;G=/g@x.cue",
         "D=/dev/sr0@6|E=/a@b.cue@-12|F=/f.cue@7|G=/g@x.cue", 0},
        // Only an ASCII letter names a drive: these two upper-case to I and S under Unicode rules.
        {"\xc4\xb1=/i.cue;\xc5\xbf=/s.cue", "", 2},
    };
    for (const Case &c : cases) {
        const DriveLetterTable table = parseDriveLetters(QString::fromUtf8(c.text), probe);
        QStringList got;
        for (const DriveLetterEntry &e : table.entries)
            got << QString(QChar(e.letter)) + "=" + e.path +
                       (e.offsetGiven ? "@" + QString::number(e.sampleOffset) : QString());
        EXPECT_EQ(got.join('|').toStdString(), c.expected) << c.text;
        EXPECT_EQ(table.warnings.size(), c.warnings) << c.text;
    }
}
