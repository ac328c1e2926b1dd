#include "session/FileLocations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

// A program folder of the user's keeps everything beside the program; any other (the system's /usr
// tree, even for root who may write it) sends the files to the user's folders, and reads the settings
// beside the program only until the user has a file of their own, in folders that are the owner's only.
TEST(FileLocations, ProgramFolderOrTheUsersPrivateFolders)
{
    QTemporaryDir base;
    const QString root = base.path() + "/";
    const UserFolders user{root + "config", root + "cache", root + "Music", root + "home"};
    EXPECT_FALSE(IsOwnProgramFolder("/usr/bin"));
    // Only a folder of the user's that no one else may write is the program's; a private folder found
    // open to others is narrowed, one of someone else's is not used.
    const struct {
        int mode;
        bool own, programs, privateUse;
    } folders[] = {{0755, true, true, true}, {0777, true, false, true}, {0700, false, false, false}};
    for (const auto &f : folders) {
        const QString folder = root + "folder" + QString::number(f.mode) + (f.own ? "own" : "other");
        ASSERT_TRUE(QDir().mkdir(folder));
        ASSERT_EQ(::chmod(QFile::encodeName(folder), mode_t(f.mode)), 0);
        ASSERT_TRUE(f.own || ::chown(QFile::encodeName(folder), 65534, 65534) == 0);
        EXPECT_EQ(IsOwnProgramFolder(folder), f.programs) << f.mode;
        EXPECT_EQ(MakePrivateFolder(folder), f.privateUse) << f.mode;
        EXPECT_EQ(f.privateUse && (QFileInfo(folder).permissions().toInt() & 0x0077), 0) << f.mode;
    }
    const struct {
        bool own, userFileExists, musicExists;
        QString read, written, destination;
    } cases[] = {
        {true, true, true, "bin/quarle.ini", "bin/quarle.ini", "bin/"},
        {false, true, true, "config/quarle/quarle.ini", "config/quarle/quarle.ini", "Music/"},
        {false, true, false, "config/quarle/quarle.ini", "config/quarle/quarle.ini", "home/"},
    };
    for (const auto &c : cases) {
        QDir(root + "config").removeRecursively();
        QDir(root + "Music").removeRecursively();
        if (c.userFileExists) {
            ASSERT_TRUE(MakePrivateFolder(root + "config/quarle"));
            QFile file(root + "config/quarle/quarle.ini");
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            for (const QString &folder : {root + "config", root + "config/quarle"})
                EXPECT_EQ(QFileInfo(folder).permissions().toInt() & 0x0077, 0) << folder.toStdString();
        }
        ASSERT_TRUE(!c.musicExists || QDir(root).mkdir("Music"));
        const FileLocations at = LocateFiles(root + "bin", c.own, user);
        EXPECT_EQ(at.SettingsToRead(), root + c.read);
        EXPECT_EQ(at.settingsFile, root + c.written);
        EXPECT_EQ(at.defaultDestination, root + c.destination);
    }
}
