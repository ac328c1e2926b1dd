#include "EndToEndFixture.h"

#include "Mp3Decode.h"
#include "TestDisc.h"
#include "WavTestFile.h"

#include <QDirIterator>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>
#include <QtEndian>

#include <pwd.h>
#include <unistd.h>

namespace
{

QByteArray FileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Takes the write permission from everything under path (and path itself), or gives it back to the owner.
void SetTreeWritable(const QString &path, bool writable)
{
    QDirIterator it(path, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    QStringList paths = {path};
    while (it.hasNext())
        paths << it.next();
    const QFile::Permissions write =
        QFile::WriteOwner | QFile::WriteUser | QFile::WriteGroup | QFile::WriteOther;
    for (const QString &entry : paths) {
        const QFile::Permissions now = QFile::permissions(entry);
        QFile::setPermissions(entry, writable ? now | QFile::WriteOwner : now & ~write);
    }
}

} // namespace

// No drive at all: the error box comes up in place of the window, Return dismisses it and the program
// ends with a failure code, having said why on stderr too.
TEST_F(EndToEnd, WithoutADriveTheErrorBoxShowsAndTheProgramEnds)
{
    ASSERT_TRUE(Start(""));
    const QString box = WaitForWindow("^QUARLE$");
    ASSERT_FALSE(box.isEmpty()) << "no error box; errors:\n" << ErrorOutput().toStdString();
    EXPECT_EQ(XDoTool({"search", "--onlyvisible", "--name", MainWindow}).value_or(""), "");
    // Return takes the box away before its release, on which xdotool then fails.
    XDoTool({"key", "--window", box, "Return"});
    ASSERT_TRUE(WaitForExit(1));
    EXPECT_TRUE(
        ErrorOutput().contains("quarle: Attenzione!   Nessun lettore trovato o utente con diritti minimi.\n"))
        << ErrorOutput().toStdString();
}

// Every row is checked at start: one click on "Estrai" encodes the whole disc, and what mpg123 decodes
// has each track's length and pitch on both channels.
TEST_F(EndToEnd, EstraiEncodesEveryRowToMp3WithTheTracksLengthAndPitch)
{
    if (QStandardPaths::findExecutable("mpg123").isEmpty())
        GTEST_SKIP() << "mpg123 is not installed";
    const std::vector<DiscTrack> tracks = {DiscTrack::tone(300, 440), DiscTrack::tone(225, 660),
                                           DiscTrack::tone(375, 880)};
    TestDisc disc(tracks);
    QTemporaryDir out;
    // The extraction asks the AccurateRip database through the proxy page: a closed port of this machine.
    WriteIni({.dir = out.path() + "/", .proxyHost = "127.0.0.1", .proxyPort = "1"});
    ASSERT_TRUE(Launch(disc.driveEntry()));
    ASSERT_TRUE(Click("dxButton2"));
    const QStringList names = {"Track 01.mp3", "Track 02.mp3", "Track 03.mp3"};
    ASSERT_TRUE(WaitForExtraction(QDir(out.path()), names));
    EXPECT_EQ(QDir(out.path()).entryList({"*.mp3"}, QDir::Files, QDir::Name), names);
    for (size_t i = 0; i < tracks.size(); ++i) {
        const TestPcm pcm = DecodeMp3(out.filePath(names[int(i)]));
        EXPECT_EQ(pcm.rate, 44100u) << i;
        ASSERT_EQ(pcm.channels, 2) << i;
        EXPECT_NEAR(pcm.seconds(), tracks[i].sectors / 75.0, 0.06) << i;
        for (int channel : {0, 1})
            EXPECT_NEAR(WavTestFile::ToneFrequency(pcm, channel), tracks[i].frequency,
                        tracks[i].frequency * 0.01);
    }
    EXPECT_TRUE(Close());
}

// A settings file with a Latin-1 folder and every field set: the program finds the folder (the
// extraction lands in it), a click on "Wav" switches the format, a click on a row's description
// unchecks it, so only the other rows are ripped, each as the disc's own bytes after a 44-byte header;
// the close writes the file back with only the format changed, readable by its owner alone.
TEST_F(EndToEnd, SettingsFolderClicksAndWavFilesSurviveARun)
{
    const std::vector<DiscTrack> tracks = {DiscTrack::tone(150, 440), DiscTrack::tone(120, 550),
                                           DiscTrack::music(180, 330)};
    TestDisc disc(tracks);
    const QString folder = Folder() + "/Musica è più/";
    ASSERT_TRUE(QDir().mkpath(folder));
    IniValues values{folder, "0", "2", "1", "3", "1", "2", "127.0.0.1", "1", "utente", "pässwörd"};
    WriteIni(values);
    ASSERT_TRUE(IniBytes(values).contains("\xe8 pi\xf9/\r\n")) << "the test's own file is not Latin-1";
    ASSERT_TRUE(Launch(disc.driveEntry()));
    ASSERT_TRUE(Click("RGroupFormatExtractionWav"));
    ASSERT_TRUE(ClickRow(1, 1));
    ASSERT_TRUE(Click("dxButton2"));
    const QStringList names = {"Track 01.wav", "Track 03.wav"};
    ASSERT_TRUE(WaitForExtraction(QDir(folder), names));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files, QDir::Name), QStringList{"QUARLE.log"} + names);
    for (int i = 0; i < 2; ++i) {
        const QByteArray bytes = FileBytes(QDir(folder).filePath(names[i]));
        const QByteArray audio = trackAudioBytes(tracks[size_t(2 * i)]);
        ASSERT_EQ(bytes.size(), 44 + audio.size()) << i;
        EXPECT_EQ(qFromLittleEndian<quint32>(bytes.constData() + 40), quint32(audio.size())) << i;
        EXPECT_TRUE(bytes.mid(44) == audio) << "the samples of " << i << " differ from the disc's";
    }
    ASSERT_TRUE(Close());
    values.format = "1";
    EXPECT_EQ(ReadIni(), IniBytes(values));
    EXPECT_FALSE(QFileInfo(QDir(Folder()).filePath("quarle.ini")).permissions() &
                 (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther |
                  QFileDevice::WriteOther))
        << "the file that holds the proxy password is open to others";
}

