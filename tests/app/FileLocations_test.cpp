#include "app/FileLocations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

// A program folder of the user's keeps everything beside the program; any other sends the files to the
// user's folders, and reads the settings beside the program only until the user has a file of their own.
TEST(FileLocations, ProgramFolderOrTheUsersFolders)
{
    QTemporaryDir base;
    const QString root = base.path();
    const UserFolders user{root + "/config", root + "/cache", root + "/Music", root + "/home"};
    const QString userIni = root + "/config/quarle/quarle.ini";
    struct Case {
        const char *name;
        bool own, userFileExists, musicExists;
        QString read, written, documentFolder, destination;
    } cases[] = {
        {"own folder", true, true, true, "bin/quarle.ini", "bin/quarle.ini", "bin", "bin/"},
        {"installed, first run", false, false, true, "bin/quarle.ini", "config/quarle/quarle.ini",
         "cache/quarle", "Music/"},
        {"installed, the user's file", false, true, true, "config/quarle/quarle.ini",
         "config/quarle/quarle.ini", "cache/quarle", "Music/"},
        {"installed, no music folder", false, true, false, "config/quarle/quarle.ini",
         "config/quarle/quarle.ini", "cache/quarle", "home/"},
    };
    for (const Case &c : cases) {
        QDir(root + "/config").removeRecursively();
        QDir(root + "/Music").removeRecursively();
        if (c.userFileExists) {
            ASSERT_TRUE(MakePrivateFolder(root + "/config/quarle"));
            QFile file(userIni);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
        if (c.musicExists) {
            ASSERT_TRUE(QDir(root).mkdir("Music"));
        }
        const FileLocations at = LocateFiles(root + "/bin", c.own, user);
        EXPECT_EQ(at.SettingsToRead().toStdString(), (root + "/" + c.read).toStdString()) << c.name;
        EXPECT_EQ(at.settingsFile.toStdString(), (root + "/" + c.written).toStdString()) << c.name;
        EXPECT_EQ(at.documentFolder.toStdString(), (root + "/" + c.documentFolder).toStdString()) << c.name;
        EXPECT_EQ(at.defaultDestination.toStdString(), (root + "/" + c.destination).toStdString()) << c.name;
    }
}

// The settings file holds the proxy password: every folder made on the way to it is the owner's only.
// The system's /usr tree is no program folder of the user's, even for root who may write it.
TEST(FileLocations, PrivateFoldersAndTheProgramsOwnFolder)
{
    QTemporaryDir base;
    ASSERT_TRUE(MakePrivateFolder(base.filePath("config/quarle")));
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                      QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    for (const QString &folder : {base.filePath("config"), base.filePath("config/quarle")})
        EXPECT_FALSE(QFileInfo(folder).permissions() & others) << folder.toStdString();
    EXPECT_TRUE(MakePrivateFolder(base.filePath("config/quarle"))) << "a folder already there";

    EXPECT_TRUE(IsOwnProgramFolder(base.path()));
    EXPECT_FALSE(IsOwnProgramFolder("/usr/bin"));
    EXPECT_FALSE(IsOwnProgramFolder(base.filePath("missing")));
    if (geteuid() != 0) {
        QFile::setPermissions(base.path(), QFile::ReadOwner | QFile::ExeOwner);
        EXPECT_FALSE(IsOwnProgramFolder(base.path()));
        QFile::setPermissions(base.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}
