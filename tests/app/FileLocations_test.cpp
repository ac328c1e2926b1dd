#include "app/FileLocations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// A program folder of the user's keeps everything beside the program; any other (the system's /usr
// tree, even for root who may write it) sends the files to the user's folders, and reads the settings
// beside the program only until the user has a file of their own, in folders that are the owner's only.
TEST(FileLocations, ProgramFolderOrTheUsersPrivateFolders)
{
    QTemporaryDir base;
    const QString root = base.path() + "/";
    const UserFolders user{root + "config", root + "cache", root + "Music", root + "home"};
    EXPECT_TRUE(IsOwnProgramFolder(base.path()));
    EXPECT_FALSE(IsOwnProgramFolder("/usr/bin"));
    const struct {
        bool own, userFileExists, musicExists;
        QString read, written, destination;
    } cases[] = {
        {true, true, true, "bin/quarle.ini", "bin/quarle.ini", "bin/"},
        {false, false, true, "bin/quarle.ini", "config/quarle/quarle.ini", "Music/"},
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
