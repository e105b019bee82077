#include "audio/wave_in.h"

#include <QAudioSource>
#include <QMediaDevices>

class WaveIn::Worker : public QObject {
public:
    explicit Worker(WaveIn& owner) : m_owner(owner) {}

    bool start()
    {
        stop();
        const QAudioDevice device = QMediaDevices::defaultAudioInput();
        if (device.isNull())
            return false;
        QAudioFormat format;
        format.setSampleRate(capture_format.rate);
        format.setChannelCount(capture_format.channels);
        format.setSampleFormat(QAudioFormat::Int16);
        m_source = new QAudioSource(device, format, this);
        m_source->setBufferSize(format.bytesForDuration(20000));   // 20 ms
        m_io = m_source->start();
        if (!m_io || m_source->error() != QAudio::NoError) {
            stop();
            return false;
        }
        connect(m_io, &QIODevice::readyRead, this, [this] {
            const QByteArray block = m_io->readAll();
            if (!block.isEmpty())
                m_owner.deliver(capture_format, block.constData(), block.size());
        });
        return true;
    }

    void stop()
    {
        if (m_source) {
            m_source->stop();
            delete m_source;
        }
        m_source = nullptr;
        m_io = nullptr;
    }

private:
    WaveIn& m_owner;
    QAudioSource* m_source = nullptr;
    QIODevice* m_io = nullptr;
};

WaveIn::WaveIn() : m_worker(new Worker(*this))
{
    m_thread.setObjectName(QStringLiteral("waveIN1"));
    m_worker->moveToThread(&m_thread);
    m_thread.start();
}

WaveIn::~WaveIn()
{
    doClose();
    m_thread.quit();
    m_thread.wait();
    delete m_worker;
}

bool WaveIn::doOpen()
{
    bool ok = false;
    QMetaObject::invokeMethod(m_worker, [&] { ok = m_worker->start(); }, Qt::BlockingQueuedConnection);
    m_active = ok;
    return ok;
}

void WaveIn::doClose()
{
    m_active = false;
    QMetaObject::invokeMethod(m_worker, [this] { m_worker->stop(); }, Qt::BlockingQueuedConnection);
}
