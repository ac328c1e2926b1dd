#pragma once

#include "CoderVersion.h"
#include "MP3CoderError.h"
#include "MP3Coder_Dll.h"

#include <QObject>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// Channel mode of the MP3, passed to the encoder by ordinal (BE_MP3_MODE_*).
enum TMP3CoderMode : int32_t { STEREO, JSTEREO, DUALCHANNEL, MONO };

// Holds the MP3 encoder settings and uses them in two ways: the batch (ProcessFiles) converts WAV or
// headerless 16-bit PCM files into MP3 files, and the stream operations let the ripper encode a track as
// it comes off the disc.
//
// Input and output formats. SampleRate and Mode describe the MP3. InputSampleRate and InputChannels
// describe the samples handed to EncodeChunk; the coder mixes channels itself and has the encoder resample,
// so the MP3 always plays at the speed and pitch of its input. The batch sets the input format from each
// WAV file's "fmt " chunk, and for headerless PCM to SampleRate and Mode.
class TMP3Coder : public QObject
{
    Q_OBJECT
    Q_PROPERTY(uint32_t SampleRate READ SampleRate WRITE setSampleRate)
    Q_PROPERTY(uint32_t Bitrate READ Bitrate WRITE setBitrate)
    Q_PROPERTY(uint32_t MaxBitrate READ MaxBitrate WRITE setMaxBitrate)
    Q_PROPERTY(MPEG_QUALITY Quality READ Quality WRITE setQuality)
    Q_PROPERTY(bool Private READ Private WRITE setPrivate)
    Q_PROPERTY(bool CRC READ CRC WRITE setCRC)
    Q_PROPERTY(TMP3CoderMode Mode READ Mode WRITE setMode)
    Q_PROPERTY(bool Copyright READ Copyright WRITE setCopyright)
    Q_PROPERTY(bool Original READ Original WRITE setOriginal)
    Q_PROPERTY(bool WriteVBRHeader READ WriteVBRHeader WRITE setWriteVBRHeader)
    Q_PROPERTY(bool EnableVBR READ EnableVBR WRITE setEnableVBR)
    Q_PROPERTY(int32_t VBRQuality READ VBRQuality WRITE setVBRQuality)
    Q_PROPERTY(QStringList InputFiles READ InputFiles WRITE setInputFiles)
    Q_PROPERTY(QStringList OutputFiles READ OutputFiles WRITE setOutputFiles)
    Q_PROPERTY(QString DefaultExt READ DefaultExt WRITE setDefaultExt)
    Q_PROPERTY(uint32_t InputSampleRate READ InputSampleRate WRITE setInputSampleRate)
    Q_PROPERTY(int InputChannels READ InputChannels WRITE setInputChannels)

public:
    using TNotifyEvent = std::function<void(QObject *sender)>;
    using TProcessFileEvent = std::function<void(QObject *sender, uint16_t num, const QString &fileName)>;
    using TProgressEvent = std::function<void(QObject *sender, uint16_t percentComplete)>;

    explicit TMP3Coder(QObject *parent = nullptr);
    // Tests hand in a scripted encoder; the window uses the one above (DefaultLameApi()).
    explicit TMP3Coder(const LameApi &api, QObject *parent = nullptr);
    ~TMP3Coder() override;

    // Replaces the encoder table; an open stream is closed first through the old table.
    void setApi(const LameApi &api);

    uint32_t SampleRate() const { return sampleRate_; }
    void setSampleRate(uint32_t value) { sampleRate_ = value; }
    uint32_t Bitrate() const { return bitrate_; }
    void setBitrate(uint32_t value) { bitrate_ = value; }
    uint32_t MaxBitrate() const { return maxBitrate_; }
    void setMaxBitrate(uint32_t value) { maxBitrate_ = value; }
    MPEG_QUALITY Quality() const { return quality_; }
    void setQuality(MPEG_QUALITY value) { quality_ = value; }
    bool Private() const { return private_; }
    void setPrivate(bool value) { private_ = value; }
    bool CRC() const { return crc_; }
    void setCRC(bool value) { crc_ = value; }
    // Stored as 0..3; an ordinal outside TMP3CoderMode leaves the mode unchanged.
    TMP3CoderMode Mode() const;
    void setMode(TMP3CoderMode value);
    bool Copyright() const { return copyright_; }
    void setCopyright(bool value) { copyright_ = value; }
    bool Original() const { return original_; }
    void setOriginal(bool value) { original_ = value; }
    // The page's VBR header choice, kept and copied with the settings. Every stream asks the encoder for
    // the header whatever it holds: each MP3 starts with LAME's Xing/Info frame (WriteInfoFrame), so
    // that players know its exact length and play it without the encoder's delay and padding.
    bool WriteVBRHeader() const { return writeVBRHeader_; }
    void setWriteVBRHeader(bool value) { writeVBRHeader_ = value; }
    bool EnableVBR() const { return enableVBR_; }
    // Also sets WriteVBRHeader; clearing WriteVBRHeader afterwards keeps VBR without the header.
    void setEnableVBR(bool value);
    int32_t VBRQuality() const { return vbrQuality_; }
    void setVBRQuality(int32_t value) { vbrQuality_ = value; }

