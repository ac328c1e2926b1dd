// Replays every seed and kept crash of the fuzz targets' corpora, so that a fault once found stays fixed.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <cstdio>

extern "C" int fuzz_http_response(const uint8_t *, size_t), fuzz_cddb_answer(const uint8_t *, size_t),
    fuzz_wav_layout(const uint8_t *, size_t), fuzz_accuraterip_file(const uint8_t *, size_t),
    fuzz_musicbrainz_answer(const uint8_t *, size_t), fuzz_ctdb_answer(const uint8_t *, size_t);

TEST(FuzzReplay, EveryCorpusFileKeepsTheInvariants)
{
    const std::pair<const char *, int (*)(const uint8_t *, size_t)> targets[] = {
        {"http_response", fuzz_http_response},
        {"cddb_answer", fuzz_cddb_answer},
        {"wav_layout", fuzz_wav_layout},
        {"accuraterip_file", fuzz_accuraterip_file},
        {"musicbrainz_answer", fuzz_musicbrainz_answer},
        {"ctdb_answer", fuzz_ctdb_answer}};
    for (const auto &[name, entry] : targets) {
        const QDir folder(QStringLiteral(QUARLE_FUZZ_CORPUS_DIR "/") + name);
        EXPECT_GE(folder.count(), 5u) << name; // ".", ".." and the seeds
        for (const QString &file : folder.entryList(QDir::Files, QDir::Name)) {
            QFile input(folder.filePath(file));
            const QByteArray bytes = input.open(QIODevice::ReadOnly) ? input.readAll() : QByteArray();
            // Named before the run, in case a sanitizer ends the process inside it.
            std::fprintf(stderr, "replaying %s/%s\n", name, qPrintable(file));
            try {
                entry(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
            } catch (const std::exception &error) {
                ADD_FAILURE() << name << "/" << file.toStdString() << ": " << error.what();
            }
        }
    }
}
