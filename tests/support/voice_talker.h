// SPDX-License-Identifier: GPL-3.0-or-later
// A talker for the exchange's voice tests: a tone encoded with the station's GSM 6.10 encoder, cut
// into payloads and sent as voice datagrams from a socket of its own, as a station's sender does.
#pragma once

#include "audio/gsm_codec.h"
#include "support/collect_sink.h"
#include "audio/tone.h"
#include "audio/voice_packet.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QHostAddress>
#include <QUdpSocket>

// A voice base port whose seven channel ports are free on this PC, 0 if none was found.
inline int freeVoiceBase()
{
    for (int base = 41000 + int(QCoreApplication::applicationPid() % 200) * 100; base < 64000; base += 997) {
        bool free = true;
        for (int offset : {9, 16, 23, 77, 84, 123, 184}) {
            QUdpSocket probe;
            free = free && probe.bind(QHostAddress::AnyIPv4, quint16(base + offset), QAbstractSocket::DontShareAddress);
        }
        if (free)
            return base;
    }
    return 0;
}

class VoiceTalker {
public:
    // `blocks` GSM blocks of a tone of `freq`, at 22050 Hz.
    VoiceTalker(double freq, int blocks, QHostAddress to = QHostAddress::LocalHost) : m_to(std::move(to))
    {
        GsmEncoder encoder;
        CollectSink sink;
        encoder.link(&sink);
        encoder.open();
        const auto pcm = tone::sine(freq, gsm_rate, blocks * gsm_block_samples + gsm_block_samples);
        encoder.write(AudioFormat{WAVE_FORMAT_PCM, gsm_rate, 16, 1}, reinterpret_cast<const char*>(pcm.data()),
                      qsizetype(pcm.size() * 2));
        encoder.close();
        gsm = sink.bytes.left(blocks * gsm_block_bytes);
        m_socket.bind(QHostAddress::AnyIPv4, 0);
    }

    // The announcement a sender makes at open (format-changed flag set).
    void announce(int port, int epoch = 3)
    {
        std::vector<unsigned char> buf;
        voice::build_announcement(buf, true, epoch, AudioFormat{WAVE_FORMAT_GSM610, gsm_rate, 0, 1});
        send(buf.data(), voice::kAnnouncementSize, port);
    }
    // The next audio packet: `blocks` blocks from where the last one ended.
    QByteArray packet(int blocks, int epoch = 3)
    {
        const QByteArray payload = gsm.mid(m_at, blocks * gsm_block_bytes);
        m_at += payload.size();
        m_seq = (m_seq + 1) % 16;
        std::vector<unsigned char> buf;
        voice::build_audio(buf, payload.constData(), std::size_t(payload.size()), m_seq, epoch, true);
        return QByteArray(reinterpret_cast<const char*>(buf.data()), qsizetype(voice::audio_size(std::size_t(payload.size()))));
    }
    void send(const QByteArray& datagram, int port)
    {
        m_socket.writeDatagram(datagram, m_to, quint16(port));
    }
    void send(const unsigned char* data, std::size_t size, int port)
    {
        send(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), port);
    }
    qsizetype sentBytes() const { return m_at; }
    // Opens again on the same socket, as a peer that keeps its socket does: the sequence starts
    // again (announce() first, as every open does).
    void reopen() { m_seq = 0; }

    QByteArray gsm;   // every block this talker can send

private:
    QHostAddress m_to;
    QUdpSocket m_socket;
    qsizetype m_at = 0;
    int m_seq = 0;
};
