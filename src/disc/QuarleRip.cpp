// The ripping half of TQuarle: one track from the library's chunks into a WAV, PCM or MP3 file.
#include "disc/Quarle.h"
#include "encoder/FlacWriter.h"

#include "platform/FileNames.h"
#include "platform/NewFile.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace
{

[[noreturn]] void writeFailed(const TNewFile &file)
{
    throw ECDRIPError(QString("Write error (%1)").arg(file.errorString()));
}

void writeAll(TNewFile &file, const void *data, qint64 size)
{
    if (size > 0 && file.write(static_cast<const char *>(data), size) != size)
        writeFailed(file);
}

void put32(TNewFile &file, qint64 at, uint32_t value)
{
    uint8_t bytes[4];
    for (int i = 0; i < 4; ++i)
        bytes[i] = uint8_t(value >> (8 * i));
    if (!file.seek(at) || file.write(reinterpret_cast<const char *>(bytes), 4) != 4)
        writeFailed(file);
}

TNewFile &createFile(std::unique_ptr<TNewFile> &file, const QString &path, qsizetype bufferBytes)
{
    file = std::make_unique<TNewFile>(path, bufferBytes);
    if (!file->isOpen())
        throw ECDRIPError(QString("Cannot create file \"%1\". %2").arg(path, file->errorString()));
    return *file;
}

void commit(TNewFile &file)
{
    const QString path = file.path();
    const QString error = file.Commit();
    if (!error.isEmpty())
        throw ECDRIPError(QString("Cannot write \"%1\" (%2)").arg(path, error));
}

// One chunk of a ripping run, with what the library told right after delivering it.
struct Chunk {
    std::vector<uint8_t> samples;
    uint64_t firstFrame = 0;        // of the track
    std::atomic<bool> summed{true}; // taken for the checksums by one of the two threads
    int32_t bytes = 0;
    int32_t unreadable = 0; // sectors the library failed to read, given as silence
    int32_t result = CR_OK;
    int32_t percent = 0;
    int32_t jitterFirst = 0;
    int32_t jitterLast = 0;
};

// The chunks of an open ripping run, in order. A reader thread calls the library and fills a ring of
// sixteen buffers (about 1 MiB, allocated once) ahead of the caller, so that reading the disc overlaps
// encoding or writing, and a reader that the system leaves waiting for a few milliseconds does not
// stall the caller. The library sees the calls of a plain loop: before each chunk the cancel request is
// looked at, and reading stops after the chunk that ends the run.
//
// A chunk the library fails to read (result 1) is given as silence of its length, up to the track's
// end, so that every later sample keeps its place; a failure past the end ends the run.
//
// Each chunk is summed into the track's checksums, if given, by whichever thread has time for it: the
// caller as it takes the chunk, unless the reader, finding every buffer full, has summed it already.
// So the sums stay off the slower side: the reader with jitter correction, the coder on an MP3 rip.
// Either side that finds nothing to do sleeps until a batch of chunks (or of free buffers) is there,
// not a single one: at hundreds of chunks a second, waking the other thread for every chunk cost more
// than the work it saved. The caller waits for a batch only a tenth of a second.
class ChunkReader
{
public:
    // trackBytes: the samples the whole track gives; sectorBytes: those of one sector.
    ChunkReader(const CdRipApi &api, const std::atomic<bool> &cancel, size_t chunkBytes, qint64 trackBytes,
                qint64 sectorBytes, TAccurateRipChecksum *checksum)
        : m_api(api), m_cancel(cancel), m_checksum(checksum), m_left(trackBytes), m_sectorBytes(sectorBytes),
          m_chunkSectors(std::max<qint64>(1, qint64(chunkBytes) / 2352)), m_slots(16)
    {
        for (Chunk &c : m_slots)
            c.samples.resize(chunkBytes);
        m_thread = std::thread([this] { run(); });
    }
    ~ChunkReader() { stop(); }
    ChunkReader(const ChunkReader &) = delete;
    ChunkReader &operator=(const ChunkReader &) = delete;

    // The next chunk, or nullptr once the run has ended. A library call that raised is raised here,
    // after the chunks read before it. The chunk stays valid until the next call.
    Chunk *next()
    {
        std::unique_lock lock(m_mutex);
        if (m_holding) {
            m_holding = false;
            --m_filled;
            m_head = (m_head + 1) % m_slots.size();
            if (m_slots.size() - m_filled == Batch)
                m_room.notify_one();
        }
        if (m_filled == 0) {
            // A batch, or what there is after a short while, so that a slow drive's progress shows.
            m_wanted = Batch;
            if (!m_ready.wait_for(lock, BatchWait, [this] { return m_filled >= Batch || m_ended; })) {
                m_wanted = 1;
                m_ready.wait(lock, [this] { return m_filled > 0 || m_ended; });
            }
            m_wanted = 0;
        }
        if (m_filled == 0) {
            if (m_failure)
                std::rethrow_exception(std::exchange(m_failure, nullptr));
            return nullptr;
        }
        m_holding = true;
        Chunk &c = m_slots[m_head];
        lock.unlock();
        sum(c);
        return &c;
    }

    // Ends reading after the chunk being read, if any, and waits for the reader thread.
    void stop()
    {
        if (!m_thread.joinable())
            return;
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_room.notify_one();
        m_thread.join();
    }

private:
    static constexpr size_t Batch = 4;
    static constexpr std::chrono::milliseconds BatchWait{100};

    void sum(Chunk &c)
    {
        if (!c.summed.exchange(true, std::memory_order_acq_rel))
            m_checksum->Add(c.samples.data(), size_t(c.bytes) / 4, c.firstFrame);
    }

    // Reads one chunk into c; false when the run has ended (a cancel before it, or c ends the run).
    bool readOne(Chunk &c)
    {
        if (m_cancel) {
            c.result = CR_ERROR;
            return false;
        }
        c.bytes = 0;
        c.unreadable = 0;
        c.result = m_api.CR_RipChunk(c.samples.data(), &c.bytes);
        if (c.result == CR_ERROR) {
            c.bytes = 0;
            if (m_left <= 0) {
                c.result = CR_RIP_DONE;
            } else {
                const qint64 gap = std::min(m_left, m_chunkSectors * m_sectorBytes);
                std::memset(c.samples.data(), 0, size_t(gap));
                c.bytes = int32_t(gap);
                c.unreadable = int32_t((gap + m_sectorBytes - 1) / m_sectorBytes);
            }
        }
        m_left -= c.bytes;
        if (c.result == CR_JITTER)
            m_api.CR_GetLastJitterErrorPosition(&c.jitterFirst, &c.jitterLast);
        c.percent = m_api.CR_GetPercentCompleted();
        if (m_checksum && c.bytes > 0) {
            c.firstFrame = m_frames;
            m_frames += uint64_t(c.bytes) / 4;
            c.summed.store(false, std::memory_order_relaxed);
        }
        return c.result != CR_RIP_DONE;
    }

    void run()
    {
        std::exception_ptr failure;
        try {
            for (size_t tail = 0;; tail = (tail + 1) % m_slots.size()) {
                std::unique_lock lock(m_mutex);
                if (m_filled == m_slots.size()) {
                    // Sums the chunks that wait, newest first (the caller takes the oldest).
                    lock.unlock();
                    for (size_t i = 1; i <= m_slots.size(); ++i)
                        sum(m_slots[(tail + m_slots.size() - i) % m_slots.size()]);
                    lock.lock();
                    m_room.wait(lock, [this] { return m_slots.size() - m_filled >= Batch || m_stop; });
                }
                if (m_stop)
                    break;
                lock.unlock();
                Chunk &c = m_slots[tail];
                const bool more = readOne(c);
                if (!more && c.result != CR_RIP_DONE)
                    break;
                {
                    std::lock_guard relock(m_mutex);
                    if (++m_filled == m_wanted)
                        m_ready.notify_one();
                }
                if (!more)
                    break;
            }
        } catch (...) {
            failure = std::current_exception();
        }
        {
            std::lock_guard lock(m_mutex);
            m_failure = failure;
            m_ended = true;
        }
        m_ready.notify_one();
    }

    const CdRipApi &m_api;
    const std::atomic<bool> &m_cancel;
    TAccurateRipChecksum *m_checksum; // read by the caller once the reader is joined
    uint64_t m_frames = 0;            // read so far, on the reader
    qint64 m_left;                    // bytes of the track not delivered yet, on the reader
    const qint64 m_sectorBytes;
    const qint64 m_chunkSectors;
    std::vector<Chunk> m_slots;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_ready; // the caller waits for chunks
    std::condition_variable m_room;  // the reader waits for free buffers
    size_t m_head = 0;               // the oldest filled slot
    size_t m_filled = 0;             // slots read and not yet handed back
    size_t m_wanted = 0;             // what the waiting caller waits for
    bool m_holding = false;
    bool m_stop = false;
    bool m_ended = false;
    std::exception_ptr m_failure;
};

} // namespace

