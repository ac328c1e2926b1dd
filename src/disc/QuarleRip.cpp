// The ripping half of TQuarle: one track from the library's chunks into a WAV, PCM or MP3 file.
#include "disc/Quarle.h"

#include "platform/FileNames.h"

#include <QCoreApplication>
#include <QFile>

#include <cstring>
#include <optional>
#include <vector>

namespace
{

void writeAll(QFile &file, const void *data, qint64 size)
{
    if (size > 0 && file.write(static_cast<const char *>(data), size) != size)
        throw ECDRIPError("Write error");
}

void put32(QFile &file, qint64 at, uint32_t value)
{
    uint8_t bytes[4];
    for (int i = 0; i < 4; ++i)
        bytes[i] = uint8_t(value >> (8 * i));
    if (file.seek(at))
        file.write(reinterpret_cast<const char *>(bytes), 4);
}

} // namespace

void TQuarle::RipTrack(uint16_t trackNum, const QString &fileName)
{
    // Cleared before anything of this rip runs, so that a cancel asked from the begin-track event on
    // ends this very rip.
    m_cancel = false;
    if (OnBeginTrack)
        OnBeginTrack(this, trackNum);
    if (trackNum < 1 || trackNum > m_tracks.Count())
        throw ECDRIPError(QString("List index out of bounds (%1)").arg(int(trackNum) - 1));
    const TTrack *track = m_tracks.object(trackNum - 1);
    RipSectors(track->StartSector, track->EndSector, fileName, trackNum);
    if (OnEndTrack)
        OnEndTrack(this, trackNum);
}

void TQuarle::RipSectors(int32_t first, int32_t last, const QString &fileName, uint16_t trackNum)
{
    int32_t result = CR_ERROR;
    try {
        result = m_api.CR_SetCDROMParameters(&activeDriveRecord());
    } catch (...) {
        throw ECDRIPError("Error setting parameters");
    }
    if (result == CR_ERROR)
        throw ECDRIPError("Invalid CD-ROM parameters");

    int32_t chunkBytes = 0;
    if (m_api.CR_OpenRipper(&chunkBytes, first, last) == CR_ERROR)
        return;

    // From here on the ripping run is open: every way out closes it, the coder's stream and the file.
    const bool encoding = m_encode && m_coder;
    const QString name = m_encode ? ChangeFileExt(fileName, ".mp3") : fileName;
    const SampleFormat format = sampleFormatOf(m_outputFormat);
    bool streamOpen = false;
    QFile file(name);
    std::vector<uint8_t> ripBuffer, mp3Buffer;
    uint32_t bytesPerCall = 0;
    qint64 samplesWritten = 0;
    std::optional<ECDRIPError> failure;

    auto endOfRip = [&] {
        // The flush comes first; a failure in it is raised after the rest of the clean-up.
        if (streamOpen) {
            uint32_t out = 0;
            const int code = m_coder->DeinitStream(mp3Buffer.data(), out);
            try {
                if (code != 0 && !failure)
                    failure = ECDRIPError(QString("beDeinitStream failed %1").arg(code));
                if (file.isOpen())
                    writeAll(file, mp3Buffer.data(), out);
            } catch (const ECDRIPError &e) {
                if (!failure)
                    failure = e;
            }
            m_coder->CloseStream();
            streamOpen = false;
        }
        m_jitterErrors = m_api.CR_GetNumberOfJitterErrors();
        m_api.CR_CloseRipper();
        if (file.isOpen() && m_writeWav && !m_encode) {
            // The header was written for the whole range before ripping; make its sizes tell what
            // the file really holds, whether the rip finished, was cancelled or failed.
            const auto dataBytes = uint32_t(samplesWritten);
            put32(file, 4, dataBytes + 36);
            put32(file, 40, dataBytes);
        }
        file.close();
    };

    try {
        if (chunkBytes <= 0)
            throw ECDRIPError("The CD-reading library reported no chunk size");
        if (encoding) {
            m_coder->setInputChannels(format.channels);
            m_coder->setInputSampleRate(format.rate);
            const int code = m_coder->InitStream();
            if (code != 0)
                throw ECDRIPError(QString("The MP3 encoder could not start (error %1)").arg(code));
            streamOpen = true;
            if (m_coder->SamplesPerChunk() == 0 || m_coder->Mp3BufferSize() == 0)
                throw ECDRIPError("The MP3 encoder reported no chunk size");
            bytesPerCall = m_coder->SamplesPerChunk() * 2;
            mp3Buffer.resize(m_coder->Mp3BufferSize());
            ripBuffer.resize(size_t(chunkBytes) + bytesPerCall);
        } else {
            ripBuffer.resize(size_t(chunkBytes));
        }

        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
            throw ECDRIPError(QString("Cannot create file \"%1\". %2").arg(name, file.errorString()));
        if (m_writeWav && !m_encode) {
            const WavHeader header = MakeWavHeaderForRange(m_outputFormat, first, last);
            file.write(reinterpret_cast<const char *>(header.data()), qint64(header.size()));
        }

        uint32_t carry = 0;
        auto encode = [&](const uint8_t *samples, uint32_t sampleCount) {
            uint32_t out = 0;
            const int code = m_coder->EncodeChunk(sampleCount, reinterpret_cast<const int16_t *>(samples),
                                                  mp3Buffer.data(), out);
            if (code != 0)
                throw ECDRIPError(QString("beEncodeChunk failed %1").arg(code));
            writeAll(file, mp3Buffer.data(), out);
        };

        int32_t chunkResult = CR_OK;
        do {
            if (m_cancel)
                break;
            int32_t bytes = 0;
            chunkResult = m_api.CR_RipChunk(ripBuffer.data() + carry, &bytes);
            if (chunkResult != CR_ERROR && bytes > 0) {
                if (encoding) {
                    uint32_t available = carry + uint32_t(bytes);
                    uint32_t offset = 0;
                    for (; available - offset >= bytesPerCall; offset += bytesPerCall)
                        encode(ripBuffer.data() + offset, m_coder->SamplesPerChunk());
                    carry = available - offset;
                    std::memmove(ripBuffer.data(), ripBuffer.data() + offset, carry);
                } else if (!m_encode) {
                    writeAll(file, ripBuffer.data(), bytes);
                    samplesWritten += bytes;
                }
            }
            if (chunkResult == CR_JITTER) {
                int32_t from = 0, to = 0;
                m_api.CR_GetLastJitterErrorPosition(&from, &to);
                m_jitterLog << QString::number(uint32_t(from)) + " " + QString::number(uint32_t(to));
            }
            if (OnProgress)
                OnProgress(this, uint16_t(m_api.CR_GetPercentCompleted()), trackNum);
            QCoreApplication::processEvents();
        } while (chunkResult != CR_RIP_DONE);

        if (encoding && chunkResult == CR_RIP_DONE && carry > 0)
            encode(ripBuffer.data(), carry / 2);
    } catch (const ECDRIPError &e) {
        failure = e;
    } catch (...) {
        endOfRip();
        throw;
    }
    endOfRip();
    if (failure)
        throw *failure;

    if (!m_jitterLog.isEmpty()) {
        QFile log(ChangeFileExt(name, "jitt"));
        if (!log.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw ECDRIPError(
                QString("Cannot create file \"%1\". %2").arg(log.fileName(), log.errorString()));
        QByteArray text;
        for (const QString &line : m_jitterLog)
            text += line.toLatin1() + "\r\n";
        writeAll(log, text.constData(), text.size());
        if (!log.flush())
            throw ECDRIPError("Write error");
    }
}
