#include "EndToEndFixture.h"

#include "app/ListViewEx.h"
#include "app/MainFormUi.h"

#include <QDeadlineTimer>
#include <QStandardPaths>
#include <QTest>

const QString EndToEnd::MainWindow = "^   > QUARLE <";

// Xvfb picks a free display itself and writes its number once it listens. Without -noreset it resets
// whenever its last client leaves (each xdotool call is one) and turns away a client that connects
// meanwhile.
void EndToEnd::SetUp()
{
    if (QStandardPaths::findExecutable("Xvfb").isEmpty() ||
        QStandardPaths::findExecutable("xdotool").isEmpty())
        GTEST_SKIP() << "Xvfb or xdotool is not installed (scripts/install-deps installs them)";
    m_xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"});
    QByteArray announced;
    while (!announced.contains('\n') && m_xvfb.waitForReadyRead(30000))
        announced += m_xvfb.readAllStandardOutput();
    qputenv("DISPLAY", ":" + announced.trimmed()); // for xdotool and the program
    ASSERT_TRUE(announced.endsWith('\n') && XDoTool({"getdisplaygeometry"}))
        << "no Xvfb display: " << m_xvfb.readAllStandardError().toStdString();
    QFile program(QUARLE_PROGRAM);
    ASSERT_TRUE(program.copy(m_folder.filePath("quarle"))) << program.errorString().toStdString();
}

QByteArray EndToEnd::IniBytes(QStringList v)
{
    v.insert(7, "[proxy]");
    v.insert(2, "[codec MP3]");
    v.insert(1, "[extraction]");
    v = QStringList{"//quarle ini file. non modificare", "[destination dir]"} + v;
    return (v.join("\r\n") + "\r\n").toLatin1();
}

testing::AssertionResult EndToEnd::Start(const QString &drives)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "xcb");
    environment.insert("QUARLE_DRIVES", drives);
    // The clicks aim at the layout of an unscaled screen.
    for (const char *scaling : {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_ENABLE_HIGHDPI_SCALING",
                                "QT_FONT_DPI", "QT_STYLE_OVERRIDE", "QT_QPA_PLATFORMTHEME"})
        environment.remove(scaling);
    // A sanitized build reports leaks at exit: those of system libraries are suppressed, so that what
    // remains (and fails the exit code) is the program's own.
    if (!environment.contains("LSAN_OPTIONS"))
        environment.insert("LSAN_OPTIONS", "suppressions=" QUARLE_LSAN_SUPPRESSIONS ":print_suppressions=0");
    if (m_adjustEnvironment)
        m_adjustEnvironment(environment);
    m_program.setProcessEnvironment(environment);
    m_program.setWorkingDirectory(Folder());
    m_program.setStandardOutputFile(QProcess::nullDevice());
    const QStringList command = m_command.isEmpty() ? QStringList{m_folder.filePath("quarle")} : m_command;
    m_program.start(command.first(), command.mid(1));
    if (!m_program.waitForStarted(10000))
        return testing::AssertionFailure()
               << "the program does not start: " << m_program.errorString().toStdString();
    return testing::AssertionSuccess();
}

testing::AssertionResult EndToEnd::Launch(const QString &drives)
{
    if (!m_layout) {
        m_layout = TDlgMainForm::CreateMainForm({}, &m_failing);
        if (!m_layout)
            return testing::AssertionFailure() << "the window cannot be laid out here";
        m_layout->show();
        m_layout->Guarded([this] { m_layout->ActivateOnce(); });
    }
    if (testing::AssertionResult started = Start(drives); !started)
        return started;
    m_window = WaitForWindow(MainWindow);
    // The server queues the focus change before any input sent after it.
    if (!m_window.isEmpty() && Poll([&] {
            return XDoTool({"getwindowfocus", "-f"}).value_or("").trimmed() == m_window;
        }))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "no main window with the focus, errors:\n"
                                       << ErrorOutput().toStdString();
}

bool EndToEnd::Poll(const std::function<bool()> &done)
{
    const QDeadlineTimer deadline(LongWaitMs);
    while (!deadline.hasExpired() && m_program.state() == QProcess::Running) {
        if (done())
            return true;
        QTest::qWait(100);
    }
    return false;
}

QString EndToEnd::WaitForWindow(const QString &pattern)
{
    QString found;
    Poll([&] {
        found = XDoTool({"search", "--onlyvisible", "--name", pattern}).value_or("").section('\n', 0, 0);
        return !found.isEmpty();
    });
    return found;
}

// Near the left edge, where a radio button has its indicator: it answers no press beyond its label.
bool EndToEnd::Click(const QString &control)
{
    const QWidget *widget = m_layout ? m_layout->findChild<QWidget *>(control) : nullptr;
    return widget && ClickAt(widget->mapTo(m_layout.get(), QPoint(6, widget->height() / 2)));
}

bool EndToEnd::ClickRow(int row, int column)
{
    const TListViewEx *list = m_layout->ui->ListViewEx1;
    return ClickAt(list->viewport()->mapTo(m_layout.get(),
                                           list->visualRect(list->model()->index(row, column)).center()));
}

bool EndToEnd::ClickAt(QPoint at)
{
    return XDoTool({"mousemove", "--window", m_window, QString::number(at.x()), QString::number(at.y()),
                    "sleep", "0.1", "click", "1"})
        .has_value();
}

testing::AssertionResult EndToEnd::Close()
{
    return Click("dxToolButton1") ? WaitForExit(0)
                                  : testing::AssertionFailure() << "xdotool could not click the close button";
}

testing::AssertionResult EndToEnd::WaitForExit(int code)
{
    m_program.waitForFinished(LongWaitMs);
    if (m_program.state() == QProcess::NotRunning && m_program.exitStatus() == QProcess::NormalExit &&
        m_program.exitCode() == code)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "exit code " << m_program.exitCode() << ", errors:\n"
                                       << ErrorOutput().toStdString();
}

// Qt names the threads it starts after their class when they have no object name: the extraction
// worker, which writes the files, is the only plain QThread of the program.
testing::AssertionResult EndToEnd::WaitForExtraction(const QDir &folder, const QStringList &names)
{
    if (Poll([&] {
            bool done = true;
            for (const QString &name : names)
                done = done && QFileInfo::exists(folder.filePath(name));
            const QDir tasks(QString("/proc/%1/task").arg(m_program.processId()));
            for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
                QFile comm(tasks.filePath(task + "/comm"));
                done = done && !(comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "QThread");
            }
            return done;
        }))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "no files or no end, errors:\n" << ErrorOutput().toStdString();
}

std::optional<QString> EndToEnd::XDoTool(const QStringList &arguments) const
{
    QProcess client;
    client.start("xdotool", arguments);
    if (client.waitForFinished(15000) && client.exitStatus() == QProcess::NormalExit &&
        client.exitCode() == 0)
        return QString::fromLocal8Bit(client.readAllStandardOutput());
    return std::nullopt; // a client that hangs is killed with its QProcess
}
