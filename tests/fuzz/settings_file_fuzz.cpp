// Reads "quarle.ini" from arbitrary bytes, writes back what was read and reads that again: a file the
// program wrote itself must read back as the same settings, 16 lines ended by CR LF.
#include "FuzzCheck.h"
#include "app/SettingsFile.h"

#include <cstddef>
#include <cstdint>

#ifndef QUARLE_FUZZ_ENTRY
#define QUARLE_FUZZ_ENTRY LLVMFuzzerTestOneInput
#endif

namespace
{

// What a value becomes once written: a line break inside it would shift every later line.
QString Written(const QString &value)
{
    return QString(value).replace('\r', ' ').replace('\n', ' ');
}

bool NoBreak(const std::optional<QString> &value)
{
    return !value || !value->contains('\n');
}

} // namespace

extern "C" int QUARLE_FUZZ_ENTRY(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), qsizetype(size));
    const SettingsRead read = ParseSettings(content);

    // Fields are read in file order and the first bad number stops the reading.
    FUZZ_CHECK(read.dir.has_value());
    FUZZ_CHECK(!read.sampleRate || read.format);
    FUZZ_CHECK(!read.bitRate || read.sampleRate);
    FUZZ_CHECK(!read.maxBitRate || read.bitRate);
    FUZZ_CHECK(!read.mode || read.maxBitRate);
    FUZZ_CHECK(!read.quality || read.mode);
    FUZZ_CHECK(read.proxyHost.has_value() == read.quality.has_value());
    FUZZ_CHECK(read.proxyPort.has_value() == read.quality.has_value());
    FUZZ_CHECK(read.proxyUser.has_value() == read.quality.has_value());
    FUZZ_CHECK(read.proxyPassword.has_value() == read.quality.has_value());
    FUZZ_CHECK(!read.format || (*read.format >= -1 && *read.format <= 1));
    FUZZ_CHECK(NoBreak(read.dir) && NoBreak(read.proxyHost) && NoBreak(read.proxyPort) &&
               NoBreak(read.proxyUser) && NoBreak(read.proxyPassword));

    QuarleSettings settings;
    settings.dir = read.dir.value_or(settings.dir);
    settings.format = read.format.value_or(settings.format);
    settings.sampleRate = read.sampleRate.value_or(settings.sampleRate);
    settings.bitRate = read.bitRate.value_or(settings.bitRate);
    settings.maxBitRate = read.maxBitRate.value_or(settings.maxBitRate);
    settings.mode = read.mode.value_or(settings.mode);
    settings.quality = read.quality.value_or(settings.quality);
    settings.proxyHost = read.proxyHost.value_or(settings.proxyHost);
    settings.proxyPort = read.proxyPort.value_or(settings.proxyPort);
    settings.proxyUser = read.proxyUser.value_or(settings.proxyUser);
    settings.proxyPassword = read.proxyPassword.value_or(settings.proxyPassword);

    const QByteArray written = FormatSettings(settings);
    FUZZ_CHECK(written.count("\r\n") == 16 && written.count('\n') == 16 && written.count('\r') == 16);
    FUZZ_CHECK(written.endsWith("\r\n"));

    const SettingsRead again = ParseSettings(written);
    FUZZ_CHECK(again.dir == Written(settings.dir));
    FUZZ_CHECK(again.format == settings.format);
    FUZZ_CHECK(again.sampleRate == settings.sampleRate);
    FUZZ_CHECK(again.bitRate == settings.bitRate);
    FUZZ_CHECK(again.maxBitRate == settings.maxBitRate);
    FUZZ_CHECK(again.mode == settings.mode);
    FUZZ_CHECK(again.quality == settings.quality);
    FUZZ_CHECK(again.proxyHost == Written(settings.proxyHost));
    FUZZ_CHECK(again.proxyPort == Written(settings.proxyPort));
    FUZZ_CHECK(again.proxyUser == Written(settings.proxyUser));
    FUZZ_CHECK(again.proxyPassword == Written(settings.proxyPassword));
    return 0;
}
