#include "session/ConversionRun.h"

#include "encoder/MP3Coder.h"

#include <QThread>

TConversionRun::TConversionRun(TMP3Coder &coder, const QStringList &files, const TCoderPage &page,
                               QObject *parent)
    : QObject(parent), m_coder(coder)
{
    ApplyCoderPage(coder, page);
    coder.setInputFiles(files);
}

TConversionRun::~TConversionRun()
{
    Cancel();
    Wait();
}

void TConversionRun::Start()
{
    if (m_thread)
        return;
    m_coder.OnBeginFile = [this](QObject *, uint16_t index, const QString &file) {
        emit FileStarted(index, file);
    };
    m_coder.OnProgress = [this](QObject *, uint16_t percent) {
        emit Progress(percent);
        // The batch forgets a cancel made before it began.
        if (m_cancelled)
            m_coder.CancelProcess();
    };
    m_thread.reset(QThread::create([this] {
        QString failure;
        try {
            if (!m_cancelled)
                m_coder.ProcessFiles();
        } catch (const std::exception &e) {
            failure = QString::fromUtf8(e.what());
        }
        m_coder.OnBeginFile = nullptr;
        m_coder.OnProgress = nullptr;
        emit Finished(failure);
    }));
    m_thread->start();
}

void TConversionRun::Cancel()
{
    m_cancelled = true;
    m_coder.CancelProcess();
}

void TConversionRun::Wait()
{
    if (m_thread)
        m_thread->wait();
}
