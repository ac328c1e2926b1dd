#include "app/SettingsFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

QByteArray lines(std::initializer_list<const char *> l)
{
    QByteArray out;
    for (const char *s : l)
        out += QByteArray(s) + "\r\n";
    return out;
}

QByteArray withLine(int number, const QByteArray &text)
{
    QList<QByteArray> l = {"//quarle ini file. non modificare", "[destination dir]", "/music/", "[extraction]",
                           "1", "[codec MP3]", "2", "3", "1", "3", "2", "[proxy]", "proxy.lan", "3128", "mario",
                           "segreto"};
    l[number - 1] = text;
    return l.join("\r\n") + "\r\n";
}

} // namespace

TEST(SettingsFile, WrittenFileReadsBackToTheSameBytes)
{
    QuarleSettings s;
    s.dir = QString::fromLatin1("/home/io/M\xfasica/d\xe9j\xe0/");
    s.format = 1;
    s.sampleRate = 2;
    s.bitRate = -1;
    s.maxBitRate = 3;
    s.mode = 3;
    s.quality = 2;
    s.proxyHost = "proxy.lan";
    s.proxyPort = "abc";
    s.proxyUser = "dom\\mario";
    s.proxyPassword = "p ss;=";
    const QByteArray bytes = FormatSettings(s);
    EXPECT_TRUE(bytes.startsWith("//quarle ini file. non modificare\r\n[destination dir]\r\n/home/io/M\xfasica/"));
    EXPECT_EQ(bytes.count("\r\n"), 16);
    EXPECT_TRUE(bytes.endsWith("\r\np ss;=\r\n"));

    const SettingsRead r = ParseSettings(bytes);
    QuarleSettings back;
    back.dir = *r.dir;
    back.format = *r.format;
    back.sampleRate = *r.sampleRate;
    back.bitRate = *r.bitRate;
    back.maxBitRate = *r.maxBitRate;
    back.mode = *r.mode;
    back.quality = *r.quality;
    back.proxyHost = *r.proxyHost;
    back.proxyPort = *r.proxyPort;
    back.proxyUser = *r.proxyUser;
    back.proxyPassword = *r.proxyPassword;
    EXPECT_EQ(FormatSettings(back), bytes);
}

TEST(SettingsFile, ReadingStopsAtTheFirstBadNumber)
{
    struct Case {
        const char *name;
        QByteArray content;
        int lastField; // how many of the 11 fields were read
        std::optional<int> format;
    } cases[] = {
        {"complete", withLine(2, "anything at all"), 11, 1},
        {"empty section line", withLine(6, ""), 11, 1},
        {"format 7 is Wav", withLine(5, "7"), 11, 1},
        {"format -5 is no choice", withLine(5, "-5"), 11, -1},
        {"format not a number", withLine(5, "MP3"), 1, {}},
        {"format with a blank", withLine(5, " 1"), 1, {}},
        {"max bit rate abc", withLine(9, "abc"), 4, 1},
        {"bit rate 9 is read as 9", withLine(8, "9"), 11, 1},
        {"empty file", QByteArray(), 1, {}},
        {"LF line ends", withLine(1, "x").replace("\r\n", "\n"), 11, 1},
        {"only four lines", lines({"a", "b", "/x/", "c"}), 1, {}},
        {"no proxy lines", withLine(1, "x").left(withLine(1, "x").indexOf("[proxy]")), 11, 1},
    };
    for (const Case &c : cases) {
        const SettingsRead r = ParseSettings(c.content);
        const bool present[] = {r.dir.has_value(),     r.format.has_value(),    r.sampleRate.has_value(),
                                r.bitRate.has_value(), r.maxBitRate.has_value(), r.mode.has_value(),
                                r.quality.has_value(), r.proxyHost.has_value(),  r.proxyPort.has_value(),
                                r.proxyUser.has_value(), r.proxyPassword.has_value()};
        for (int i = 0; i < 11; ++i)
            EXPECT_EQ(present[i], i < c.lastField) << c.name << ": field " << i;
        EXPECT_EQ(r.format, c.format) << c.name;
    }
    EXPECT_EQ(ParseSettings(withLine(8, "9")).bitRate, 9);
    EXPECT_EQ(ParseSettings(withLine(1, "x").left(40)).dir, "/music/");
    EXPECT_EQ(ParseSettings(withLine(1, "x").left(withLine(1, "x").indexOf("[proxy]"))).proxyHost, "");
}

TEST(SettingsFile, TheFileIsPrivateAndNeverHalfWritten)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("quarle.ini");
    QuarleSettings s;
    s.proxyPassword = "segreto";
    ASSERT_TRUE(WriteSettingsFile(path, s));
    EXPECT_EQ(QFileInfo(path).permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup |
                                               QFileDevice::WriteOther | QFileDevice::WriteGroup),
              QFileDevice::Permissions());
    EXPECT_EQ(*ReadSettingsFile(path).proxyPassword, "segreto");

    // An existing world-readable file becomes private too.
    QFile::setPermissions(path, QFileDevice::Permissions(0x6644));
    ASSERT_TRUE(WriteSettingsFile(path, s));
    EXPECT_FALSE(QFileInfo(path).permissions() & QFileDevice::ReadOther);

    // A folder that cannot be written: nothing saved, the old file intact, no crash.
    if (geteuid() != 0) {
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        s.proxyPassword = "changed";
        EXPECT_FALSE(WriteSettingsFile(path, s));
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        EXPECT_EQ(*ReadSettingsFile(path).proxyPassword, "segreto");
    }
    EXPECT_FALSE(WriteSettingsFile(dir.filePath("no/such/folder/quarle.ini"), s));
    EXPECT_FALSE(ReadSettingsFile(dir.filePath("missing.ini")).format.has_value());
}
