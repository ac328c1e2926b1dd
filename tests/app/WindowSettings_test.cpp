#include "MainWindowFixture.h"
#include "TestDisc.h"
#include "WavTestFile.h"

#include "app/MainFormUi.h"
#include "rip/TrackFileNames.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

// quarle.ini (the FLAC format and a Latin-1 folder among it) is written back unchanged at close; "Prova e
// copia" and the names of the files live in the file beside it (a pattern too long is passed over), and go
// into the plan. A file that cannot be written is not lost silently: the close says so on stderr.
TEST(WindowSettings, ReadIntoTheControlsAndWrittenBackAtClose)
{
    TestDisc disc({DiscTrack::tone(75, 440)});
    ScriptedPrompts prompts;
    const QByteArray sample = "//quarle ini file. non modificare\r\n[destination dir]\r\n/srv/m\xfasica/\r\n"
                              "[extraction]\r\n2\r\n[codec MP3]\r\n2\r\n1\r\n3\r\n1\r\n2\r\n[proxy]\r\n"
                              "proxy.lan\r\n8080\r\ndom\\mario\r\np ss;=\r\n";
    const QString path = TestProgramDir() + "/quarle.ini",
                  options = TestProgramDir() + "/quarle-estrazione.ini";
    ASSERT_TRUE(WavTestFile::Write(path, sample) &&
                WavTestFile::Write(options, "ProvaECopia=1\nNomiCompatibili=0\nNomiFile=%N - %T\nNomiFile=" +
                                                QByteArray(MaxNamePatternLength + 1, 'x') + "\n"));
    auto form = openMainWindow(prompts);
    ASSERT_TRUE(form);
    const TExtractionPlan plan = form->ExtractionPlan();
    EXPECT_TRUE(form->ui->CheckBoxTestAndCopy->isChecked() && plan.testAndCopy && !plan.portableNames);
    EXPECT_EQ(plan.namePattern.toStdString(), "%N - %T") << "a pattern too long is passed over";
    form->ui->CheckBoxTestAndCopy->setChecked(false);
    form->ui->PageControl1->setCurrentWidget(form->ui->TabSheet3);
    form->ui->CBoxFileNames->lineEdit()->selectAll();
    QTest::keyClicks(form->ui->CBoxFileNames->lineEdit(), "%L/%T");
    form->close();
    EXPECT_EQ(WavTestFile::Read(path), sample);
    EXPECT_EQ(WavTestFile::Read(options), "ProvaECopia=0\nNomiFile=%L/%T\nNomiCompatibili=0\n");
    EXPECT_TRUE(prompts.errors.isEmpty());

    ASSERT_TRUE(QFile::remove(path) && QDir().mkdir(path)); // a folder in the way: not even root writes
    form = openMainWindow(prompts);
    ASSERT_TRUE(form);
    testing::internal::CaptureStderr();
    form->close();
    const std::string said = testing::internal::GetCapturedStderr();
    QDir(path).removeRecursively();
    EXPECT_NE(said.find("quarle: the settings could not be saved to " + path.toStdString()),
              std::string::npos)
        << said;
}
