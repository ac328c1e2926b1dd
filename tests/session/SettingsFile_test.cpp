#include "session/SettingsFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>

#include <sys/resource.h>

// A value outside Latin-1 makes the file UTF-8; any other file stays Latin-1, byte for byte as before.
TEST(SettingsFile, TextOutsideLatin1SurvivesAndLatin1FilesStayAsTheyWere)
{
    const struct {
        const char *dir, *password; // UTF-8
        bool utf8;
    } cases[] = {
        {"/home/io/\u041c\u0443\u0437\u044b\u043a\u0430/", "segreto", true},
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
        EXPECT_TRUE(bytes.contains("\r\n" + (c.utf8 ? s.dir.toUtf8() : s.dir.toLatin1()) + "\r\n")) << c.dir;
        const SettingsRead read = ParseSettings(bytes);
        EXPECT_EQ(std::pair(*read.dir, *read.proxyPassword), std::pair(s.dir, s.proxyPassword)) << c.dir;
    }
    // A line break in a value would shift every later line.
    QuarleSettings broken;
    broken.proxyHost = "a\r\nb\nc";
    EXPECT_EQ(FormatSettings(broken).count("\r\n"), 16);
    EXPECT_EQ(ParseSettings(FormatSettings(broken)).proxyHost, QString("a  b c"));
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
    // A write cut short (here by the file size limit, which binds root too) keeps the old file whole.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 16;
    std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    s.proxyPassword = "changed";
    const bool written = WriteSettingsFile(path, s);
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_FALSE(written);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"quarle.ini"}) << "no temporary file left";
    EXPECT_EQ(ReadSettingsFile(path).proxyPassword, QString("segreto"));
    // A link in the file's place is replaced, never written through: its target keeps bytes and modes.
    const QString target = dir.filePath("target");
    ASSERT_TRUE(QFile::rename(path, target) && QFile::link(target, path));
    ASSERT_TRUE(QFile::setPermissions(target, QFileDevice::Permissions(0x6644)));
    ASSERT_TRUE(WriteSettingsFile(path, s));
    EXPECT_FALSE(QFileInfo(path).isSymLink());
    EXPECT_EQ(std::pair(ReadSettingsFile(target).proxyPassword, int(QFileInfo(target).permissions())),
              std::pair(std::optional<QString>("segreto"), 0x6644));
    // A link to an endless file is read no further than a settings file can be.
    ASSERT_TRUE(QFile::link("/dev/zero", dir.filePath("zero.ini")));
    EXPECT_FALSE(ReadSettingsFile(dir.filePath("zero.ini")).proxyPassword);
}