void TQuarle::RipTrack(uint16_t trackNum, const QString &fileName)
{
    // Cleared before anything of this rip runs, so that a cancel asked from the begin-track event on
    // ends this very rip.
    m_cancel = false;
    if (OnBeginTrack)
        OnBeginTrack(this, trackNum);
    const TTrack track = TrackToRip(trackNum);
    RipSectors(track.StartSector, track.EndSector, fileName, trackNum);
    if (OnEndTrack)
        OnEndTrack(this, trackNum);
}

void TQuarle::TestTrack(uint16_t trackNum)
{
    m_cancel = false;
    if (OnBeginTrack)
        OnBeginTrack(this, trackNum);
    const TTrack track = TrackToRip(trackNum);
    RipSectors(track.StartSector, track.EndSector, QString(), trackNum);
}

TTrack TQuarle::TrackToRip(uint16_t trackNum) const
{
    if (const std::optional<TTrack> hidden = trackNum == 0 ? HiddenTrack() : std::nullopt)
        return *hidden;
    if (trackNum < 1 || trackNum > m_tracks.Count())
        throw ECDRIPError(QString("List index out of bounds (%1)").arg(int(trackNum) - 1));
    return *m_tracks.object(trackNum - 1);
}

void TQuarle::startChecksum(int32_t first, int32_t last)
{
    // The checksums are defined on the disc's own samples; converted ones cannot give them.
    const SampleFormat format = sampleFormatOf(m_outputFormat);
    m_checksumValid = m_checksums && format.channels == 2 && format.rate == 44100;
    const bool firstTrack = m_tracks.Count() > 0 && first == m_tracks.object(0)->StartSector;
    const bool lastTrack = m_tracks.Count() > 0 && last == m_tracks.object(m_tracks.Count() - 1)->EndSector;
    m_checksum.Start(uint32_t(last - first + 1) * TAccurateRipChecksum::FramesPerSector, firstTrack,
                     lastTrack);
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

    m_checksumValid = false;
    m_ripOpened = m_ripCancelled = false;
    m_unreadableSectors = 0;
    m_readCrc = 0;
    m_windowCrc.reset();
    int32_t chunkBytes = 0;
    if (m_api.CR_OpenRipper(&chunkBytes, first, last) == CR_ERROR)
        return;
    m_ripOpened = true;
    const bool writing = !fileName.isEmpty();
    if (writing)
        startChecksum(first, last);

    // From here on the ripping run is open: every way out closes it, the coder's stream and the file.
    const bool mp3 = writing && m_format == AudioFormat::Mp3;
    const bool encoding = mp3 && m_coder;
    const bool flac = writing && m_format == AudioFormat::Flac;
    const bool wav = writing && m_format == AudioFormat::Wav;
    const QString name = mp3 || flac ? ChangeFileExt(fileName, FileExtension(m_format)) : fileName;
    const SampleFormat format = sampleFormatOf(m_outputFormat);
    bool streamOpen = false;
    // The track's new file; a failure removes it, and the file at its name stays as it was.
    std::unique_ptr<TNewFile> file;
    std::unique_ptr<TFlacWriter> flacWriter;
    std::vector<uint8_t> carryBuffer, mp3Buffer;
    uint32_t bytesPerCall = 0;
    qint64 samplesWritten = 0;
    std::optional<ECDRIPError> failure;
    std::unique_ptr<ChunkReader> reader;

    auto endOfRip = [&] {
        // No library call of the reader may follow the end of the run.
        reader.reset();
        // The flush comes first; a failure in it is raised after the rest of the clean-up.
        if (streamOpen) {
            uint32_t out = 0;
            const int code = m_coder->DeinitStream(mp3Buffer.data(), out);
            try {
                if (code != 0 && !failure)
                    failure = ECDRIPError(QString("beDeinitStream failed %1").arg(code));
                if (file)
                    writeAll(*file, mp3Buffer.data(), out);
                // Every byte goes to the disk before the Info frame is put in; a failure to write them
                // (a full disk) fails the rip.
                if (file && !file->flush())
                    writeFailed(*file);
                const int header =
                    code == 0 && !failure && file ? m_coder->WriteInfoFrame(file->handlePath()) : 0;
                if (header != 0)
                    failure = ECDRIPError(QString("beWriteVBRHeader failed %1").arg(header));
            } catch (const ECDRIPError &e) {
                if (!failure)
                    failure = e;
            }
            m_coder->CloseStream();
            streamOpen = false;
        }
        // A FLAC file is finished however the rip ends, so that it holds, playable, what was read.
        if (flacWriter) {
            try {
                flacWriter->Finish();
            } catch (const EFlacError &e) {
                if (!failure)
                    failure = ECDRIPError(e.what());
            }
            flacWriter.reset();
        }
        m_jitterErrors = m_api.CR_GetNumberOfJitterErrors();
        m_api.CR_CloseRipper();
        if (file && wav && !failure) {
            // The header was written for the whole range before ripping; make its sizes tell what
            // the file really holds, whether the rip finished or was cancelled.
            const auto dataBytes = uint32_t(samplesWritten);
            try {
                put32(*file, 4, dataBytes + 36);
                put32(*file, 40, dataBytes);
            } catch (const ECDRIPError &e) {
                failure = e;
            }
        }
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
            carryBuffer.resize(bytesPerCall);
        }

        // An MP3 comes a frame at a time, a few hundred bytes, and a FLAC file a few kilobytes: those
        // writes are gathered in the file's buffer rather than each made a system call of its own.
        if (writing)
            createFile(file, name, encoding || flac ? 64 * 1024 : 0);
        if (flac) {
            try {
                const uint64_t frames =
                    uint64_t(last - first + 1) * TAccurateRipChecksum::FramesPerSector * format.rate / 44100;
                flacWriter = std::make_unique<TFlacWriter>(*file, format.rate, format.channels, frames);
            } catch (const EFlacError &e) {
                throw ECDRIPError(e.what());
            }
        }
        if (wav) {
            const WavHeader header = MakeWavHeaderForRange(m_outputFormat, first, last);
            writeAll(*file, header.data(), qint64(header.size()));
        }

        auto encode = [&](const uint8_t *samples, uint32_t sampleCount) {
            uint32_t out = 0;
            const int code = m_coder->EncodeChunk(sampleCount, reinterpret_cast<const int16_t *>(samples),
                                                  mp3Buffer.data(), out);
            if (code != 0)
                throw ECDRIPError(QString("beEncodeChunk failed %1").arg(code));
            writeAll(*file, mp3Buffer.data(), out);
        };
        // The coder takes whole calls of SamplesPerChunk samples; what is left of a chunk waits in
        // the carry buffer for the next one.
        uint32_t carry = 0;
        auto feed = [&](const uint8_t *data, uint32_t size) {
            while (size > 0) {
                if (carry == 0 && size >= bytesPerCall && reinterpret_cast<uintptr_t>(data) % 2 == 0) {
                    encode(data, m_coder->SamplesPerChunk());
                    data += bytesPerCall;
                    size -= bytesPerCall;
                    continue;
                }
                const uint32_t take = std::min(bytesPerCall - carry, size);
                std::memcpy(carryBuffer.data() + carry, data, take);
                carry += take;
                data += take;
                size -= take;
                if (carry == bytesPerCall) {
                    encode(carryBuffer.data(), m_coder->SamplesPerChunk());
                    carry = 0;
                }
            }
        };

        const qint64 sectorBytes =
            qint64(TAccurateRipChecksum::FramesPerSector) * format.rate / 44100 * format.channels * 2;
        reader = std::make_unique<ChunkReader>(m_api, m_cancel, size_t(chunkBytes),
                                               qint64(last - first + 1) * sectorBytes, sectorBytes,
                                               m_checksumValid ? &m_checksum : nullptr);
        int32_t chunkResult = CR_OK;
        std::optional<TReadCrc::Window> window;
        const uint64_t readFrom = uint64_t(first) * TAccurateRipChecksum::FramesPerSector;
        const uint64_t readTo = uint64_t(last + 1) * TAccurateRipChecksum::FramesPerSector;
        for (const TReadCrc::Window &frames : m_crcWindows) {
            if (!window && format.channels == 2 && format.rate == 44100 && frames.from >= readFrom &&
                frames.to <= readTo)
                window = TReadCrc::Window{(frames.from - readFrom) * 4, (frames.to - readFrom) * 4};
        }
        TReadCrc crc(window);
        while (const Chunk *chunk = reader->next()) {
            chunkResult = chunk->result;
            m_unreadableSectors += chunk->unreadable;
            if (chunk->bytes > 0) {
                const auto *samples = reinterpret_cast<const int16_t *>(chunk->samples.data());
                crc.Add(chunk->samples.data(), size_t(chunk->bytes));
                if (writing && OnSamples)
                    OnSamples(this, samples, size_t(chunk->bytes) / 2);
                if (encoding) {
                    feed(chunk->samples.data(), uint32_t(chunk->bytes));
                } else if (flac) {
                    try {
                        flacWriter->Write(samples, uint32_t(chunk->bytes / (2 * format.channels)));
                    } catch (const EFlacError &e) {
                        throw ECDRIPError(e.what());
                    }
                } else if (writing && !mp3) {
                    writeAll(*file, chunk->samples.data(), chunk->bytes);
                    samplesWritten += chunk->bytes;
                }
            }
            if (writing && chunkResult == CR_JITTER) {
                m_jitterLog << QString::number(uint32_t(chunk->jitterFirst)) + " " +
                                   QString::number(uint32_t(chunk->jitterLast));
            }
            if (OnProgress)
                OnProgress(this, uint16_t(chunk->percent), trackNum);
        }
        // The reader ends before the track's end only for a cancel.
        m_ripCancelled = chunkResult != CR_RIP_DONE;
        m_readCrc = crc.Crc();
        m_windowCrc = crc.WindowCrc();

        if (encoding && chunkResult == CR_RIP_DONE && carry > 0)
            encode(carryBuffer.data(), carry / 2);
    } catch (const ECDRIPError &e) {
        failure = e;
    } catch (...) {
        endOfRip();
        throw;
    }
    endOfRip();
    if (failure)
        throw *failure;
    if (!writing)
        return;

    // The jitter file is whole before either file takes its name.
    std::unique_ptr<TNewFile> jitter;
    if (!m_jitterLog.isEmpty()) {
        QByteArray text;
        for (const QString &line : m_jitterLog)
            text += line.toLatin1() + "\r\n";
        writeAll(createFile(jitter, ChangeFileExt(name, "jitt"), 0), text.constData(), text.size());
    }
    if (OnFileWritten)
        OnFileWritten(this, file->newPath());
    commit(*file);
    if (jitter)
        commit(*jitter);
}
