#pragma once

#include "rip/ExtractionPlan.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

class QThread;
class TMP3Coder;

// The batch conversion of WAV files to MP3 on a thread of its own: each file beside its WAV, with the
// coder page as it was at the start. Reports through signals emitted on its thread (queued to a
// receiver on another thread, in order).
class TConversionRun : public QObject
{
    Q_OBJECT

public:
    // The coder is the session's: nothing else may use it until Finished. Raises when the coder page
    // has no number where one belongs.
    TConversionRun(TMP3Coder &coder, const QStringList &files, const TCoderPage &page,
                   QObject *parent = nullptr);
    // Cancels the batch and waits for its thread.
    ~TConversionRun() override;
    TConversionRun(const TConversionRun &) = delete;
    TConversionRun &operator=(const TConversionRun &) = delete;

    void Start();
    // Ends the batch after the chunk being encoded; the file keeps what was encoded. Safe from any thread.
    void Cancel();
    void Wait();

signals:
    void FileStarted(int index, const QString &file);
    void Progress(int percent);
    // The failure that ended the batch; empty when every file was converted or it was cancelled.
    void Finished(const QString &failure);

private:
    TMP3Coder &m_coder;
    std::unique_ptr<QThread> m_thread;
    std::atomic<bool> m_cancelled{false};
};
