// quarle --estrai, the program itself without a display: its exit codes, its lines and the files.
#include "FlacDecode.h"
#include "TestDisc.h"
#include "WavTestFile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace
{

struct Outcome {
    int code = -1;
    QString out, err;
};

// Runs a copy of the program (no settings file beside it) with `arguments` after "--estrai" unless they
// start with another command; `during` is called while it runs.
Outcome run(const QTemporaryDir &bin, const QStringList &arguments,
            const std::function<void(QProcess &)> &during = {})
{
    const bool other = !arguments.isEmpty() && arguments[0] == "--verifica-registro";
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    program.setProcessEnvironment(environment);
    program.start(bin.filePath("quarle"), other ? arguments : QStringList{"--estrai"} + arguments);
    if (!program.waitForStarted())
        return {};
    if (during)
        during(program);
    program.waitForFinished(120000);
    return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
            QString::fromUtf8(program.readAllStandardOutput()),
            QString::fromUtf8(program.readAllStandardError())};
}

} // namespace

// A rip of chosen tracks gives their files, one line each and the summary, and exit code 0; the same
// again finds them in the way and replaces nothing (1) unless told to; bad arguments and a missing drive
// give 2; Ctrl-C interrupts the track in progress (named by --nomi), writes the log and gives 1.
TEST(CommandLine, ExitCodesLinesAndFiles)
{
    const std::vector<DiscTrack> tracks = {DiscTrack::tone(150, 440), DiscTrack::data(150),
                                           DiscTrack::tone(75, 660), DiscTrack::music(4500, 220)};
    TestDisc disc(tracks);
    QTemporaryDir bin, out;
    ASSERT_TRUE(QFile::copy(QUARLE_PROGRAM, bin.filePath("quarle")));
    const QString folder = out.path() + "/";

    Outcome o = run(bin, {"--formato", "flac", "--cartella", folder, "--tracce", "2,1"});
    EXPECT_EQ(o.code, 0) << o.err.toStdString();
    // No CTDB disc: audio after a data track, which the database's discs never have.
    EXPECT_EQ(o.out.toStdString(),
              "Track 01.flac  Traccia 01 AccurateRip: non raggiungibile, CTDB: non verificabile\n"
              "Track 03.flac  Traccia 03 AccurateRip: non raggiungibile, CTDB: non verificabile\n"
              "Tracce complete: 2 di 2\n"
              "Estrazione completata: 2 tracce, non verificata\n");
    EXPECT_EQ(DecodeFlac(out.filePath("Track 03.flac")).size(), 75u * 588 * 2);
    const QByteArray first = WavTestFile::Read(out.filePath("Track 01.flac"));

    o = run(bin, {"--formato", "flac", "--cartella", folder, "--tracce", "1"});
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(o.err.contains(out.filePath("Track 01.flac")) && o.out == "Tracce complete: 0 di 1\n")
        << o.err.toStdString() << o.out.toStdString();
    EXPECT_TRUE(WavTestFile::Read(out.filePath("Track 01.flac")) == first);
    EXPECT_EQ(run(bin, {"--formato", "flac", "--cartella", folder, "--tracce", "1", "--sostituisci"}).code,
              0);

    for (const QStringList &bad : {QStringList{"--tracce", "4"},
                                   {"--tracce", "1-"},
                                   {"--formato", "ogg"},
                                   {"--lettore", "Z"},
                                   {"--cartella", out.filePath("none")},
                                   {"--nomi", ""},
                                   {"extra"}})
        EXPECT_EQ(run(bin, bad).code, 2) << bad.join(' ').toStdString();
    TestDisc::setDrives("");
    EXPECT_EQ(run(bin, {}).code, 2);
    TestDisc::setDrives(disc.driveEntry());

    // Stopped while the long track's new file is written.
    QTemporaryDir stopped;
    o = run(
        bin, {"--formato", "flac", "--cartella", stopped.path(), "--tracce", "3", "--nomi", "%N - %T"},
        [&](QProcess &program) {
            EXPECT_TRUE(QTest::qWaitFor([&] {
                return !QDir(stopped.path()).entryList({".quarle-*"}, QDir::Hidden | QDir::Files).isEmpty();
            }));
            ::kill(pid_t(program.processId()), SIGINT);
        });
    EXPECT_EQ(o.code, 1) << o.err.toStdString();
    EXPECT_EQ(o.out.toStdString(), "03 - Track 04.flac  Traccia 04 interrotta\nTracce complete: 0 di 1\n"
                                   "Estrazione interrotta: 1 traccia, non verificata, 1 annullata\n");
    const QByteArray logged = WavTestFile::Read(stopped.filePath("QUARLE.log"));
    EXPECT_TRUE(logged.contains("Traccia 04  03 - Track 04.flac  interrotta"));

    // The log's signature, its text and exit code as a script sees them; a file that cannot be read is no
    // verdict.
    const QString altered = stopped.filePath("altered.log");
    ASSERT_TRUE(WavTestFile::Write(altered, QByteArray(logged).replace("interrotta", "completata")));
    const struct {
        QString file;
        int code;
        const char *out;
    } checks[] = {{stopped.filePath("QUARLE.log"), 0, "registro integro\n"},
                  {altered, 1, "registro alterato\n"},
                  {QUARLE_LSAN_SUPPRESSIONS, 2, "registro senza firma\n"},
                  {stopped.filePath("none.log"), 2, ""},
                  {"/dev/zero", 2, ""},
                  {"/proc/self/mem", 2, ""},
                  {stopped.path(), 2, ""}};
    for (const auto &check : checks) {
        o = run(bin, {"--verifica-registro", check.file});
        EXPECT_EQ(o.code, check.code) << check.file.toStdString();
        EXPECT_EQ(o.out.toStdString(), check.out) << check.file.toStdString();
        EXPECT_EQ(o.err.isEmpty(), check.code != 2 || *check.out) << o.err.toStdString();
    }
    EXPECT_TRUE(o.err.contains(std::strerror(EISDIR))) << o.err.toStdString();
}
