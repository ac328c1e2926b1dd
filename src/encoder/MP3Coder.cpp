#include "MP3Coder.h"

#include "platform/FileNames.h"
#include "platform/NewFile.h"

#include "ChannelMixer.h"
#include "WavLayout.h"

#include <QFile>

#include <algorithm>

namespace
{

constexpr BE_BOOL beBool(bool value)
{
    return value ? BE_TRUE : BE_FALSE;
}

// Closes the coder's stream on every way out of a file; a cancel goes through here as well, which is
// why the flush is never part of it.
class StreamCloser
{
public:
    explicit StreamCloser(TMP3Coder &coder) : coder_(coder) {}
    ~StreamCloser() { coder_.CloseStream(); }
    StreamCloser(const StreamCloser &) = delete;
    StreamCloser &operator=(const StreamCloser &) = delete;

private:
    TMP3Coder &coder_;
};

// Reads exactly size bytes unless the file ends first.
qint64 readFully(QFile &file, char *buffer, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const qint64 got = file.read(buffer + done, size - done);
        if (got <= 0)
            break;
        done += got;
    }
    return done;
}

// Writes the encoder's output, unless it claims more bytes than its buffer holds; `error` ("Write
// Error", "Write error") with the system's reason when the file takes fewer.
void writeFully(TNewFile &file, const uint8_t *data, uint32_t size, uint32_t bufferSize, const char *error)
{
    if (size > bufferSize)
        throw EMP3CoderError(error);
    if (size > 0 && file.write(reinterpret_cast<const char *>(data), size) != static_cast<qint64>(size))
        throw EMP3CoderError(QStringLiteral("%1 (%2)").arg(error, file.errorString()).toStdString());
}

void commit(TNewFile &file)
{
    const QString path = file.path();
    const QString error = file.Commit();
    if (!error.isEmpty())
        throw EMP3CoderError(QStringLiteral("Cannot write \"%1\" (%2)").arg(path, error).toStdString());
}

} // namespace

TMP3Coder::TMP3Coder(QObject *parent) : TMP3Coder(DefaultLameApi(), parent) {}

TMP3Coder::TMP3Coder(const LameApi &api, QObject *parent)
    : QObject(parent), api_(api), coderVersion_(std::make_unique<TCoderVersion>(api))
{
}

TMP3Coder::~TMP3Coder()
{
    CloseStream();
}

void TMP3Coder::setApi(const LameApi &api)
{
    CloseStream();
    api_ = api;
}

TMP3CoderMode TMP3Coder::Mode() const
{
    switch (mode_) {
    case 0:
        return STEREO;
    case 1:
        return JSTEREO;
    case 2:
        return DUALCHANNEL;
    default:
        return MONO;
    }
}

void TMP3Coder::setMode(TMP3CoderMode value)
{
    const auto ordinal = static_cast<int32_t>(value);
    if (ordinal >= STEREO && ordinal <= MONO)
        mode_ = ordinal;
}

void TMP3Coder::setEnableVBR(bool value)
{
    enableVBR_ = value;
    writeVBRHeader_ = value;
}

void TMP3Coder::setInputFiles(const QStringList &value)
{
    inputFiles_ = value;
    outputFiles_.clear();
    for (const QString &path : value)
        outputFiles_.append(ChangeFileExt(path, defaultExt_));
}

void TMP3Coder::Assign(const TMP3Coder &source)
{
    sampleRate_ = source.sampleRate_;
    mode_ = source.mode_;
    bitrate_ = source.bitrate_;
    maxBitrate_ = source.maxBitrate_;
    quality_ = source.quality_;
    private_ = source.private_;
    crc_ = source.crc_;
    copyright_ = source.copyright_;
    original_ = source.original_;
    writeVBRHeader_ = source.writeVBRHeader_;
    enableVBR_ = source.enableVBR_;
    vbrQuality_ = source.vbrQuality_;
}

void TMP3Coder::Assign(const QObject *source)
{
    if (const auto *coder = qobject_cast<const TMP3Coder *>(source)) {
        Assign(*coder);
        return;
    }
    const char *name = source ? source->metaObject()->className() : "nil";
    throw Exception(std::string("Cannot assign a ") + name + " to a TMP3Coder");
}