    QStringList InputFiles() const { return inputFiles_; }
    // Copies the list and derives OutputFiles from it: each path with its extension (the part from the
    // last "." of the file name) replaced by DefaultExt, or DefaultExt appended. Derived once, here.
    void setInputFiles(const QStringList &value);
    QStringList OutputFiles() const { return outputFiles_; }
    void setOutputFiles(const QStringList &value) { outputFiles_ = value; }
    QString DefaultExt() const { return defaultExt_; }
    void setDefaultExt(const QString &value) { defaultExt_ = value; }
    const TCoderVersion *CoderVersion() const { return coderVersion_.get(); }

    uint32_t InputSampleRate() const { return inputSampleRate_; }
    void setInputSampleRate(uint32_t value) { inputSampleRate_ = value; }
    int InputChannels() const { return inputChannels_; }
    void setInputChannels(int value) { inputChannels_ = value; }

    // Copies the MP3 settings (SampleRate, Mode, Bitrate, MaxBitrate, Quality, Private, CRC, Copyright,
    // Original, WriteVBRHeader, EnableVBR, VBRQuality) from another coder; no file lists, no events.
    void Assign(const TMP3Coder &source);
    // As above for a TMP3Coder; any other source (or none) raises Exception "Cannot assign ...".
    void Assign(const QObject *source);

    // Converts InputFiles[i] into OutputFiles[i], one after the other, on the caller's thread, processing
    // pending events after every chunk. Every failure ends the batch with an exception (files already
    // written stay on disk): Exception for an input that cannot be opened, an output that cannot be
    // created or a missing output name, EMP3CoderError for everything else. CancelProcess ends it
    // quietly, leaving the current MP3 without its last frames.
    void ProcessFiles();
    void CancelProcess() { cancelled_ = true; }

    // Stream operations, for one stream at a time. Contract for the ripper:
    // - set Mode/SampleRate (the MP3) and InputChannels/InputSampleRate (the samples delivered) first;
    // - InitStream returns the encoder's code, 0 on success; on failure no stream is open;
    // - SamplesPerChunk counts INPUT samples (interleaved, all InputChannels channels): a full
    //   EncodeChunk call hands over exactly that many, a last shorter call fewer. A trailing partial frame
    //   of a call is dropped. Calls of up to twice SamplesPerChunk are accepted;
    // - Mp3BufferSize bytes are enough for the output of one such call, channel mixing and resampling
    //   included, and for DeinitStream's flush;
    // - EncodeChunk and DeinitStream without an open stream return BE_ERR_INVALID_HANDLE and encode nothing.
    int InitStream();
    uint32_t SamplesPerChunk() const { return samplesPerChunk_; }
    uint32_t Mp3BufferSize() const { return mp3BufferSize_; }
    int EncodeChunk(uint32_t samples, const int16_t *in, uint8_t *out, uint32_t &outBytes);
    int DeinitStream(uint8_t *out, uint32_t &outBytes);
    // After DeinitStream's bytes are written to the MP3 file, and before CloseStream: puts the encoder's
    // Xing/Info frame in place of the blank first frame of that file. Returns the encoder's code.
    int WriteInfoFrame(const QString &mp3Path);
    void CloseStream();

    TNotifyEvent OnBeginProcess;
    TProcessFileEvent OnBeginFile;
    TProcessFileEvent OnEndFile;
    TNotifyEvent OnEndProcess;
    TProgressEvent OnProgress;

private:
    // Converts one file; false when the batch was cancelled during it.
    bool ProcessFile(int index, const QString &inputPath, const QString &outputPath);
    void FillConfig();

    LameApi api_;

    uint32_t sampleRate_ = 44100;
    uint32_t bitrate_ = 128;
    uint32_t maxBitrate_ = 320;
    MPEG_QUALITY quality_ = NORMAL_QUALITY;
    bool private_ = false;
    bool crc_ = true;
    int32_t mode_ = STEREO;
    bool copyright_ = false;
    bool original_ = false;
    bool writeVBRHeader_ = false;
    bool enableVBR_ = false;
    int32_t vbrQuality_ = 4;
    QStringList inputFiles_;
    QStringList outputFiles_;
    std::unique_ptr<TCoderVersion> coderVersion_;
    QString defaultExt_ = QStringLiteral(".mp3");
    uint32_t inputSampleRate_ = 44100;
    int inputChannels_ = 2;

    BE_CONFIG config_{};
    bool streamOpen_ = false;
    HBE_STREAM streamHandle_ = 0;
    uint32_t samplesPerChunk_ = 0;
    uint32_t mp3BufferSize_ = 0;
    int streamInChannels_ = 0;  // fixed for the stream's life, whatever the properties do meanwhile
    int streamOutChannels_ = 0; // what the encoder takes: 1 for MONO, else 2
    std::vector<uint8_t> mp3Buffer_;
    std::vector<int16_t> mixBuffer_;

    std::atomic<bool> cancelled_{false};
    bool processing_ = false;
};
