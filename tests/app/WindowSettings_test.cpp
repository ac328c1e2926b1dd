#include "MainWindowFixture.h"
#include "TestDisc.h"

#include "app/MainFormUi.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace
{

QString iniPath()
{
    return TDlgMainForm::programDir() + "/quarle.ini";
}

} // namespace

// What quarle.ini holds shows in the controls and is written back unchanged at close, a folder name
// in Latin-1 included.
TEST(WindowSettings, ReadIntoTheControlsAndWrittenBackUnchanged)
{
    TestDisc disc({DiscTrack::tone(75, 440)});
    ErrorRecorder errors;
    const QByteArray sample = "//quarle ini file. non modificare\r\n[destination dir]\r\n/srv/m\xfasica/\r\n"
                              "[extraction]\r\n1\r\n[codec MP3]\r\n2\r\n1\r\n3\r\n1\r\n2\r\n[proxy]\r\n"
                              "proxy.lan\r\n8080\r\ndom\\mario\r\np ss;=\r\n";
    QFile file(iniPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(sample);
    file.close();
    auto form = openMainWindow();
    ASSERT_TRUE(form);
    EXPECT_EQ(form->ui->dir->text(), "/srv/m\u00fasica/");
    EXPECT_EQ(form->RGroupFormatExtractionItemIndex(), 1);
    EXPECT_EQ(form->ui->CBoxSampleRate->currentText(), "22050");
    EXPECT_EQ(form->ui->CBoxMode->currentText(), "Joint stereo");
    EXPECT_EQ(form->ui->ProxyPassword->text(), "p ss;=");
    form->close();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), sample);
    EXPECT_TRUE(errors.messages.isEmpty());
}

// A file that cannot be written is not lost silently: the close goes on and says so on stderr.
TEST(WindowSettings, AFileThatCannotBeWrittenIsReportedOnStderr)
{
    TestDisc disc({DiscTrack::tone(75, 440)});
    QFile::remove(iniPath());
    ASSERT_TRUE(QDir().mkdir(iniPath())); // a folder where the file should be: not even root writes it
    auto form = openMainWindow();
    ASSERT_TRUE(form);
    testing::internal::CaptureStderr();
    form->close();
    const std::string said = testing::internal::GetCapturedStderr();
    QDir(iniPath()).removeRecursively();
    EXPECT_NE(said.find("quarle: the settings could not be saved to " + iniPath().toStdString()),
              std::string::npos)
        << said;
}