void TMP3Coder::FillConfig()
{
    // Only these fields are ever written; the rest of the record stays as zeroed at construction.
    BE_CONFIG_LHV1 &c = config_.format.LHV1;
    config_.dwConfig = BE_CONFIG_LAME;
    c.dwStructVersion = 1;
    c.dwStructSize = sizeof(BE_CONFIG);
    c.dwSampleRate = inputSampleRate_;
    c.dwReSampleRate = sampleRate_ == inputSampleRate_ ? 0 : sampleRate_;
    c.nMode = mode_;
    c.dwBitrate = bitrate_;
    c.dwMaxBitrate = maxBitrate_;
    c.nPreset = quality_;
    c.dwMpegVersion = MPEG1;
    c.dwPsyModel = 0;
    c.dwEmphasis = 0;
    c.bPrivate = beBool(private_);
    c.bCRC = beBool(crc_);
    c.bCopyright = beBool(copyright_);
    c.bOriginal = beBool(original_);
    c.bWriteVBRHeader = BE_TRUE; // the first frame is reserved for the Info frame, CBR or VBR
    c.bEnableVBR = beBool(enableVBR_);
    c.nVBRQuality = vbrQuality_;
}

int TMP3Coder::InitStream()
{
    CloseStream();
    if (inputChannels_ <= 0 || inputSampleRate_ == 0 || !api_.beInitStream)
        return static_cast<int>(BE_ERR_INVALID_FORMAT_PARAMETERS);
    FillConfig();

    uint32_t encoderSamples = 0, bufferSize = 0;
    HBE_STREAM handle = 0;
    const BE_ERR code = api_.beInitStream(&config_, &encoderSamples, &bufferSize, &handle);
    if (code != BE_ERR_SUCCESSFUL)
        return static_cast<int>(code);

    const int outChannels = mode_ == MONO ? 1 : 2;
    const uint32_t frames = encoderSamples / static_cast<uint32_t>(outChannels);
    // A stream that takes no samples, or has nowhere to put its output, would leave every caller
    // looping without progress: refuse it here.
    if (frames == 0 || bufferSize == 0) {
        if (api_.beCloseStream)
            api_.beCloseStream(handle);
        return static_cast<int>(BE_ERR_INVALID_FORMAT_PARAMETERS);
    }

    streamHandle_ = handle;
    streamInChannels_ = inputChannels_;
    streamOutChannels_ = outChannels;
    samplesPerChunk_ = frames * static_cast<uint32_t>(inputChannels_);
    mp3BufferSize_ = bufferSize;
    mp3Buffer_.assign(bufferSize, 0);
    streamOpen_ = true;
    return static_cast<int>(BE_ERR_SUCCESSFUL);
}

int TMP3Coder::EncodeChunk(uint32_t samples, const int16_t *in, uint8_t *out, uint32_t &outBytes)
{
    outBytes = 0;
    if (!streamOpen_)
        return static_cast<int>(BE_ERR_INVALID_HANDLE);
    const size_t frames = samples / static_cast<uint32_t>(streamInChannels_);
    const auto encoderSamples = static_cast<uint32_t>(frames * static_cast<size_t>(streamOutChannels_));
    const int16_t *pcm = in;
    if (streamInChannels_ != streamOutChannels_) {
        if (mixBuffer_.size() < encoderSamples)
            mixBuffer_.resize(encoderSamples);
        ChannelMixer::Mix(in, streamInChannels_, mixBuffer_.data(), streamOutChannels_, frames);
        pcm = mixBuffer_.data();
    }
    return static_cast<int>(api_.beEncodeChunk(streamHandle_, encoderSamples, pcm, out, &outBytes));
}

int TMP3Coder::DeinitStream(uint8_t *out, uint32_t &outBytes)
{
    outBytes = 0;
    if (!streamOpen_)
        return static_cast<int>(BE_ERR_INVALID_HANDLE);
    return static_cast<int>(api_.beDeinitStream(streamHandle_, out, &outBytes));
}

int TMP3Coder::WriteInfoFrame(const QString &mp3Path)
{
    if (!streamOpen_)
        return static_cast<int>(BE_ERR_INVALID_HANDLE);
    if (!api_.beWriteVBRHeader)
        return static_cast<int>(BE_ERR_SUCCESSFUL);
    return static_cast<int>(api_.beWriteVBRHeader(QFile::encodeName(mp3Path).constData()));
}

void TMP3Coder::CloseStream()
{
    mp3Buffer_.clear();
    mp3Buffer_.shrink_to_fit();
    mixBuffer_.clear();
    mixBuffer_.shrink_to_fit();
    if (!streamOpen_)
        return;
    streamOpen_ = false;
    if (api_.beCloseStream)
        api_.beCloseStream(streamHandle_);
    streamHandle_ = 0;
    samplesPerChunk_ = 0;
    mp3BufferSize_ = 0;
}

