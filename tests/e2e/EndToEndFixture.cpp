#include "EndToEndFixture.h"

#include "app/ListViewEx.h"
#include "app/MainForm.h"
#include "app/MainFormUi.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QRadioButton>
#include <QStandardPaths>
#include <QStyleOptionButton>
#include <QTest>

const QString EndToEnd::MainWindow = "^   > QUARLE <";

namespace
{

void Stop(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.kill();
    process.waitForFinished(10000);
}

} // namespace

EndToEnd::EndToEnd() = default;

EndToEnd::~EndToEnd()
{
    Stop(m_program);
    Stop(m_xvfb);
}

// A display number is taken only when neither its lock file nor its socket is there, so a server still
// shutting down keeps its number; two tests that pick one number meet at the lock and the loser tries
// the next.
void EndToEnd::SetUp()
{
    for (const char *tool : {"Xvfb", "xdotool"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            GTEST_SKIP() << tool << " is not installed (scripts/install-deps installs it)";
    }
    QString log;
    const int first = int(QCoreApplication::applicationPid() % 100);
    for (int attempt = 0; attempt < 100 && m_display.isEmpty(); ++attempt) {
        const int number = 90 + (first + attempt) % 200;
        if (!QFile::exists(QString("/tmp/.X%1-lock").arg(number)) &&
            !QFile::exists(QString("/tmp/.X11-unix/X%1").arg(number)))
            StartDisplay(number, &log);
    }
    ASSERT_FALSE(m_display.isEmpty()) << "no Xvfb display could be started:\n" << log.toStdString();
    QFile program(QUARLE_PROGRAM);
    ASSERT_TRUE(program.copy(m_folder.filePath("quarle"))) << program.errorString().toStdString();
}

// -displayfd tells when the server listens. Without -noreset it resets whenever its last client
// leaves (each xdotool call is one) and turns away a client that connects meanwhile.
bool EndToEnd::StartDisplay(int number, QString *log)
{
    m_xvfb.start("Xvfb", {QString(":%1").arg(number), "-displayfd", "1", "-screen", "0", "1024x768x24",
                          "-nolisten", "tcp", "-noreset"});
    QByteArray announced;
    const QDeadlineTimer deadline(30000);
    while (!announced.contains('\n') && m_xvfb.waitForStarted(10000) && !deadline.hasExpired()) {
        m_xvfb.waitForReadyRead(200);
        announced += m_xvfb.readAllStandardOutput();
    }
    m_display = QString(":%1").arg(number);
    while (announced.trimmed() == QByteArray::number(number) && m_xvfb.state() == QProcess::Running &&
           !deadline.hasExpired()) {
        if (XDoTool({"getdisplaygeometry"}))
            return true;
        QTest::qWait(100);
    }
    Stop(m_xvfb);
    *log += m_display + ": " + m_xvfb.errorString() + " " +
            QString::fromLocal8Bit(m_xvfb.readAllStandardError()) + "\n";
    m_display.clear();
    return false;
}

QByteArray EndToEnd::IniBytes(const IniValues &v)
{
    QByteArray bytes;
    for (const QString &line :
         {QString("//quarle ini file. non modificare"), QString("[destination dir]"), v.dir,
          QString("[extraction]"), v.format, QString("[codec MP3]"), v.sampleRate, v.bitRate, v.maxBitRate,
          v.mode, v.quality, QString("[proxy]"), v.proxyHost, v.proxyPort, v.proxyUser, v.proxyPassword})
        bytes += line.toLatin1() + "\r\n";
    return bytes;
}

void EndToEnd::WriteIni(const IniValues &values) const
{
    QFile file(m_folder.filePath("quarle.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(IniBytes(values)), IniBytes(values).size());
}

QByteArray EndToEnd::ReadIni() const
{
    QFile file(m_folder.filePath("quarle.ini"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

testing::AssertionResult EndToEnd::Start(const QString &drives)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", m_display);
    environment.insert("QT_QPA_PLATFORM", "xcb");
    environment.insert("QUARLE_DRIVES", drives);
    // The clicks aim at the layout of an unscaled screen.
    for (const char *scaling : {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_ENABLE_HIGHDPI_SCALING",
                                "QT_FONT_DPI", "QT_STYLE_OVERRIDE", "QT_QPA_PLATFORMTHEME"})
        environment.remove(scaling);
    QDir(Folder()).mkdir("run");
    QFile::setPermissions(m_folder.filePath("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    environment.insert("XDG_RUNTIME_DIR", m_folder.filePath("run"));
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
        // An error box would wait off screen for a click that never comes: keep the message instead.
        QString error;
        const auto saved = TDlgMainForm::showError;
        TDlgMainForm::showError = [&error](QWidget *, const QString &message) { error += message; };
        m_layout = TDlgMainForm::CreateMainForm();
        if (m_layout) {
            m_layout->show();
            m_layout->Guarded([this] { m_layout->ActivateOnce(); });
        }
        TDlgMainForm::showError = saved;
        if (!m_layout || !error.isEmpty())
            return testing::AssertionFailure()
                   << "the window cannot be laid out here: " << error.toStdString();
    }
    if (testing::AssertionResult started = Start(drives); !started)
        return started;
    m_window = WaitForWindow(MainWindow);
    // The server queues the focus change before any input sent after it.
    const QDeadlineTimer deadline(LongWaitMs);
    while (!m_window.isEmpty() && !deadline.hasExpired() && m_program.state() == QProcess::Running) {
        if (XDoTool({"getwindowfocus", "-f"}).value_or("").trimmed() == m_window)
            return testing::AssertionSuccess();
        QTest::qWait(50);
    }
    return testing::AssertionFailure() << "no main window with the focus, errors:\n"
                                       << ErrorOutput().toStdString();
}

QString EndToEnd::WaitForWindow(const QString &pattern)
{
    const QDeadlineTimer deadline(LongWaitMs);
    while (!deadline.hasExpired() && m_program.state() != QProcess::NotRunning) {
        const QString found = XDoTool({"search", "--onlyvisible", "--name", pattern}).value_or("").trimmed();
        if (!found.isEmpty())
            return found.section('\n', 0, 0);
        QTest::qWait(100);
    }
    return {};
}

QPoint EndToEnd::Centre(const QString &control) const
{
    const QWidget *widget = m_layout ? m_layout->findChild<QWidget *>(control) : nullptr;
    if (!widget)
        return {-1, -1};
    QRect target = widget->rect();
    if (const auto *radio = qobject_cast<const QRadioButton *>(widget)) {
        // A radio button answers a press on its indicator and label only.
        QStyleOptionButton option;
        option.initFrom(radio);
        option.text = radio->text();
        target = radio->style()->subElementRect(QStyle::SE_RadioButtonClickRect, &option, radio);
    }
    return widget->mapTo(m_layout.get(), target.center());
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
    if (!Click("dxToolButton1"))
        return testing::AssertionFailure() << "xdotool could not click the close button";
    return WaitForExit(0);
}

testing::AssertionResult EndToEnd::WaitForExit(int code)
{
    const QDeadlineTimer deadline(LongWaitMs);
    while (m_program.state() != QProcess::NotRunning && !deadline.hasExpired())
        QTest::qWait(50);
    const bool exited =
        m_program.state() == QProcess::NotRunning && m_program.exitStatus() == QProcess::NormalExit;
    if (exited && m_program.exitCode() == code)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << (exited ? "exit code " + std::to_string(m_program.exitCode())
                                                  : std::string("still running or crashed"))
                                       << ", errors:\n"
                                       << ErrorOutput().toStdString();
}

// Qt names the threads it starts after their class when they have no object name: the extraction
// worker is the only plain QThread of the program.
testing::AssertionResult EndToEnd::WaitForExtraction(const QDir &folder, const QStringList &names)
{
    const QDeadlineTimer deadline(LongWaitMs);
    QList<qint64> before;
    while (!deadline.hasExpired() && m_program.state() == QProcess::Running) {
        QList<qint64> sizes;
        for (const QString &name : names)
            sizes << (QFileInfo::exists(folder.filePath(name)) ? QFileInfo(folder.filePath(name)).size()
                                                               : -1);
        bool worker = false;
        const QDir tasks(QString("/proc/%1/task").arg(m_program.processId()));
        for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile comm(tasks.filePath(task + "/comm"));
            worker = worker || (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "QThread");
        }
        if (!sizes.contains(-1) && !worker && sizes == before)
            return testing::AssertionSuccess();
        before = sizes;
        QTest::qWait(250);
    }
    return testing::AssertionFailure()
           << folder.path().toStdString() << " holds "
           << folder.entryList(QDir::Files).join(", ").toStdString() << "; errors:\n"
           << ErrorOutput().toStdString();
}

std::optional<QString> EndToEnd::XDoTool(const QStringList &arguments) const
{
    QProcess client;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", m_display);
    environment.remove("XAUTHORITY");
    client.setProcessEnvironment(environment);
    client.start("xdotool", arguments);
    if (!client.waitForFinished(15000)) {
        Stop(client);
        return std::nullopt;
    }
    if (client.exitStatus() != QProcess::NormalExit || client.exitCode() != 0)
        return std::nullopt;
    return QString::fromLocal8Bit(client.readAllStandardOutput());
}

QString EndToEnd::ErrorOutput()
{
    m_errors += QString::fromLocal8Bit(m_program.readAllStandardError());
    return m_errors;
}
