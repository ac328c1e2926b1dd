// Replays every seed and every kept crash of the fuzz targets' corpora, so that a fault once found
// stays fixed. A broken invariant fails the test with the file's name; a sanitizer finding ends it.
#include "FuzzCheck.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdio>

extern "C" int fuzz_http_response(const uint8_t *data, size_t size);
extern "C" int fuzz_cddb_answer(const uint8_t *data, size_t size);
extern "C" int fuzz_wav_layout(const uint8_t *data, size_t size);
extern "C" int fuzz_accuraterip_file(const uint8_t *data, size_t size);

TEST(FuzzReplay, EveryCorpusFileKeepsTheInvariants)
{
    const struct {
        const char *name;
        int (*entry)(const uint8_t *, size_t);
    } targets[] = {
        {"http_response", fuzz_http_response},
        {"cddb_answer", fuzz_cddb_answer},
        {"wav_layout", fuzz_wav_layout},
        {"accuraterip_file", fuzz_accuraterip_file},
    };
    for (const auto &target : targets) {
        const QDir folder(QStringLiteral(QUARLE_FUZZ_CORPUS_DIR "/") + target.name);
        const QStringList files = folder.entryList(QDir::Files, QDir::Name);
        EXPECT_GE(files.size(), 3) << "too few seeds in " << folder.path().toStdString();
        for (const QString &name : files) {
            const std::string label = std::string(target.name) + "/" + name.toStdString();
            QFile file(folder.filePath(name));
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << label;
            const QByteArray bytes = file.readAll();
            // Named before the run, in case a sanitizer ends the process inside it.
            std::fprintf(stderr, "replaying %s\n", label.c_str());
            try {
                target.entry(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
            } catch (const FuzzInvariantError &error) {
                ADD_FAILURE() << label << ": invariant broken: " << error.what();
            }
        }
    }
}
