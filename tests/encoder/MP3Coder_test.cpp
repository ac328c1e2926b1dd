// TMP3Coder against a scripted be* encoder: the batch's events, edge files, failures and clean-up.
#include "WavTestFile.h"
#include "encoder/MP3Coder.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sys/resource.h>

namespace
{

// Encode calls write `bytesPerCall` bytes and the flush 10, so an MP3's size tells which calls reached
// it; `failingCall` (0-based) fails with `encodeCode`.
struct FakeLame {
    uint32_t samples = 1000, bytesPerCall = 100;
    BE_ERR initCode = 0, encodeCode = 0, deinitCode = 0;
    int failingCall = -1, calls = 0, openStreams = 0;
} fake;

const LameApi kFakeApi = {
    nullptr,
    [](BE_CONFIG *, uint32_t *samples, uint32_t *bufferSize, HBE_STREAM *stream) {
        *samples = fake.samples;
        *bufferSize = 1000;
        *stream = 77;
        fake.openStreams += fake.initCode == 0;
        return fake.initCode;
    },
    [](HBE_STREAM, uint32_t, const int16_t *, uint8_t *out, uint32_t *outBytes) {
        const bool fail = fake.calls++ == fake.failingCall;
        *outBytes = fail ? 0 : fake.bytesPerCall;
        std::memset(out, 0xAB, *outBytes);
        return fail ? fake.encodeCode : 0u;
    },
    [](HBE_STREAM, uint8_t *out, uint32_t *outBytes) {
        *outBytes = 10;
        std::memset(out, 0xCD, *outBytes);
        return fake.deinitCode;
    },
    [](HBE_STREAM) { return BE_ERR(--fake.openStreams * 0); },
    nullptr,
};

// How many of this process's descriptors point at the file: a file left open by the coder shows here.
int OpenDescriptors(const QString &path)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    int count = 0;
    for (const QFileInfo &fd : QDir("/proc/self/fd").entryInfoList(QDir::System | QDir::NoDotAndDotDot))
        count += !target.isEmpty() && fd.symLinkTarget() == target;
    return count;
}

} // namespace

