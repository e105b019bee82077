// A voice channel that never opens: the station runs without live voice.
#pragma once

#include "station/ports.h"

class NullVoice : public VoicePort {
public:
    bool openReceiver(int) override { return false; }
    void closeReceiver(int) override {}
    bool receiverActive() const override { return false; }
    void setReceiverPort(const QString& port) override { m_rxPort = port.toInt(); }
    int receiverPort() const override { return m_rxPort; }
    long receiverCount() const override { return 0; }
    void setSenderPort(const QString&) override {}
    void closeSender() override {}
    bool openCapture() override { return false; }
    void closeCapture() override {}
    void setDataAvailableHandler(std::function<void()>) override {}

private:
    int m_rxPort = 0;
};
