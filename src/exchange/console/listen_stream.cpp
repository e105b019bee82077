// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/console/listen_stream.h"

#include "audio/gsm_codec.h"
#include "exchange/watch_recorder.h"

#include <algorithm>

namespace exchange {
namespace {

int indexOf(int channel)
{
    const auto it = std::find(kVoiceChannels.begin(), kVoiceChannels.end(), channel);
    return it == kVoiceChannels.end() ? -1 : int(it - kVoiceChannels.begin());
}

// Keeps the decoder's PCM of one payload.
class PcmTake : public Stage {
public:
    bool active() const override { return m_open; }
    void write(const AudioFormat& format, const char* data, qsizetype size) override
    {
        rate = format.rate;
        pcm.append(data, size);
    }
    QByteArray pcm;
    int rate = 0;

protected:
    bool doOpen() override { return m_open = true; }
    void doClose() override { m_open = false; }

private:
    bool m_open = false;
};

} // namespace

struct ListenStream::Decoding {
    Decoding()
    {
        decoder.link(&take);
        decoder.open();
    }
    ~Decoding() { decoder.close(); }
    GsmDecoder decoder;
    PcmTake take;
};

ListenStream::ListenStream(WatchRecorder* recorder, QObject* parent) : QObject(parent), m_recorder(recorder)
{
    for (auto& d : m_decoding)
        d = std::make_unique<Decoding>();
}

ListenStream::~ListenStream()
{
    if (m_recorder)
        m_recorder->setTap({});
    for (Listener& l : m_listeners)
        l.socket->disconnect(this);
}

int ListenStream::listeners(int channel) const
{
    const int i = indexOf(channel);
    return i < 0 ? 0 : m_counts[std::size_t(i)].load();
}

void ListenStream::add(std::unique_ptr<QWebSocket> client, int channel)
{
    const int i = indexOf(channel);
    if (i < 0 || !m_recorder) {
        client->close(QWebSocketProtocol::CloseCodeBadOperation,
                      m_recorder ? QStringLiteral("no such channel") : QStringLiteral("the channels are not watched"));
        client.release()->deleteLater();
        return;
    }
    QWebSocket* s = client.get();
    connect(s, &QWebSocket::disconnected, this, [this, s] { drop(s); });
    connect(s, &QWebSocket::textMessageReceived, this, [] {});
    m_listeners.push_back(Listener{std::move(client), channel, 0});
    ++m_counts[std::size_t(i)];
    retap();
}

void ListenStream::drop(QWebSocket* socket)
{
    const auto it = std::find_if(m_listeners.begin(), m_listeners.end(),
                                 [&](const Listener& l) { return l.socket.get() == socket; });
    if (it == m_listeners.end())
        return;
    --m_counts[std::size_t(indexOf(it->channel))];
    std::unique_ptr<QWebSocket> gone = std::move(it->socket);
    m_listeners.erase(it);
    gone.release()->deleteLater();   // it may be inside one of its own signals
    retap();
}

// The recorder calls the tap only while someone listens: a quiet console costs nothing.
void ListenStream::retap()
{
    const bool anyone = !m_listeners.empty();
    if (anyone == bool(m_tapped))
        return;
    m_tapped = anyone;
    if (!anyone) {
        m_recorder->setTap({});
        return;
    }
    m_recorder->setTap([this](int channel, const AudioFormat& format, const char* data, std::size_t size) {
        const int i = indexOf(channel);
        if (i < 0 || m_counts[std::size_t(i)].load() == 0)
            return;
        Decoding& d = *m_decoding[std::size_t(i)];
        d.take.pcm.clear();
        d.decoder.write(format, data, qsizetype(size));
        if (d.take.pcm.isEmpty())
            return;
        QMetaObject::invokeMethod(this, [this, channel, rate = d.take.rate, pcm = d.take.pcm] { send(channel, rate, pcm); },
                                  Qt::QueuedConnection);
    });
}

void ListenStream::send(int channel, int rate, const QByteArray& pcm)
{
    if (m_heard)
        m_heard(channel);
    for (Listener& l : m_listeners) {
        if (l.channel != channel || l.socket->bytesToWrite() > kMaxQueuedBytes)
            continue;
        if (l.rate != rate) {
            l.rate = rate;
            l.socket->sendTextMessage(QStringLiteral("{\"type\":\"format\",\"channel\":%1,\"rate\":%2}").arg(channel).arg(rate));
        }
        l.socket->sendBinaryMessage(pcm);
    }
}

} // namespace exchange
