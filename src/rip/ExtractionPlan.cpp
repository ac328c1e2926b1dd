#include "rip/ExtractionPlan.h"

#include "encoder/MP3Coder.h"
#include "platform/Exception.h"

namespace
{

uint32_t comboInteger(const QString &text)
{
    bool ok = false;
    const uint32_t value = text.toUInt(&ok);
    if (!ok)
        throw Exception(QString("'%1' is not a valid integer value").arg(text).toStdString());
    return value;
}

} // namespace

void ApplyCoderPage(TMP3Coder &coder, const TCoderPage &page)
{
    coder.setSampleRate(comboInteger(page.sampleRate));
    coder.setBitrate(comboInteger(page.bitRate));
    coder.setMaxBitrate(comboInteger(page.maxBitRate));
    if (page.mode >= 0)
        coder.setMode(TMP3CoderMode(page.mode));
    coder.setQuality(MPEG_QUALITY(uint8_t(page.quality)));
    coder.setWriteVBRHeader(page.vbrHeader);
    coder.setEnableVBR(page.vbr);
    coder.setCopyright(page.copyright);
    coder.setOriginal(page.original);
    coder.setCRC(page.crc);
    coder.setPrivate(page.isPrivate);
    coder.setVBRQuality(page.vbrQuality);
}
