// Parses a QUARLE_DRIVES value as the environment would hand it over (UTF-8) and checks the table:
// one entry per letter, in letter order, each a trimmed path that exists.
#include "FuzzCheck.h"
#include "platform/DriveLetters.h"

#include <cstddef>
#include <cstdint>

#ifndef QUARLE_FUZZ_ENTRY
#define QUARLE_FUZZ_ENTRY LLVMFuzzerTestOneInput
#endif

extern "C" int QUARLE_FUZZ_ENTRY(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    // Paths that name something "missing" do not exist; every other path does.
    const auto exists = [](const QString &path) { return !path.contains("missing"); };
    const DriveLetterTable table = parseDriveLetters(text, exists);

    qsizetype entries = 0;
    QString lettersWritten; // each entry's text before "=", when it is a single character
    for (const QString &part : text.split(';')) {
        entries += part.trimmed().isEmpty() ? 0 : 1;
        const QString letter = part.left(part.indexOf('=')).trimmed();
        if (part.contains('=') && letter.size() == 1)
            lettersWritten += letter;
    }
    FUZZ_CHECK(qsizetype(table.entries.size()) + table.warnings.size() == entries);

    char previous = 0;
    for (const DriveLetterEntry &entry : table.entries) {
        FUZZ_CHECK(entry.letter >= 'A' && entry.letter <= 'Z');
        FUZZ_CHECK(entry.letter > previous);
        // A drive is named by a letter written as such, not by whatever Unicode upper-cases to one.
        FUZZ_CHECK(lettersWritten.contains(QChar(entry.letter)) ||
                   lettersWritten.contains(QChar(entry.letter + ('a' - 'A'))));
        previous = entry.letter;
        FUZZ_CHECK(!entry.path.isEmpty() && entry.path == entry.path.trimmed());
        FUZZ_CHECK(!entry.path.contains(';'));
        FUZZ_CHECK(exists(entry.path));
        FUZZ_CHECK(text.contains(entry.path));
    }
    for (const QString &warning : table.warnings)
        FUZZ_CHECK(warning.startsWith("QUARLE_DRIVES: "));
    return 0;
}