// The installed program, run by a user who may not write its folder (the tests run as root drop to
// nobody for it): the file shipped beside the program is read while the user has none of their own, the
// close writes the user's file, private, in a private folder of their configuration folder, the
// destination offered is their music folder, and the next start reads the user's file back.
TEST_F(EndToEnd, InstalledProgramKeepsTheSettingsInTheUsersConfigurationFolder)
{
    uid_t uid = geteuid();
    gid_t gid = getegid();
    QStringList asUser;
    if (uid == 0) {
        const passwd *nobody = getpwnam("nobody");
        if (!nobody || QStandardPaths::findExecutable("setpriv").isEmpty())
            GTEST_SKIP() << "no user nobody, or no setpriv to run the program as that user";
        uid = nobody->pw_uid;
        gid = nobody->pw_gid;
        asUser = {"setpriv", "--reuid=" + QString::number(uid), "--regid=" + QString::number(gid),
                  "--clear-groups", "--"};
    }
    const QString prefix = Folder() + "/prefix", bin = prefix + "/bin", home = Folder() + "/home";
    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(QUARLE_CMAKE, {"--install", QUARLE_BUILD_DIR, "--prefix", prefix});
    ASSERT_TRUE(install.waitForFinished(120000) && install.exitCode() == 0)
        << install.readAll().toStdString();
    const QByteArray shipped = IniBytes({.format = "1", .proxyHost = "proxy.lan"});
    QFile shippedFile(bin + "/quarle.ini");
    ASSERT_TRUE(shippedFile.open(QIODevice::WriteOnly) && shippedFile.write(shipped) == shipped.size());
    shippedFile.close();
    SetTreeWritable(prefix, false);
    const auto writableAgain = qScopeGuard([&prefix] { SetTreeWritable(prefix, true); });
    const QFile::Permissions open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                    QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    QFile::setPermissions(Folder(), open);
    for (const char *folder : {"", "/Music", "/run"}) {
        ASSERT_TRUE(QDir().mkpath(home + folder));
        ASSERT_EQ(chown(qPrintable(home + folder), uid, gid), 0);
    }
    for (const QString &folder : {home, home + "/run"}) // as Qt wants the runtime folder
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    TestDisc disc({DiscTrack::tone(75, 440)});
    QFile::setPermissions(disc.dir(), open);
    m_command = asUser + QStringList{bin + "/quarle"};
    m_adjustEnvironment = [&home](QProcessEnvironment &environment) {
        environment.insert("HOME", home);
        environment.insert("XDG_RUNTIME_DIR", home + "/run");
        for (const char *name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
            environment.remove(name);
    };

    ASSERT_TRUE(Launch(disc.driveEntry()));
    ASSERT_TRUE(Click("RGroupFormatExtractionMP3"));
    ASSERT_TRUE(Close());
    const QString userIni = home + "/.config/quarle/quarle.ini";
    const QByteArray written = FileBytes(userIni);
    EXPECT_EQ(written, IniBytes({.dir = home + "/Music/", .format = "0", .proxyHost = "proxy.lan"}));
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                      QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    for (const QString &path : {userIni, home + "/.config/quarle"}) {
        EXPECT_FALSE(QFileInfo(path).permissions() & others) << path.toStdString() << " is open to others";
        EXPECT_EQ(QFileInfo(path).ownerId(), uid) << path.toStdString();
    }
    EXPECT_EQ(FileBytes(bin + "/quarle.ini"), shipped);

    ASSERT_TRUE(Launch(disc.driveEntry()));
    ASSERT_TRUE(Close());
    EXPECT_EQ(FileBytes(userIni), written) << "the second start did not read the user's own file";
    EXPECT_EQ(QDir(bin).entryList(QDir::Files, QDir::Name), QStringList({"quarle", "quarle.ini"}));
}