// The events of a batch (Begin, File n, Progress, End file, Z for the end) and, after "!", the message
// that ended it. Raw PCM of 5000 bytes in chunks of 2000 bytes gives 40, 80, 100; half a sample is
// dropped; a chunk of exactly 65536 bytes. A cancel: no flush, later files untouched, and a batch is not
// started again from its own events. A WAV data size of 0 is the rest of the file only when no chunk
// follows the data. Every failure releases the stream and the files, leaves no MP3 and never creates the
// next file; a full disk is told by the system's words.
TEST(MP3Coder, BatchEventsCancelEdgeFilesAndFailures)
{
    QTemporaryDir dir;
    const auto path = [&](const QString &name) { return dir.path() + "/" + name; };
    TestPcm frames;
    frames.samples.assign(2000, 9);
    const QByteArray tone = WavTestFile::WavBytes(frames);
    QByteArray streamed = tone, floatWav = tone, noBlockAlign = tone;
    streamed.replace(40, 4, QByteArray(4, 0));
    floatWav[20] = 3; // WAVE_FORMAT_IEEE_FLOAT
    noBlockAlign[32] = 0;
    for (const auto &[name, bytes] :
         {std::pair{"a.pcm", QByteArray(5000, 1)},
          {"b.pcm", QByteArray(700, 1)},
          {"odd.pcm", QByteArray(3001, 2)},
          {"big.pcm", QByteArray(65536 * 2 + 4, 3)},
          {"streamed.wav", streamed},
          {"list.wav", WavTestFile::WavBytes(TestPcm{}, {}, WavTestFile::Chunk("LIST", "INFOIART"))},
          {"tone.wav", tone},
          {"short.wav", tone.left(40)},
          {"float.wav", floatWav},
          {"zero-align.wav", noBlockAlign},
          {"next.wav", tone}})
        ASSERT_TRUE(WavTestFile::Write(path(name), bytes));
    struct Case {
        QStringList files;
        std::string events;
        qint64 mp3Size; // -1: never created
        FakeLame fake = {};
        QString output = {}; // in place of the first derived name; "-" for no names at all
        bool cancel = false;
        rlim_t fileSize = 0; // the largest file the batch may write; 0 for no bound
    };
    // clang-format off
    const Case cases[] = {
        {{"a.pcm", "b.pcm"}, "B F0:a.pcm P40 P80 P100 E0:a.mp3 F1:b.pcm P100 E1:b.mp3 Z", 310},
        {{"a.pcm", "next.wav"}, "B F0:a.pcm P40", 100, {}, {}, true},
        {{"odd.pcm"}, "B F0:odd.pcm P66 P100 E0:odd.mp3 Z", 210},
        {{"big.pcm"}, "B F0:big.pcm P49 P99 P100 E0:big.mp3 Z", 310, {.samples = 32768}},
        {{"streamed.wav"}, "B F0:streamed.wav P50 P100 E0:streamed.mp3 Z", 210},
        {{"list.wav"}, "B F0:list.wav E0:list.mp3 Z", 10},
        {{"absent.wav", "next.wav"}, "B F0:absent.wav !Cannot open file \"absent.wav\". No such file or directory", -1},
        {{"tone.wav", "next.wav"}, "B F0:tone.wav !Cannot create file \"no/dir.mp3\". No such file or directory", -1, {}, "no/dir.mp3"},
        // A device at the name is no file to replace (as root, a rename would take its place).
        {{"tone.wav", "next.wav"}, "B F0:tone.wav !Cannot create file \"/dev/null\". not a regular file", 0, {}, "/dev/null"},
        {{"tone.wav", "next.wav"}, "B F0:tone.wav P50 !beEncodeChunk failed 7", -1, {.encodeCode = 7, .failingCall = 1}},
        {{"tone.wav", "next.wav"}, "B F0:tone.wav !Write Error (File too large)", -1, {}, {}, false, 50},
        {{"tone.wav", "next.wav"}, "B F0:tone.wav P50 P100 !Write error (File too large)", -1, {.bytesPerCall = 0}, {}, false, 5},
        {{"tone.wav", "next.wav"}, "B F0:tone.wav P50 P100 !beDeinitStream failed 3", -1, {.deinitCode = 3}},
        {{"tone.wav", "next.wav"}, "B F0:tone.wav !beInitStream failed 2", -1, {.initCode = 2}},
        {{"tone.wav", "next.wav"}, "B F0:tone.wav !beInitStream failed 2", -1, {.samples = 0}},
        {{"short.wav", "next.wav"}, "B F0:short.wav !Read Error", -1},
        {{"float.wav", "next.wav"}, "B F0:float.wav !Cannot convert \"float.wav\": only 16-bit PCM WAV files are supported", -1},
        {{"zero-align.wav", "next.wav"}, "B F0:zero-align.wav !Cannot convert \"zero-align.wav\": only 16-bit PCM WAV files are supported", -1},
        {{"tone.wav", "next.wav"}, "B F0:tone.wav !List index out of bounds (0)", -1, {}, "-"},
    };
    // clang-format on
    std::signal(SIGXFSZ, SIG_IGN);
    for (const Case &c : cases) {
        for (const QString &mp3 : QDir(dir.path()).entryList({"*.mp3"}))
            QFile::remove(path(mp3));
        fake = c.fake;
        TMP3Coder coder(kFakeApi);
        QStringList events;
        const auto word = [&](const char *kind, uint16_t n, const QString &file) {
            events << kind + QString::number(n) + ":" + QFileInfo(file).fileName();
        };
        coder.OnBeginProcess = [&](QObject *) { events << "B"; };
        coder.OnBeginFile = [&](QObject *, uint16_t n, const QString &f) { word("F", n, f); };
        coder.OnEndFile = [&](QObject *, uint16_t n, const QString &f) { word("E", n, f); };
        coder.OnEndProcess = [&](QObject *) { events << "Z"; };
        coder.OnProgress = [&](QObject *, uint16_t p) {
            events << "P" + QString::number(p);
            if (c.cancel) {
                EXPECT_THROW(coder.ProcessFiles(), EMP3CoderError);
                coder.CancelProcess();
            }
        };
        coder.CancelProcess(); // forgotten when the batch starts
        QStringList inputs;
        for (const QString &file : c.files)
            inputs << path(file);
        coder.setInputFiles(inputs);
        QString output = coder.OutputFiles().first();
        if (!c.output.isEmpty()) {
            output = c.output.startsWith('/') ? c.output : path(c.output);
            coder.setOutputFiles(c.output == "-" ? QStringList() : QStringList{output, path("next.mp3")});
        }
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit bound{c.fileSize ? c.fileSize : saved.rlim_cur, saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &bound);
        try {
            coder.ProcessFiles();
        } catch (const Exception &e) {
            events << "!" + QString(e.what()).remove(dir.path() + "/");
        }
        setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_EQ(events.join(' ').toStdString(), c.events);
        EXPECT_EQ(QFileInfo::exists(output) ? QFileInfo(output).size() : -1, c.mp3Size) << c.events;
        EXPECT_EQ(fake.openStreams, 0) << c.events;
        EXPECT_EQ(OpenDescriptors(inputs.first()), 0) << c.events;
        EXPECT_FALSE(QFileInfo::exists(path("next.mp3"))) << c.events;
    }
    EXPECT_FALSE(QFileInfo("/dev/null").isFile());
}
