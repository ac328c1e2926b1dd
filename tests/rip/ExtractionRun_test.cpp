// The extraction run without a window, over the scripted CD-reading library: what each track's end
// leaves on the disk, in the events and in the log.
#include "rip/ExtractionRun.h"

#include "FakeCdRip.h"
#include "Id3Read.h"
#include "Mp3Decode.h"
#include "disc/AccurateRip.h"
#include "disc/Quarle.h"
#include "encoder/MP3Coder.h"

#include <QDir>
#include <QRegularExpression>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <taglib/flacfile.h>
#include <taglib/tpropertymap.h>

#include <array>
#include <csignal>
#include <map>
#include <sys/resource.h>
#include <zlib.h>

namespace
{

// Two audio tracks of 12 sectors, three chunks of 4 sectors each; the run's tracks as they finish.
struct FakeRun {
    FakeCdRip fake;
    TMP3Coder coder;
    std::unique_ptr<TQuarle> quarle;
    QTemporaryDir out;
    std::vector<TTrackReport> finished;
    std::optional<TRunReport> report;

    FakeRun()
    {
        fake.drives = {FakeCdRip::record("FAKE")};
        fake.toc = {FakeCdRip::entry(0, 0x10), FakeCdRip::entry(12, 0x10), FakeCdRip::entry(24, 0)};
        quarle = std::make_unique<TQuarle>(nullptr, fake.api());
        quarle->setActiveCdRomNum(0);
        quarle->setCoder(&coder);
    }

    TExtractionPlan Plan(int format) const
    {
        TExtractionPlan plan;
        plan.format = std::array{AudioFormat::Mp3, AudioFormat::Wav, AudioFormat::Flac}[size_t(format)];
        plan.coder = {"44100", "128", "320", 0, 0};
        plan.folder = out.path() + "/";
        for (int i : {0, 1}) {
            Mp3TagFields tags;
            tags.title = QString("Track 0%1").arg(i + 1);
            tags.isrc = QString("ITA01230000%1").arg(i + 1);
            tags.barcode = "8012345678901";
            plan.rows.push_back({i, uint16_t(i + 1), tags.title, tags.title, {}, tags});
        }
        NameFiles(plan, false);
        return plan;
    }

    // Runs the plan to its end; with cancelFirst, "Annulla" comes as track 1 begins (on the worker).
    void Run(TExtractionRun &run, bool cancelFirst = false)
    {
        QObject::connect(&run, &TExtractionRun::TrackStarted, [&] {
            if (cancelFirst && finished.empty())
                run.CancelTrack();
        });
        // Track 2 is read without a fault, whatever was scripted for track 1.
        QObject::connect(&run, &TExtractionRun::TrackFinished, [&](const TTrackReport &r) {
            finished.push_back(r);
            fake.chunkResults = {CR_OK, CR_OK};
            fake.chunkFill.clear();
            fake.onChunk = nullptr;
        });
        // A verdict that comes after its track replaces the text the track ended with.
        QObject::connect(&run, &TExtractionRun::TrackVerified, [&](const TTrackReport &r) {
            for (TTrackReport &track : finished) {
                track.status = track.row == r.row ? r.status : track.status;
                track.result = track.row == r.row ? r.result : track.result;
            }
        });
        QObject::connect(&run, &TExtractionRun::Finished, [&](const TRunReport &r) { report = r; });
        run.Start();
        run.Wait();
    }
};

TExtractionRun::Fetch answer(TFetchedFile fetch)
{
    return [fetch](THttpCli &, const ProxySettings &, const QString &, qint64) { return fetch; };
}

// The database's file for the fake disc: one pressing whose track 1 has the checksum v1 (confidence 5)
// and whose track 2 matches nothing.
TFetchedFile fileWith(uint32_t v1)
{
    const TAccurateRipId disc = AccurateRipDiscId({{0, true}, {12, true}}, 24);
    QByteArray file(1, char(2));
    const auto put32 = [&file](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            file += char(v >> (8 * i));
    };
    for (uint32_t v : {disc.id1, disc.id2, disc.cddb})
        put32(v);
    for (uint32_t crc : {v1, 0u}) {
        file += char(5);
        put32(crc);
        put32(0);
    }
    return {TFetchedFile::Found, file};
}

} // namespace

