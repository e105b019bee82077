#include "audio/wave_out.h"

#include <QAudioSink>
#include <QElapsedTimer>
#include <QMediaDevices>
#include <QTimer>

qsizetype WaveOut::StandingDelay::after_top_up(qsizetype buffered, qint64 now_ms)
{
    if (m_low < 0 || buffered < m_low)
        m_low = buffered;
    if (now_ms - m_since < window_ms)
        return 0;
    const qsizetype drop = m_low > reserve_buffered ? (m_low - reserve_buffered) & ~qsizetype(3) : 0;
    m_low = -1;
    m_since = now_ms;
    return drop;
}

class WaveOut::Worker : public QObject {
public:
    explicit Worker(WaveOut& owner) : m_owner(owner) {}

    bool start()
    {
        stop();
        if (!m_sink) {
            const QAudioDevice device = QMediaDevices::defaultAudioOutput();
            if (device.isNull())
                return false;
            QAudioFormat format;
            format.setSampleRate(playback_format.rate);
            format.setChannelCount(playback_format.channels);
            format.setSampleFormat(QAudioFormat::Int16);
            m_sink = new QAudioSink(device, format, this);
            m_sink->setBufferSize(format.bytesForDuration(60000));   // 60 ms in the device
        }
        m_io = m_sink->start();
        if (!m_io || m_sink->error() != QAudio::NoError) {
            release();   // a sink that failed is not kept: the next open asks for the device again
            return false;
        }
        m_delay = {};
        m_clock.start();
        // The device drains at its own pace: top it up regularly as well as on every write.
        if (!m_timer) {
            m_timer = new QTimer(this);
            m_timer->setTimerType(Qt::PreciseTimer);
            connect(m_timer, &QTimer::timeout, this, [this] { pump(); });
        }
        m_timer->start(10);
        return true;
    }

    // Stops the device. The sink itself is kept for the next start: Qt's sound back end does not
    // survive sinks made and deleted in quick turns on several threads (a station's channel keys
    // and push-to-talk close and open the loudspeaker many times), so it goes only with the stage.
    void stop()
    {
        if (m_timer)
            m_timer->stop();
        if (m_sink)
            m_sink->stop();
        m_io = nullptr;
    }

    void release()
    {
        stop();
        delete m_timer;
        m_timer = nullptr;
        delete m_sink;
        m_sink = nullptr;
    }

    void pump()
    {
        m_owner.m_pumpQueued = false;
        if (!m_sink || !m_io)
            return;
        // Ask the device before taking the buffer's lock: the question goes to the sound server,
        // and a writer or a close must never wait on that.
        const qsizetype room = m_sink->bytesFree() & ~qsizetype(3);
        QByteArray chunk;
        {
            std::lock_guard lock(m_owner.m_mutex);
            const qsizetype n = std::min(room, m_owner.m_buffer.size());
            chunk = m_owner.m_buffer.left(n);
            m_owner.m_buffer.remove(0, n);
            if (const qsizetype drop = m_delay.after_top_up(m_owner.m_buffer.size(), m_clock.elapsed())) {
                m_owner.m_buffer.remove(0, drop);
                m_owner.m_dropped += drop;
            }
        }
        if (!chunk.isEmpty())
            m_io->write(chunk);
    }

private:
    WaveOut& m_owner;
    QAudioSink* m_sink = nullptr;
    QIODevice* m_io = nullptr;
    QTimer* m_timer = nullptr;
    StandingDelay m_delay;
    QElapsedTimer m_clock;
};

WaveOut::WaveOut() : m_worker(new Worker(*this))
{
    m_thread.setObjectName(QStringLiteral("WaveOut"));
    m_worker->moveToThread(&m_thread);
    m_thread.start();
}

WaveOut::~WaveOut()
{
    m_active = false;
    QMetaObject::invokeMethod(m_worker, [this] { m_worker->release(); }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete m_worker;
}

// Opening and closing only queue the device's start and stop to the device thread: the thread that
// opens a chain (the user-interface thread) never waits for the sound server. Audio written before
// the device has started waits in the buffer. A start that fails makes the stage inactive, unless
// the stage was closed or opened again meanwhile.
bool WaveOut::doOpen()
{
    if (QMediaDevices::defaultAudioOutput().isNull()) {
        m_active = false;
        return false;
    }
    const unsigned opening = ++m_opening;
    m_active = true;
    QMetaObject::invokeMethod(m_worker, [this, opening] {
        if (!m_worker->start() && m_opening == opening)
            m_active = false;
    }, Qt::QueuedConnection);
    return true;
}

void WaveOut::doClose()
{
    ++m_opening;
    m_active = false;
    QMetaObject::invokeMethod(m_worker, [this] { m_worker->stop(); }, Qt::QueuedConnection);
    std::lock_guard lock(m_mutex);
    m_buffer.clear();
}

void WaveOut::write(const AudioFormat& format, const char* data, qsizetype size)
{
    if (!m_active || !(format == playback_format) || size <= 0)
        return;
    {
        std::lock_guard lock(m_mutex);
        m_buffer.append(data, size & ~qsizetype(3));
        if (const qsizetype drop = overflow_drop(m_buffer.size())) {
            m_buffer.remove(0, drop);
            m_dropped += drop;
        }
    }
    if (!m_pumpQueued.exchange(true))
        QMetaObject::invokeMethod(m_worker, [this] { m_worker->pump(); }, Qt::QueuedConnection);
}
