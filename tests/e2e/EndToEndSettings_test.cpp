#include "EndToEndFixture.h"
#include "FormLayout.h"

#include "DiscImage.h"
#include "TestDisc.h"

#include <QFileInfo>

class EndToEndSettings : public EndToEnd
{
};

// No settings file at first: the close writes all 16 lines, with the format that was clicked; the
// next start reads them back (its extraction writes WAV files into the program's folder) and its
// close writes the very same bytes.
TEST_F(EndToEndSettings, WrittenOnCloseAndReadBackOnTheNextStart)
{
    TestDisc disc({DiscTrack::tone(75, 440), DiscTrack::tone(90, 660)});
    FormLayout layout;
    ASSERT_TRUE(layout.Valid()) << layout.Errors().join("\n").toStdString();
    ASSERT_TRUE(ReadIni().isNull());

    std::unique_ptr<QuarleRun> run;
    QString window;
    ASSERT_TRUE(Launch(run, disc.driveEntry(), &window));
    ASSERT_TRUE(run->Click(window, layout.ClickPoint("RGroupFormatExtractionWav")));
    ASSERT_TRUE(CloseWithButton(*run, window, layout));
    const QByteArray written = ReadIni();
    EXPECT_EQ(written, IniBytes({.dir = ProgramFolder() + "/", .format = "1"}));
    EXPECT_EQ(written.count("\r\n"), 16);
    EXPECT_TRUE(written.endsWith("\r\n"));
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                      QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    EXPECT_FALSE(QFileInfo(QDir(ProgramFolder()).filePath("quarle.ini")).permissions() & others)
        << "the file that holds the proxy password is open to others";

    ASSERT_TRUE(Launch(run, disc.driveEntry(), &window));
    ASSERT_TRUE(run->Click(window, layout.ClickPoint("dxButton2")));
    ASSERT_TRUE(WaitForExtraction(*run, QDir(ProgramFolder()), {"Track 01.wav", "Track 02.wav"}));
    EXPECT_EQ(QFileInfo(QDir(ProgramFolder()).filePath("Track 02.wav")).size(), 44 + 90 * 2352);
    ASSERT_TRUE(CloseWithButton(*run, window, layout));
    EXPECT_EQ(ReadIni(), written);
}

// A destination folder with a letter outside ASCII and every other field set: the program finds the
// folder from the Latin-1 file (the extraction lands in it) and writes the file back unchanged.
TEST_F(EndToEndSettings, Latin1FolderAndEveryFieldSurviveARun)
{
    TestDisc disc({DiscTrack::tone(75, 440)});
    const QString folder = ProgramFolder() + QString::fromUtf8("/Musica è più/");
    ASSERT_TRUE(QDir().mkpath(folder));
    const IniValues values{.dir = folder,
                           .format = "1",
                           .sampleRate = "2",
                           .bitRate = "1",
                           .maxBitRate = "3",
                           .mode = "1",
                           .quality = "2",
                           .proxyHost = "proxy.invalid",
                           .proxyPort = "3128",
                           .proxyUser = "utente",
                           .proxyPassword = QString::fromUtf8("pässwörd")};
    WriteIni(values);
    ASSERT_TRUE(IniBytes(values).contains("\xe8 pi\xf9/\r\n")) << "the test's own file is not Latin-1";
    FormLayout layout;
    ASSERT_TRUE(layout.Valid()) << layout.Errors().join("\n").toStdString();

    std::unique_ptr<QuarleRun> run;
    QString window;
    ASSERT_TRUE(Launch(run, disc.driveEntry(), &window));
    ASSERT_TRUE(run->Click(window, layout.ClickPoint("dxButton2")));
    ASSERT_TRUE(WaitForExtraction(*run, QDir(folder), {"Track 01.wav"}));
    EXPECT_EQ(QFileInfo(QDir(folder).filePath("Track 01.wav")).size(), 44 + 75 * 2352);
    ASSERT_TRUE(CloseWithButton(*run, window, layout));
    EXPECT_EQ(ReadIni(), IniBytes(values));
}
