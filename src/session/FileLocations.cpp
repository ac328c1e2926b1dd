#include "session/FileLocations.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

namespace
{

// The subfolder of the user's configuration and cache folders that is the program's.
const QString Subfolder = QStringLiteral("quarle");

} // namespace

UserFolders UserFolders::Standard()
{
    return {QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation),
            QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation),
            QStandardPaths::writableLocation(QStandardPaths::MusicLocation), QDir::homePath()};
}

QString FileLocations::SettingsToRead() const
{
    return settingsFallback.isEmpty() || QFileInfo::exists(settingsFile) ? settingsFile : settingsFallback;
}

bool FileLocations::PrepareFolder(const QString &folder) const
{
    return programFolder ? QFileInfo(folder).isDir() : MakePrivateFolder(folder);
}

QString ProgramCacheFolder(const UserFolders &user)
{
    return QDir(user.cache).filePath(Subfolder);
}

FileLocations LocateFiles(const QString &programDir, bool programDirIsOwn, const UserFolders &user)
{
    const QString besideProgram = QDir(programDir).filePath(QStringLiteral("quarle.ini"));
    if (programDirIsOwn)
        return {true, besideProgram, {}, programDir, programDir + "/"};
    // A folder that xdg-user-dirs names but nobody created would fail every extraction.
    const QString music = !user.music.isEmpty() && QFileInfo(user.music).isDir() ? user.music : user.home;
    return {false, QDir(user.config).filePath(Subfolder + "/quarle.ini"), besideProgram,
            ProgramCacheFolder(user), music.endsWith('/') ? music : music + "/"};
}

FileLocations LocateFiles(const QString &programDir)
{
    return LocateFiles(programDir, IsOwnProgramFolder(programDir), UserFolders::Standard());
}

bool IsOwnProgramFolder(const QString &programDir)
{
    const QFileInfo folder(programDir);
    const QString path = folder.canonicalFilePath();
    return folder.isDir() && folder.isWritable() && folder.ownerId() == ::geteuid() &&
           !(folder.permissions() & (QFile::WriteGroup | QFile::WriteOther)) && path != "/usr" &&
           !path.startsWith("/usr/");
}

bool MakePrivateFolder(const QString &folder)
{
    const QString path = QDir::cleanPath(QDir(folder).absolutePath());
    QDir dir(QStringLiteral("/"));
    const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    for (const QString &part : path.split('/', Qt::SkipEmptyParts)) {
        if (!dir.exists(part) && !dir.mkdir(part, ownerOnly))
            return false;
        if (!dir.cd(part))
            return false;
    }
    const QFileInfo made(path);
    return made.isDir() && made.ownerId() == ::geteuid() && QFile::setPermissions(path, ownerOnly);
}
