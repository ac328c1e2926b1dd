#include "app/SettingsFile.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <unistd.h>

// Malformed files: the window's own round trips are in WindowSettings_test.
TEST(SettingsFile, ReadingStopsAtTheFirstBadNumber)
{
    const QByteArray good =
        "//x\r\n[d]\r\n/music/\r\n[e]\r\n1\r\n[c]\r\n2\r\n3\r\n1\r\n3\r\n2\r\n[p]\r\nh\r\n1\r\nu\r\np\r\n";
    const struct {
        const char *name;
        QByteArray content;
        int fields; // how many of the 11 were read
        std::optional<int> format;
    } cases[] = {
        {"format not a number", QByteArray(good).replace("\r\n1\r\n[c]", "\r\nMP3\r\n[c]"), 1, {}},
        {"format with a blank", QByteArray(good).replace("\r\n1\r\n[c]", "\r\n 1\r\n[c]"), 1, {}},
        {"empty file", "", 1, {}},
        {"LF line ends", QByteArray(good).replace("\r\n", "\n"), 11, 1},
        {"only four lines", "a\r\nb\r\n/x/\r\nc\r\n", 1, {}},
        {"no proxy lines", good.left(good.indexOf("[p]")), 11, 1},
    };
    for (const auto &c : cases) {
        const SettingsRead r = ParseSettings(c.content);
        const bool present[] = {bool(r.dir),       bool(r.format),       bool(r.sampleRate),
                                bool(r.bitRate),   bool(r.maxBitRate),   bool(r.mode),
                                bool(r.quality),   bool(r.proxyHost),    bool(r.proxyPort),
                                bool(r.proxyUser), bool(r.proxyPassword)};
        for (int i = 0; i < 11; ++i)
            EXPECT_EQ(present[i], i < c.fields) << c.name << ": field " << i;
        EXPECT_EQ(r.format, c.format) << c.name;
    }
    EXPECT_EQ(ParseSettings(good.left(good.indexOf("[p]"))).proxyHost, "");
    EXPECT_EQ(ParseSettings("a\r\nb\r\n/x/\r\nc\r\n").dir, "/x/");
}

// A value outside Latin-1 makes the file UTF-8; any other file stays Latin-1, byte for byte as before.
TEST(SettingsFile, TextOutsideLatin1SurvivesAndLatin1FilesStayAsTheyWere)
{
    const struct {
        const char *dir, *password; // UTF-8
        bool utf8;
    } cases[] = {
        {"/home/io/Musica/", "segreto", false},
        {"/home/io/M\u00fasica/", "per\u00f2", false},
        {"/home/io/\u041c\u0443\u0437\u044b\u043a\u0430/", "segreto", true},
        {"/home/io/Musica/", "\u043f\u0430\u0440\u043e\u043b\u044c", true},
        // Latin-1 bytes that are valid UTF-8 of other text ("\u00c3\u00a9" would read back as "\u00e9").
        {"/home/io/\u00c3\u00a9/", "x", true},
        // Not strictly UTF-8 (an overlong "/"): Latin-1.
        {"/home/io/\u00c0\u00af/", "x", false},
    };
    for (const auto &c : cases) {
        QuarleSettings s;
        s.dir = QString::fromUtf8(c.dir);
        s.proxyPassword = QString::fromUtf8(c.password);
        const QByteArray bytes = FormatSettings(s);
        for (const QString &value : {s.dir, s.proxyPassword})
            EXPECT_TRUE(bytes.contains("\r\n" + (c.utf8 ? value.toUtf8() : value.toLatin1()) + "\r\n"))
                << c.dir;
        const SettingsRead read = ParseSettings(bytes);
        EXPECT_EQ(read.dir, s.dir) << c.dir;
        EXPECT_EQ(read.proxyPassword, s.proxyPassword) << c.dir;
    }
}

// The file holds the proxy password: only its owner may read it, and a failed write keeps the old one.
TEST(SettingsFile, TheFileIsPrivateAndNeverHalfWritten)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("quarle.ini");
    const auto others =
        QFileDevice::ReadOther | QFileDevice::ReadGroup | QFileDevice::WriteOther | QFileDevice::WriteGroup;
    QuarleSettings s;
    s.proxyPassword = "segreto";
    for (int i = 0; i < 2; ++i) { // a new file, then an existing one open to others
        ASSERT_TRUE(WriteSettingsFile(path, s));
        EXPECT_FALSE(QFileInfo(path).permissions() & others) << i;
        QFile::setPermissions(path, QFileDevice::Permissions(0x6644));
    }
    EXPECT_EQ(*ReadSettingsFile(path).proxyPassword, "segreto");

    if (geteuid() != 0) {
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        s.proxyPassword = "changed";
        EXPECT_FALSE(WriteSettingsFile(path, s));
        QFile::setPermissions(dir.path(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        EXPECT_EQ(*ReadSettingsFile(path).proxyPassword, "segreto");
    }
    EXPECT_FALSE(WriteSettingsFile(dir.filePath("no/such/folder/quarle.ini"), s));
    EXPECT_FALSE(ReadSettingsFile(dir.filePath("missing.ini")).format);
}
