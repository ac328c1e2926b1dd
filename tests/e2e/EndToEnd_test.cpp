#include "EndToEndFixture.h"

#include "Mp3Decode.h"
#include "TestDisc.h"

#include <QScopeGuard>
#include <QStandardPaths>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

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

// A settings file with a Latin-1 folder and every field set: the program finds the folder (the
// extraction lands in it), a click on "MP3" switches the format, a click on a row's description
// unchecks it, so only the other rows are ripped, and what mpg123 decodes has each track's length and
// pitch on both channels. The close writes the file back with only the format changed, readable by its
// owner alone. The extraction asks the AccurateRip database through the proxy: a closed local port.
TEST_F(EndToEnd, ClicksReachTheExtractionTheFilesPlayAndTheSettingsSurviveARun)
{
    if (QStandardPaths::findExecutable("mpg123").isEmpty())
        GTEST_SKIP() << "mpg123 is not installed";
    const std::vector<DiscTrack> tracks = {DiscTrack::tone(300, 440), DiscTrack::tone(120, 550),
                                           DiscTrack::tone(225, 660)};
    TestDisc disc(tracks);
    const QString folder = Folder() + "/Musica è più/";
    ASSERT_TRUE(QDir().mkpath(folder));
    QStringList values{folder, "1", "2", "1", "3", "1", "2", "127.0.0.1", "1", "utente", "pässwörd"};
    ASSERT_TRUE(WavTestFile::Write(Folder() + "/quarle.ini", IniBytes(values)));
    ASSERT_TRUE(Launch(disc.driveEntry()));
    ASSERT_TRUE(Click("RGroupFormatExtractionMP3"));
    ASSERT_TRUE(ClickRow(1, 1));
    ASSERT_TRUE(Click("dxButton2"));
    const QStringList names = {"Track 01.mp3", "Track 03.mp3"};
    ASSERT_TRUE(WaitForExtraction(QDir(folder), names));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files, QDir::Name), QStringList{"QUARLE.log"} + names);
    for (int i = 0; i < 2; ++i) {
        const TestPcm pcm = DecodeMp3(folder + names[i]);
        const DiscTrack &track = tracks[size_t(2 * i)];
        ASSERT_EQ(std::tuple(pcm.rate, pcm.channels), std::tuple(22050u, 2)) << i;
        EXPECT_NEAR(pcm.seconds(), track.sectors / 75.0, 0.06) << i;
        for (int channel : {0, 1})
            EXPECT_NEAR(WavTestFile::ToneFrequency(pcm, channel), track.frequency, track.frequency * 0.01);
    }
    ASSERT_TRUE(Close());
    values[1] = "0";
    EXPECT_EQ(WavTestFile::Read(Folder() + "/quarle.ini"), IniBytes(values));
    EXPECT_FALSE(QFileInfo(Folder() + "/quarle.ini").permissions() & 0x0077) << "open to others";
}

// The installed program, run by a user who may not write its folder (the tests run as root drop to
// nobody for it): the file shipped beside the program is read while the user has none of their own, the
// close writes the user's file, private, in a private folder of their configuration folder, and the
// destination offered is their music folder.
TEST_F(EndToEnd, InstalledProgramKeepsTheSettingsInTheUsersConfigurationFolder)
{
    uid_t uid = geteuid();
    gid_t gid = getegid();
    if (uid == 0) {
        const passwd *nobody = getpwnam("nobody");
        if (!nobody || QStandardPaths::findExecutable("setpriv").isEmpty())
            GTEST_SKIP() << "no user nobody, or no setpriv to run the program as that user";
        uid = nobody->pw_uid;
        gid = nobody->pw_gid;
        m_command = QStringList{"setpriv", "--reuid=" + QString::number(uid),
                                "--regid=" + QString::number(gid), "--clear-groups", "--"};
    }
    const QString bin = Folder() + "/prefix/bin", home = Folder() + "/home";
    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(QUARLE_CMAKE, {"--install", QUARLE_BUILD_DIR, "--prefix", Folder() + "/prefix"});
    ASSERT_TRUE(install.waitForFinished(120000) && install.exitCode() == 0)
        << install.readAll().toStdString();
    const QByteArray shipped = IniBytes({"", "1", "0", "4", "0", "0", "0", "proxy.lan", "", "", ""});
    ASSERT_TRUE(WavTestFile::Write(bin + "/quarle.ini", shipped));
    // The user may read and search the folders, but neither write the program's folder nor its file.
    for (const auto &[path, mode] : {std::pair{Folder(), 0755}, {bin, 0555}, {bin + "/quarle.ini", 0444}})
        chmod(qPrintable(path), mode);
    const auto writableAgain = qScopeGuard([&] { chmod(qPrintable(bin), 0755); });
    for (const char *folder : {"", "/Music", "/run"}) { // private, as Qt wants the runtime folder
        ASSERT_TRUE(QDir().mkpath(home + folder));
        ASSERT_EQ(chown(qPrintable(home + folder), uid, gid) | chmod(qPrintable(home + folder), 0700), 0);
    }
    TestDisc disc({DiscTrack::tone(75, 440)});
    chmod(qPrintable(disc.dir()), 0755);
    m_command << bin + "/quarle";
    m_adjustEnvironment = [&home](QProcessEnvironment &environment) {
        environment.insert("HOME", home);
        environment.insert("XDG_RUNTIME_DIR", home + "/run");
        environment.remove("XDG_CONFIG_HOME");
    };

    ASSERT_TRUE(Launch(disc.driveEntry()));
    ASSERT_TRUE(Click("RGroupFormatExtractionMP3"));
    ASSERT_TRUE(Close());
    const QString userIni = home + "/.config/quarle/quarle.ini";
    EXPECT_EQ(WavTestFile::Read(userIni),
              IniBytes({home + "/Music/", "0", "0", "4", "0", "0", "0", "proxy.lan", "", "", ""}));
    for (const QString &path : {userIni, home + "/.config/quarle"}) {
        EXPECT_FALSE(QFileInfo(path).permissions() & 0x0077) << path.toStdString() << " is open to others";
        EXPECT_EQ(QFileInfo(path).ownerId(), uid) << path.toStdString();
    }
}