// One row per way a track can end. The file keeps what was read (a failed chunk as silence of its
// length, every later sample in its place), the row is done only when the track is complete, and the
// status line and the log say how it ended, never "accurata" for a track with silence in it; the run
// goes on after a cancel and ends after a failure or a stop. The database knows the WAV rows' disc,
// with the checksums of track 1 as this row reads it, and has no file for the MP3 rows' disc.
TEST(ExtractionRun, EachTrackEndsWithItsOwnOutcome)
{
    enum Act { None, CancelAtBegin, CancelMid, StopMid, FullDisk, TagTooLarge, LinkAtName, LinkPlanted };
    const qint64 wav = 44 + 12 * 2352;
    // The fake disc's tracks of 12 sectors are too short for the CTDB's check.
    const QString ctdb = "  CTDB: non verificabile", errors = "  errori di jitter 0";
    const std::vector<int32_t> failedEnd = {CR_OK, CR_OK, CR_ERROR};
    const struct {
        const char *name;
        int format;
        Act act;
        std::vector<int32_t> results, fill; // of track 1's chunks
        qint64 length;                      // of track 1's file: bytes of a WAV, frames of an MP3
        TTrackOutcome::Kind kind;
        QString status, log; // the log line's text after "<file>  CRC v1 ... v2 ...  ", or after "<file>  "
    } rows[] = {
        // clang-format off
        {"complete", 1, None, {}, {}, wav, TTrackOutcome::Complete,
         "Traccia 01 AccurateRip: accurata (fiducia 5)", "AccurateRip: accurata (fiducia 5)" + ctdb + errors},
        {"mp3", 0, None, {}, {}, 12 * 588, TTrackOutcome::Complete,
         "Traccia 01 AccurateRip: disco assente", "AccurateRip: disco assente" + ctdb + errors},
        {"cancel as it begins", 1, CancelAtBegin, {}, {}, 44, TTrackOutcome::Cancelled,
         "Traccia 01 annullata", "annullata" + errors},
        {"cancel mid-track", 1, CancelMid, {}, {}, 44 + 2 * 9408, TTrackOutcome::Cancelled,
         "Traccia 01 annullata", "annullata" + errors},
        // A cancelled MP3 holds the encoder's whole calls of 1152 samples.
        {"cancel mid-track, mp3", 0, CancelMid, {}, {}, 4 * 1152, TTrackOutcome::Cancelled,
         "Traccia 01 annullata", "annullata" + errors},
        {"failed chunk mid-track", 1, None, {CR_OK, CR_ERROR}, {}, wav, TTrackOutcome::ReadErrors,
         "Traccia 01 AccurateRip: non accurata, CTDB: non verificabile, settori illeggibili 4",
         "AccurateRip: non accurata  CTDB: non verificabile  settori illeggibili 4" + errors},
        {"failed last chunk", 1, None, failedEnd, {9408, 9408, 0, 0}, wav, TTrackOutcome::ReadErrors,
         "Traccia 01 AccurateRip: non accurata, CTDB: non verificabile, settori illeggibili 4",
         "AccurateRip: non accurata  CTDB: non verificabile  settori illeggibili 4" + errors},
        {"failing library", 1, None, std::vector<int32_t>(20, CR_ERROR), {}, wav, TTrackOutcome::ReadErrors,
         "Traccia 01 AccurateRip: non accurata, CTDB: non verificabile, settori illeggibili 12",
         "AccurateRip: non accurata  CTDB: non verificabile  settori illeggibili 12" + errors},
        {"stop mid-track", 1, StopMid, {}, {}, 44 + 2 * 9408, TTrackOutcome::Interrupted,
         "Traccia 01 interrotta", "interrotta" + errors},
        {"full disk", 1, FullDisk, {}, {}, -1, TTrackOutcome::Failed, "Write error", "fallita: Write error"},
        {"link at the name, flac", 2, LinkAtName, {}, {}, -1, TTrackOutcome::Complete,
         "Traccia 01 AccurateRip: accurata (fiducia 5)", "AccurateRip: accurata (fiducia 5)" + ctdb + errors},
        {"links planted during the run", 1, LinkPlanted, {}, {}, wav, TTrackOutcome::Complete,
         "Traccia 01 AccurateRip: accurata (fiducia 5)", "AccurateRip: accurata (fiducia 5)" + ctdb + errors},
        {"full disk, flac", 2, FullDisk, {}, {}, -1, TTrackOutcome::Failed, "Cannot write", "fallita: Cannot write"},
        {"full disk while tagging", 0, TagTooLarge, {}, {}, -1, TTrackOutcome::Failed,
         "Cannot write the tag of", "fallita: Cannot write the tag of"},
        // clang-format on
    };
    std::signal(SIGXFSZ, SIG_IGN);
    qint64 taggedMp3 = 0; // the complete MP3 row's file
    // A file outside the folder, which links at the run's names point to.
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath("target");
    const QByteArray targetBytes = "someone else's file", old = "the user's old file";
    QFile targetFile(target);
    ASSERT_TRUE(targetFile.open(QIODevice::WriteOnly) && targetFile.write(targetBytes) == targetBytes.size());
    targetFile.close();
    for (const auto &row : rows) {
        FakeRun r;
        const QString ext = QStringList{".mp3", ".wav", ".flac"}[row.format];
        const QString file = r.out.filePath("Track 01" + ext);
        r.fake.chunkResults = row.results.empty() ? std::vector<int32_t>{CR_OK, CR_OK} : row.results;
        r.fake.chunkFill = row.fill;
        // Track 1 as this row reads it to its end: chunk k's bytes are k + 1, a failed one's silence.
        QByteArray samples;
        for (size_t k = 0; k < 3; ++k) {
            const bool failed = k < row.results.size() && row.results[k] == CR_ERROR;
            samples += QByteArray(9408, char(failed ? 0 : k + 1));
        }
        TAccurateRipChecksum sum;
        sum.Start(12 * 588, true, false);
        sum.Add(reinterpret_cast<const uint8_t *>(samples.constData()), 12 * 588, 0);
        TExtractionRun run(*r.quarle, r.coder, r.Plan(row.format),
                           answer(row.format ? fileWith(sum.V1()) : TFetchedFile{TFetchedFile::Absent, {}}));
        r.fake.onChunk = [&](size_t i) {
            if (i == 1 && row.act == CancelMid)
                run.CancelTrack();
            if (i == 1 && row.act == StopMid)
                run.Stop();
            // In a folder shared with someone else, while the first track is read.
            for (const char *name : {"Track 02.wav", "Track 02jitt", "QUARLE.log"})
                ASSERT_TRUE(i != 1 || row.act != LinkPlanted || QFile::link(target, r.out.filePath(name)));
        };
        const bool oldFile = row.act == FullDisk || row.act == TagTooLarge;
        if (oldFile) {
            QFile there(file);
            ASSERT_TRUE(there.open(QIODevice::WriteOnly) && there.write(old) == old.size());
        }
        ASSERT_TRUE(row.act != LinkAtName || QFile::link(target, file));
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        if (oldFile) {
            // Room for the audio but not for the tagged copy, or not even for the audio.
            rlimit small = saved;
            small.rlim_cur = rlim_t(row.act == TagTooLarge ? taggedMp3 - 1 : 4000);
            setrlimit(RLIMIT_FSIZE, &small);
        }
        r.Run(run, row.act == CancelAtBegin);
        setrlimit(RLIMIT_FSIZE, &saved);

        const bool goesOn = row.kind != TTrackOutcome::Failed && row.act != StopMid;
        ASSERT_EQ(r.finished.size(), goesOn ? 2u : 1u) << row.name;
        EXPECT_EQ(r.finished[0].outcome.kind, row.kind) << row.name;
        EXPECT_TRUE(r.finished[0].status.startsWith(row.status))
            << row.name << ": " << r.finished[0].status.toStdString();
        EXPECT_TRUE(!goesOn || r.finished[1].outcome.kind == TTrackOutcome::Complete) << row.name;
        ASSERT_TRUE(r.report) << row.name;
        const auto bytesOf = [](const QString &path) {
            QFile f(path);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        // A failure keeps the old file and says the system's reason, by the file's own name; a link at a
        // name is replaced, its target untouched.
        if (oldFile) {
            EXPECT_TRUE(bytesOf(file) == old) << row.name;
            EXPECT_TRUE(r.finished[0].status.endsWith("(File too large)") &&
                        !r.finished[0].status.contains(".quarle"))
                << row.name << ": " << r.finished[0].status.toStdString();
        }
        EXPECT_TRUE(bytesOf(target) == targetBytes) << row.name;
        for (const char *name : {"Track 01", "Track 02", "QUARLE.log"})
            EXPECT_FALSE(QFileInfo(r.out.filePath(name + (name[0] == 'T' ? ext : ""))).isSymLink())
                << row.name;
        EXPECT_EQ(QDir(r.out.path()).entryList(QDir::Hidden | QDir::Files).filter(".quarle"), QStringList());
        EXPECT_TRUE(row.act != LinkPlanted || bytesOf(r.out.filePath("Track 02.wav")).size() == wav);

        EXPECT_EQ(r.report->failure.isEmpty(), row.kind != TTrackOutcome::Failed) << row.name;
        QFile logFile(r.out.filePath("QUARLE.log"));
        ASSERT_TRUE(logFile.open(QIODevice::ReadOnly)) << row.name;
        const QStringList log = QString::fromUtf8(logFile.readAll()).split('\n');
        // (A stop may come before the database's answer, and then the log says it never came.)
        if (row.act != StopMid) {
            EXPECT_EQ(log.value(0), row.format
                                        ? "QUARLE - estrazione verificata con AccurateRip"
                                        : "QUARLE - estrazione non verificata: disco assente da AccurateRip");
        }
        const QString prefix = "Traccia 01  Track 01" + ext + "  ";
        const QStringList logged = log.filter(prefix);
        ASSERT_EQ(logged.size(), 1) << row.name;
        const bool sums = row.kind == TTrackOutcome::Complete || row.kind == TTrackOutcome::ReadErrors;
        EXPECT_TRUE(logged[0].startsWith(prefix + (sums ? "CRC v1 " : row.log)) &&
                    logged[0].contains(row.log))
            << row.name << ": " << logged[0].toStdString();
        if (row.length >= 0 && row.format == 1) {
            QFile wavFile(file);
            ASSERT_TRUE(wavFile.open(QIODevice::ReadOnly));
            const QByteArray bytes = wavFile.readAll();
            EXPECT_EQ(bytes.size(), row.length) << row.name;
            const qint64 declared = qint64(uint8_t(bytes[40])) | qint64(uint8_t(bytes[41])) << 8 |
                                    qint64(uint8_t(bytes[42])) << 16;
            EXPECT_EQ(declared, row.length - 44) << row.name << ": the header tells the samples written";
            if (row.length == wav) {
                EXPECT_TRUE(bytes.mid(44) == samples) << row.name;
            }
        } else if (row.length >= 0) {
            EXPECT_EQ(DecodeMp3(file).frames(), size_t(row.length)) << row.name;
            // Only a whole track is tagged.
            EXPECT_EQ(ReadId3Frames(file).empty(), row.kind != TTrackOutcome::Complete) << row.name;
        } else if (row.format == 2 && row.kind == TTrackOutcome::Complete) {
            const TagLib::PropertyMap comments =
                TagLib::FLAC::File(QFile::encodeName(file).constData()).properties();
            EXPECT_EQ(comments["ISRC"].toString().to8Bit() + " " + comments["BARCODE"].toString().to8Bit(),
                      "ITA012300001 8012345678901");
        }
        if (row.act == None && row.format == 0)
            taggedMp3 = QFile(file).size();
    }
}

// Before a second rip into one folder, the files it would write that are there (audio, jitter files, the
// log) are named; keeping both gives every new file a name of its own, a track whose jitter file alone
// is there too, and leaves the first rip's files byte for byte.
TEST(ExtractionRun, FilesOfTheFolderAreKnownBeforeAnythingIsWritten)
{
    FakeRun r;
    r.fake.chunkResults = {CR_OK, CR_JITTER};
    const auto contents = [&] {
        std::map<QString, QByteArray> files;
        for (const QString &name : QDir(r.out.path()).entryList(QDir::Files)) {
            QFile file(r.out.filePath(name));
            files[name] = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }
        return files;
    };
    const TExtractionPlan first = r.Plan(1);
    EXPECT_TRUE(ExistingFiles(first).isEmpty());
    TExtractionRun run(*r.quarle, r.coder, first, answer({}));
    r.Run(run);
    ASSERT_TRUE(QFile::remove(r.out.filePath("Track 02.wav")));
    const std::map<QString, QByteArray> before = contents();

    TExtractionPlan again = r.Plan(1);
    QStringList there;
    for (const char *name : {"Track 01.wav", "Track 01jitt", "Track 02jitt", "QUARLE.log", "QUARLE.cue"})
        there << r.out.filePath(name);
    EXPECT_EQ(ExistingFiles(again), there);
    NameFiles(again, true);
    EXPECT_TRUE(ExistingFiles(again).isEmpty());
    TExtractionRun second(*r.quarle, r.coder, again, answer({}));
    r.Run(second);
    std::map<QString, QByteArray> after = contents();
    for (const auto &[name, bytes] : before)
        EXPECT_TRUE(after[name] == bytes) << name.toStdString();
    for (const char *name : {"Track 01 (2).wav", "Track 01 (2)jitt", "Track 02 (2).wav", "QUARLE (2).log",
                             "QUARLE (2).cue"})
        EXPECT_EQ(after.count(name), 1u) << name;
}

// "Prova e copia": track 1 read as each row scripts it, a read's samples told by the byte its chunks
// start from. The file holds a read that another read gave too, whichever reads those were, and the log
// tells the CRC-32 of the file's own samples; reads stop once two agree, or after five; a cancel during
// the test read writes nothing, and the log still finds the first track's folder (a folder a track here,
// which the cue sheet beside the log follows).
TEST(ExtractionRun, TestAndCopyKeepsAReadThatAnotherConfirms)
{
    const struct {
        const char *name;
        std::vector<int> reads; // the first chunk's byte in each read of track 1
        bool cancelTest;
        int opens;        // reads of track 1
        int fileRead;     // the read the file holds (index into reads); -1 for no file
        QString verdict;  // how the log's line ends
    } rows[] = {
        {"agree at once", {1, 1}, false, 2, 1, "copia confermata"},
        {"the copy differs, a third read agrees with the test", {1, 2, 1}, false, 3, 2, "copia confermata"},
        {"never agree", {1, 2, 3, 4, 5, 6}, false, 5, 4, "copie diverse (5 letture)"},
        {"cancel during the test read", {1}, true, 1, -1, "annullata  errori di jitter 0"},
    };
    for (const auto &row : rows) {
        FakeRun r;
        TExtractionPlan plan = r.Plan(1);
        plan.testAndCopy = true;
        plan.namePattern = "%T/%N";
        NameFiles(plan, false);
        TExtractionRun run(*r.quarle, r.coder, plan, answer({}));
        int opens = 0;
        r.fake.chunkResults = {CR_OK, CR_OK};
        r.fake.onChunk = [&](size_t i) {
            if (i == 0 && !r.finished.size())
                r.fake.fillBase = row.reads[size_t(std::min<int>(opens++, int(row.reads.size()) - 1))];
            if (i == 1 && row.cancelTest)
                run.CancelTrack();
        };
        r.Run(run);
        ASSERT_EQ(r.finished.size(), 2u) << row.name;
        EXPECT_EQ(opens, row.opens) << row.name;
        QFile file(r.out.filePath("Track 01/01.wav"));
        EXPECT_EQ(file.exists(), row.fileRead >= 0) << row.name;
        QFile logFile(r.out.filePath("Track 01/QUARLE.log"));
        ASSERT_TRUE(logFile.open(QIODevice::ReadOnly)) << row.name;
        const QString log = QString::fromUtf8(logFile.readAll());
        const QStringList line = log.split('\n').filter("Traccia 01  ");
        ASSERT_EQ(line.size(), 1) << row.name;
        EXPECT_TRUE(line[0].endsWith(row.verdict)) << row.name << ": " << line[0].toStdString();
        const auto crcText = [](const QByteArray &bytes) {
            return QString("%1").arg(crc32_z(0, reinterpret_cast<const Bytef *>(bytes.constData()), size_t(bytes.size())),
                                     8, 16, QChar('0')).toUpper();
        };
        // The cue sheet, beside the log, finds track 2 in its own folder.
        QFile cue(r.out.filePath("Track 01/QUARLE.cue"));
        const bool sheet =
            cue.open(QIODevice::ReadOnly) && cue.readAll().contains("FILE \"../Track 02/02.wav\"");
        EXPECT_TRUE(row.cancelTest || sheet) << row.name;
        if (row.fileRead < 0)
            continue;
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray samples = file.readAll().mid(44);
        QByteArray expected, test;
        for (int k = 0; k < 3; ++k) {
            expected += QByteArray(9408, char(row.reads[size_t(row.fileRead)] + k));
            test += QByteArray(9408, char(row.reads[0] + k));
        }
        EXPECT_TRUE(samples == expected) << row.name;
        EXPECT_TRUE(line[0].contains("CRC di prova " + crcText(test) + "  CRC di copia " + crcText(samples)))
            << row.name << ": " << line[0].toStdString();
        // Track 2, read alike twice, is confirmed at once.
        EXPECT_TRUE(log.contains(QRegularExpression("Traccia 02 .* copia confermata\n"))) << row.name;
    }
}

// The CUETools database's verdicts beside AccurateRip's (which lacks the disc here), on a disc of two
// tracks of 42 sectors whose reads give the CRCs computed here from the samples: every matching entry's
// confidence counts; a track the entries do not hold is not accurate while the other stays so; a track
// with read errors is never accurate, and leaves the whole disc unchecked; a 404 or no answer say so.
// A track either database confirms counts as accurate. The lookup asks for the disc's own toc.
TEST(ExtractionRun, CtdbVerdictsComeBesideAccurateRips)
{
    enum Answer { Found, Partial, ReadErrors, Absent, Unreachable };
    const struct {
        const char *name;
        Answer answer;
        QString track1, track2, disc, summary; // the CTDB's verdicts, the log's summary
        QString results;
    } rows[] = {
        {"found", Found, "accurata (fiducia 5)", "accurata (fiducia 5)", "accurata (fiducia 5)",
         "2 complete, 2 accurate", "accurata accurata"},
        {"partial", Partial, "accurata (fiducia 3)", "non accurata", "non accurata", "2 complete, 1 accurate",
         "accurata non accurata"},
        {"read errors", ReadErrors, "non accurata", "accurata (fiducia 3)",
         "non verificabile (disco non estratto per intero)", "1 complete, 1 accurate", "errori accurata"},
        {"absent", Absent, "disco assente", "disco assente", "disco assente", "2 complete, 0 accurate",
         "non verificata non verificata"},
        {"unreachable", Unreachable, "non raggiungibile", "non raggiungibile", "non raggiungibile",
         "2 complete, 0 accurate", "non verificata non verificata"},
    };
    const auto crcOf = [](const QByteArray &bytes) {
        return uint32_t(crc32_z(0, reinterpret_cast<const Bytef *>(bytes.constData()), size_t(bytes.size())));
    };
    const int chunk = 14 * 2352;
    for (const auto &row : rows) {
        FakeRun r;
        r.fake.toc = {FakeCdRip::entry(0, 0x10), FakeCdRip::entry(42, 0x10), FakeCdRip::entry(84, 0)};
        r.fake.chunkBytes = chunk;
        r.quarle->RefreshTOC();
        r.fake.chunkResults = {CR_OK, row.answer == ReadErrors ? CR_ERROR : CR_OK};
        // Each track's chunks filled with 1, 2, 3 and 7, 8, 9; a failed chunk is silence.
        QByteArray track1, track2;
        for (char k = 0; k < 3; ++k) {
            track1 += QByteArray(chunk, row.answer == ReadErrors && k == 1 ? 0 : char(1 + k));
            track2 += QByteArray(chunk, char(7 + k));
        }
        // The database leaves out the disc's first 10 sectors and, of its 84, its last 14.
        const QByteArray first = track1.mid(10 * 2352), second = track2.left(28 * 2352);
        const uint32_t t1 = crcOf(first), t2 = crcOf(second), disc = crcOf(first + second);
        const auto entry = [](int confidence, uint32_t discCrc, uint32_t crc1, uint32_t crc2) {
            return QString(R"(<entry id="1" crc32="%1" confidence="%2" npar="8" stride="5880" parity="" )"
                           R"(syndrome="" trackcrcs="%3 %4" toc="0:42:84"/>)")
                .arg(discCrc, 0, 16)
                .arg(confidence)
                .arg(crc1, 8, 16, QChar('0'))
                .arg(crc2, 8, 16, QChar('0'))
                .toLatin1();
        };
        QByteArray xml = R"(<ctdb xmlns="http://db.cuetools.net/ns/mmd-1.0#">)";
        if (row.answer == Found)
            xml += entry(3, disc, t1, t2) + entry(2, disc, t1, t2);
        else
            xml +=
                entry(3, disc ^ 1, row.answer == ReadErrors ? t1 : t1, row.answer == Partial ? t2 ^ 1 : t2);
        xml += "</ctdb>";
        const TFetchedFile ctdb = row.answer == Absent        ? TFetchedFile{TFetchedFile::Absent, {}}
                                  : row.answer == Unreachable ? TFetchedFile{}
                                                              : TFetchedFile{TFetchedFile::Found, xml};
        QStringList asked;
        std::mutex askedLock;
        TExtractionRun run(
            *r.quarle, r.coder, r.Plan(1),
            [&](THttpCli &, const ProxySettings &, const QString &url, qint64) {
                std::lock_guard lock(askedLock);
                asked << url;
                return url.contains("cuetools") ? ctdb : TFetchedFile{TFetchedFile::Absent, {}};
            });
        QObject::connect(&run, &TExtractionRun::TrackStarted,
                         [&](int, int trackNum) { r.fake.fillBase = trackNum == 2 ? 7 : 1; });
        r.Run(run);
        ASSERT_EQ(r.finished.size(), 2u) << row.name;
        EXPECT_TRUE(asked.contains(
            "http://db.cuetools.net/lookup2.php?version=3&ctdb=1&fuzzy=0&metadata=none&toc=0:42:84"))
            << row.name;
        EXPECT_EQ(r.finished[0].status.toStdString(),
                  ("Traccia 01 AccurateRip: disco assente, CTDB: " + row.track1 +
                   (row.answer == ReadErrors ? ", settori illeggibili 14" : ""))
                      .toStdString())
            << row.name;
        EXPECT_EQ(r.finished[1].status.toStdString(),
                  ("Traccia 02 AccurateRip: disco assente, CTDB: " + row.track2).toStdString())
            << row.name;
        EXPECT_EQ((r.finished[0].result + " " + r.finished[1].result).toStdString(),
                  row.results.toStdString())
            << row.name;
        QFile logFile(r.out.filePath("QUARLE.log"));
        ASSERT_TRUE(logFile.open(QIODevice::ReadOnly)) << row.name;
        const QString log = QString::fromUtf8(logFile.readAll());
        const QString crc =
            row.answer == ReadErrors ? QString() : QString("CRC %1  ").arg(disc, 8, 16, QChar('0')).toUpper();
        EXPECT_TRUE(
            log.contains("\nDisco CTDB: 9MxjvTEbxfsbxLzRQeZx5i8Fspg-  " + crc + "CTDB: " + row.disc + "\n"))
            << row.name << log.toStdString();
        EXPECT_TRUE(log.contains("  CTDB: " + row.track2 + "  CRC CTDB " +
                                 QString("%1  ").arg(t2, 8, 16, QChar('0')).toUpper()))
            << row.name;
        EXPECT_TRUE(log.contains("Riepilogo: 2 tracce, " + row.summary)) << row.name;
    }
}
