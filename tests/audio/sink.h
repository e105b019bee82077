// A stage that keeps what it is given, standing in for playback or a sender in the tests.
#pragma once

#include "audio/stage.h"

#include <QByteArray>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

class CollectSink : public Stage {
public:
    bool active() const override { std::lock_guard l(m); return open_; }
    void write(const AudioFormat& f, const char* data, qsizetype size) override
    {
        std::lock_guard l(m);
        if (!open_)
            return;
        formats.push_back(f);
        sizes.push_back(size);
        bytes.append(data, size);
        cv.notify_all();
    }
    std::vector<int16_t> samples() const
    {
        std::lock_guard l(m);
        std::vector<int16_t> out(size_t(bytes.size()) / 2);
        if (!out.empty())
            std::memcpy(out.data(), bytes.constData(), out.size() * 2);
        return out;
    }
    // Waits until at least `n` bytes arrived or `ms` passed.
    bool waitBytes(qsizetype n, int ms)
    {
        std::unique_lock l(m);
        return cv.wait_for(l, std::chrono::milliseconds(ms), [&] { return bytes.size() >= n; });
    }

    mutable std::mutex m;
    std::condition_variable cv;
    bool open_ = false;
    std::vector<AudioFormat> formats;
    std::vector<qsizetype> sizes;
    QByteArray bytes;

protected:
    bool doOpen() override { std::lock_guard l(m); open_ = true; return true; }
    void doClose() override { std::lock_guard l(m); open_ = false; }
};