void TMP3Coder::ProcessFiles()
{
    // A second batch started from one of the first's events would share its stream and buffers.
    if (processing_)
        throw EMP3CoderError("ProcessFiles is already running");
    processing_ = true;
    struct Reset {
        bool &flag;
        ~Reset() { flag = false; }
    } reset{processing_};

    cancelled_ = false;
    if (OnBeginProcess)
        OnBeginProcess(this);
    // The lists may be reassigned by an event handler; the batch goes through the ones it started with.
    const QStringList inputs = inputFiles_;
    const QStringList outputs = outputFiles_;
    for (int i = 0; i < inputs.size(); ++i) {
        if (OnBeginFile)
            OnBeginFile(this, static_cast<uint16_t>(i), inputs[i]);
        if (i >= outputs.size())
            throw Exception("List index out of bounds (" + std::to_string(i) + ")");
        if (!ProcessFile(i, inputs[i], outputs[i]))
            return;
        if (OnEndFile)
            OnEndFile(this, static_cast<uint16_t>(i), outputs[i]);
    }
    if (OnEndProcess)
        OnEndProcess(this);
}

bool TMP3Coder::ProcessFile(int index, const QString &inputPath, const QString &outputPath)
{
    Q_UNUSED(index);
    QFile input(inputPath);
    if (!input.open(QIODevice::ReadOnly))
        throw Exception(
            QStringLiteral("Cannot open file \"%1\". %2").arg(inputPath, input.errorString()).toStdString());

    const WavLayout layout = WavLayout::Read(input);
    uint64_t offset = 0, total = 0;
    switch (layout.status) {
    case WavLayout::Status::NotWave:
        // Headerless PCM carries no format of its own: it is taken to be the MP3's.
        setInputSampleRate(sampleRate_);
        setInputChannels(Mode() == MONO ? 1 : 2);
        total = static_cast<uint64_t>(input.size());
        break;
    case WavLayout::Status::Ok:
        setInputSampleRate(layout.sampleRate);
        setInputChannels(layout.channels);
        offset = layout.dataOffset;
        total = layout.dataSize;
        break;
    case WavLayout::Status::Truncated:
        throw EMP3CoderError("Read Error");
    case WavLayout::Status::Unsupported:
        throw EMP3CoderError(QStringLiteral("Cannot convert \"%1\": only 16-bit PCM WAV files are supported")
                                 .arg(inputPath)
                                 .toStdString());
    }
    if (!input.seek(static_cast<qint64>(offset)))
        throw EMP3CoderError("Read Error");

    // The stream is opened before the output exists, so a refused stream leaves nothing on disk.
    const int initCode = InitStream();
    if (initCode != 0)
        throw EMP3CoderError("beInitStream failed " + std::to_string(initCode));
    StreamCloser closer(*this);

    // A new file, which takes the output's name when the file ends (cancelled or not) and is gone after
    // a failure, the file at that name kept. Unbuffered, so a full disk shows at the write that failed.
    TNewFile output(outputPath, 0);
    if (!output.isOpen())
        throw Exception(QStringLiteral("Cannot create file \"%1\". %2")
                            .arg(outputPath, output.errorString())
                            .toStdString());

    // One chunk is one encoder call's worth of input samples, two bytes each.
    const uint64_t chunkSize = static_cast<uint64_t>(SamplesPerChunk()) * 2;
    std::vector<int16_t> buffer(static_cast<size_t>(SamplesPerChunk()));
    uint32_t outBytes = 0;
    uint64_t done = 0;
    while (done != total) {
        const uint64_t n = std::min(chunkSize, total - done);
        if (readFully(input, reinterpret_cast<char *>(buffer.data()), static_cast<qint64>(n)) !=
            static_cast<qint64>(n))
            throw EMP3CoderError("Read Error");
        // An odd last byte is half a sample: it is dropped.
        const int code =
            EncodeChunk(static_cast<uint32_t>(n / 2), buffer.data(), mp3Buffer_.data(), outBytes);
        if (code != 0)
            throw EMP3CoderError("beEncodeChunk failed " + std::to_string(code));
        writeFully(output, mp3Buffer_.data(), outBytes, mp3BufferSize_, "Write Error");
        done += n;
        const auto percent =
            static_cast<uint16_t>(static_cast<double>(done) / static_cast<double>(total) * 100.0);
        if (OnProgress)
            OnProgress(this, percent);
        if (cancelled_) {
            commit(output); // no flush: the closer releases the stream
            return false;
        }
    }

    // Whatever the flush reports is written; a failed flush still ends the batch, since the MP3 lacks
    // its last frames.
    const int flushCode = DeinitStream(mp3Buffer_.data(), outBytes);
    writeFully(output, mp3Buffer_.data(), outBytes, mp3BufferSize_, "Write error");
    if (flushCode != 0)
        throw EMP3CoderError("beDeinitStream failed " + std::to_string(flushCode));
    const int headerCode = WriteInfoFrame(output.handlePath());
    if (headerCode != 0)
        throw EMP3CoderError("beWriteVBRHeader failed " + std::to_string(headerCode));
    commit(output);
    return true;
}
