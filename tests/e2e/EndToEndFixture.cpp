#include "EndToEndFixture.h"

#include "FormLayout.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>

const QString EndToEnd::MainWindowName = QStringLiteral("^   > QUARLE <");

void EndToEnd::SetUp()
{
    const QStringList missing = XvfbServer::MissingTools();
    if (!missing.isEmpty())
        GTEST_SKIP() << "not installed: " << missing.join(", ").toStdString()
                     << " (scripts/install-deps installs them)";
    QString error;
    ASSERT_TRUE(m_display.Start(&error)) << error.toStdString();
    ASSERT_TRUE(m_programFolder.isValid());
    ASSERT_TRUE(QuarleRun::Install(m_programFolder.path(), &error)) << error.toStdString();
}

QByteArray EndToEnd::IniBytes(const IniValues &v)
{
    const QStringList lines = {"//quarle ini file. non modificare",
                               "[destination dir]",
                               v.dir,
                               "[extraction]",
                               v.format,
                               "[codec MP3]",
                               v.sampleRate,
                               v.bitRate,
                               v.maxBitRate,
                               v.mode,
                               v.quality,
                               "[proxy]",
                               v.proxyHost,
                               v.proxyPort,
                               v.proxyUser,
                               v.proxyPassword};
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += line.toLatin1() + "\r\n";
    return bytes;
}

void EndToEnd::WriteIni(const IniValues &values) const
{
    QFile file(m_programFolder.filePath("quarle.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(IniBytes(values)), IniBytes(values).size());
}

QByteArray EndToEnd::ReadIni() const
{
    QFile file(m_programFolder.filePath("quarle.ini"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

testing::AssertionResult EndToEnd::Launch(std::unique_ptr<QuarleRun> &run, const QString &drives,
                                          QString *window)
{
    run = std::make_unique<QuarleRun>(m_display, m_programFolder.path());
    QString error;
    if (!run->Start(drives, &error))
        return testing::AssertionFailure() << error.toStdString();
    *window = run->WaitForWindow(MainWindowName, LongWaitMs);
    if (window->isEmpty())
        return testing::AssertionFailure() << "no main window; the program "
                                           << (run->Running() ? "still runs" : "ended") << ", its errors:\n"
                                           << run->ErrorOutput().toStdString();
    if (!run->WaitForFocus(*window, LongWaitMs))
        return testing::AssertionFailure() << "the main window never got the focus, errors:\n"
                                           << run->ErrorOutput().toStdString();
    return testing::AssertionSuccess();
}

testing::AssertionResult EndToEnd::CloseWithButton(QuarleRun &run, const QString &window,
                                                   const FormLayout &layout)
{
    if (!run.Click(window, layout.ClickPoint("dxToolButton1")))
        return testing::AssertionFailure() << "xdotool could not click the close button";
    if (!run.WaitForExit(LongWaitMs))
        return testing::AssertionFailure() << "the program still runs after its close button was clicked";
    if (run.ExitCode() != 0)
        return testing::AssertionFailure() << "exit code " << run.ExitCode() << ", errors:\n"
                                           << run.ErrorOutput().toStdString();
    return testing::AssertionSuccess();
}

testing::AssertionResult EndToEnd::WaitForExtraction(QuarleRun &run, const QDir &folder,
                                                     const QStringList &names)
{
    const QDeadlineTimer deadline(LongWaitMs);
    QList<qint64> before;
    while (!deadline.hasExpired()) {
        if (!run.Running())
            return testing::AssertionFailure() << "the program ended during the extraction, errors:\n"
                                               << run.ErrorOutput().toStdString();
        QList<qint64> sizes;
        bool all = true;
        for (const QString &name : names) {
            const QFileInfo file(folder.filePath(name));
            all = all && file.exists();
            sizes << file.size();
        }
        if (all && !run.ExtractionThreadRunning() && sizes == before)
            return testing::AssertionSuccess();
        before = sizes;
        QTest::qWait(250);
    }
    return testing::AssertionFailure()
           << "after " << LongWaitMs / 1000 << " s " << folder.path().toStdString()
           << " holds: " << folder.entryList(QDir::Files, QDir::Name).join(", ").toStdString();
}

QString EndToEnd::Screenshot(const QString &name) const
{
    const QString shots = qEnvironmentVariable("QUARLE_E2E_SHOTS");
    const QString path = QDir(shots.isEmpty() ? m_programFolder.path() : shots).filePath(name);
    return m_display.Screenshot(path) ? path : QString();
}
