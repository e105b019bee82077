// SPDX-License-Identifier: GPL-3.0-or-later
// The station's voice chains: transmit waveIN1 -> codecTX -> broadcastTX and receive
// BroadcastRX -> CodecRX -> resamplerRX -> WaveOut1, plus resampler2 -> waveOUT2 for the message
// player (which links its file reader `waveRead1` in front of codecTX or resampler2).
//
// The network stages are given from outside (VoiceNet) so that this file knows them only as
// stages with a few controls; the payload notification of the receive thread is queued to the
// thread of `uiContext` and calls the handler there, unless the receiver was closed in between.
// The microphone stays connected for the chains' whole life, so opening the capture is quick.
#pragma once

#include "audio/gsm_codec.h"
#include "audio/resampler.h"
#include "audio/wave_in.h"
#include "audio/wave_out.h"
#include "station/ports.h"

#include <QObject>
#include <QPointer>
#include <atomic>
#include <functional>

struct VoiceNet {
    Stage* sender = nullptr;     // broadcastTX
    Stage* receiver = nullptr;   // BroadcastRX
    std::function<void(const QString&)> setSenderPort;
    std::function<void(const QString&)> setReceiverPort;
    std::function<int()> receiverPort;
    std::function<long()> receiverCount;
    // Installs the callback the receiver raises on its thread for every payload it delivered.
    std::function<void(std::function<void()>)> setPayloadCallback;
};

class VoiceChains : public VoicePort {
public:
    // `soundServer`: the PulseAudio server of the microphone ("unix:/path"); empty for the user's.
    // The microphone's stream is connected here and kept ready for push-to-talk.
    VoiceChains(VoiceNet net, QObject* uiContext, const QString& soundServer = {});
    ~VoiceChains() override;

    bool openReceiver() override;
    void closeReceiver() override;
    bool receiverActive() const override;
    void setReceiverPort(const QString& port) override;
    int receiverPort() const override;
    long receiverCount() const override;
    void setSenderPort(const QString& port) override;
    void closeSender() override;
    bool openCapture() override;
    void closeCapture() override;
    void setDataAvailableHandler(std::function<void()> handler) override;

    WaveIn& waveIN1() { return m_waveIn; }
    GsmEncoder& codecTX() { return m_codecTX; }
    Stage* broadcastTX() { return m_net.sender; }
    Stage* BroadcastRX() { return m_net.receiver; }
    GsmDecoder& CodecRX() { return m_codecRX; }
    Resampler& resamplerRX() { return m_resamplerRX; }
    WaveOut& WaveOut1() { return m_waveOut1; }
    Resampler& resampler2() { return m_resampler2; }
    WaveOut& waveOUT2() { return m_waveOut2; }

private:
    VoiceNet m_net;
    QPointer<QObject> m_ui;
    std::function<void()> m_handler;   // used on the UI thread only
    // Counts the receiver's closes: a notification queued under an earlier opening is dropped.
    std::atomic<unsigned> m_opening{0};
    WaveIn m_waveIn;
    GsmEncoder m_codecTX;
    GsmDecoder m_codecRX;
    Resampler m_resamplerRX;
    WaveOut m_waveOut1;
    Resampler m_resampler2;
    WaveOut m_waveOut2;
};
