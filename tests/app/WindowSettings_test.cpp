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

QByteArray ini(const QList<QByteArray> &values)
{
    QByteArray out;
    for (const QByteArray &v : values)
        out += v + "\r\n";
    return out;
}

const QList<QByteArray> Sample =
    QByteArray("//quarle ini file. non modificare|[destination dir]|/srv/musica/|"
               "[extraction]|1|[codec MP3]|2|1|3|1|2|[proxy]|proxy.lan|8080|"
               "dom\\mario|p ss;=")
        .split('|');

void writeIni(const QByteArray &bytes)
{
    QFile f(iniPath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray readIni()
{
    QFile f(iniPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Opens the window on the current settings file and closes it again.
QByteArray openAndClose(const std::function<void(TDlgMainForm &)> &check = {})
{
    auto form = openMainWindow();
    EXPECT_TRUE(form);
    if (!form)
        return {};
    if (check)
        check(*form);
    form->close();
    return readIni();
}

} // namespace

TEST(WindowSettings, DefaultsWithoutAFileThenAFullFileOnClose)
{
    TestDisc disc({DiscTrack::tone(75, 440)});
    ErrorRecorder errors;
    QFile::remove(iniPath());
    const QByteArray written = openAndClose([](TDlgMainForm &form) {
        EXPECT_EQ(form.ui->dir->text(), TDlgMainForm::programDir() + "/");
        EXPECT_EQ(form.RGroupFormatExtractionItemIndex(), 0);
        EXPECT_EQ(form.ui->CBoxSampleRate->currentText(), "44100");
        EXPECT_EQ(form.ui->CBoxBitRate->currentText(), "128");
        EXPECT_EQ(form.ui->CBoxMaxBitRate->currentText(), "320");
        EXPECT_EQ(form.ui->CBoxMode->currentText(), "Stereo");
        EXPECT_EQ(form.ui->CBoxQuality->currentText(), "Normal");
        EXPECT_EQ(form.ui->ProxyHostEdit->text(), "");
    });
    EXPECT_EQ(written, ini({"//quarle ini file. non modificare", "[destination dir]",
                            (TDlgMainForm::programDir() + "/").toLatin1(), "[extraction]", "0", "[codec MP3]",
                            "0", "4", "0", "0", "0", "[proxy]", "", "", "", ""}));
    EXPECT_TRUE(errors.messages.isEmpty());
}

TEST(WindowSettings, ReadBackAndWrittenAgain)
{
    TestDisc disc({DiscTrack::tone(75, 440)});
    ErrorRecorder errors;
    const QList<QByteArray> abcWritten = {Sample[0], Sample[1], Sample[2], Sample[3], "1", Sample[5],
                                          "2",       "1",       "0",       "0",       "0", "[proxy]",
                                          "",        "",        "",        ""};
    struct Case {
        const char *name;
        int line;
        QByteArray value;
        int changedLine; // of the file written at close, besides a section line read back as written
        QByteArray written;
    } cases[] = {
        {"unchanged", 1, Sample[0], 0, {}},
        {"any section text", 2, "qualcosa", 2, "[destination dir]"},
        {"non-ASCII folder", 3, "/home/io/M\xfasica/Caf\xe9/", 0, {}},
        {"format 7 is Wav", 5, "7", 5, "1"},
        {"format -5 is none", 5, "-5", 5, "-1"},
        {"bit rate 9 is none", 8, "9", 8, "-1"},
    };
    for (const Case &c : cases) {
        QList<QByteArray> input = Sample;
        input[c.line - 1] = c.value;
        writeIni(ini(input));
        QList<QByteArray> expected = input;
        if (c.changedLine)
            expected[c.changedLine - 1] = c.written;
        EXPECT_EQ(openAndClose(), ini(expected)) << c.name;
    }
    // Reading stops at "abc": what follows keeps its default.
    QList<QByteArray> input = Sample;
    input[8] = "abc";
    writeIni(ini(input));
    EXPECT_EQ(openAndClose(), ini(abcWritten));
    EXPECT_TRUE(errors.messages.isEmpty());

    // What the controls show of the sample file.
    writeIni(ini(Sample));
    openAndClose([](TDlgMainForm &form) {
        EXPECT_EQ(form.ui->dir->text(), "/srv/musica/");
        EXPECT_EQ(form.RGroupFormatExtractionItemIndex(), 1);
        EXPECT_EQ(form.ui->CBoxSampleRate->currentText(), "22050");
        EXPECT_EQ(form.ui->CBoxMode->currentText(), "Joint stereo");
        EXPECT_EQ(form.ui->ProxyPassword->text(), "p ss;=");
    });
}

// A file that cannot be written is not lost silently: the close goes on and says so on stderr.
TEST(WindowSettings, AFileThatCannotBeWrittenIsReportedOnStderr)
{
    TestDisc disc({DiscTrack::tone(75, 440)});
    ErrorRecorder errors;
    QFile::remove(iniPath());
    ASSERT_TRUE(QDir().mkdir(iniPath())); // a folder where the file should be: not even root writes it
    testing::internal::CaptureStderr();
    openAndClose();
    const std::string said = testing::internal::GetCapturedStderr();
    QDir(iniPath()).removeRecursively();
    EXPECT_NE(said.find("quarle: the settings could not be saved to " + iniPath().toStdString()),
              std::string::npos)
        << said;
    EXPECT_TRUE(errors.messages.isEmpty());
}
