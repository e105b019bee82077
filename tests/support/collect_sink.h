// SPDX-License-Identifier: GPL-3.0-or-later
// The one stage that tests and benchmarks put at the end (or in the middle) of an audio chain: it
// keeps what it is given, standing in for playback, a sender or an ear. Written on the producer's
// thread, read on the test's: every member is read under `m` while audio may still flow, or after
// the chain has stopped.
#pragma once

#include "audio/stage.h"

#include <QByteArray>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <vector>

class CollectSink : public Stage {
public:
    struct Options {
        // Active before anyone opens it, and after a close (a stage that nothing opens, as at the
        // end of a bench chain).
        bool openAtStart = false;
        // Blocks written while it is closed are kept too, so that a test sees a delivery that
        // follows a close; otherwise they are dropped, as a closed device drops them.
        bool keepWhileClosed = false;
        // Keep the bytes and each block's format and size; without, only the counts (a long benchmark).
        bool keep = true;
        // Hand every block on to the linked stage after keeping it (a tap in the middle of a chain).
        bool passOn = false;
    };
    CollectSink() : CollectSink(Options{}) {}
    explicit CollectSink(Options o) : open_(o.openAtStart), m_options(o) {}

    // Called on the writer's thread for every block taken, before it is kept (benchmarks time it).
    std::function<void(const AudioFormat&, qsizetype)> onBlock;
    // Whether open() succeeds.
    std::atomic<bool> canOpen{true};

    bool active() const override { std::lock_guard l(m); return open_; }
    void write(const AudioFormat& f, const char* data, qsizetype size) override
    {
        {
            std::lock_guard l(m);
            if (!open_ && !m_options.keepWhileClosed)
                return;
            if (onBlock)
                onBlock(f, size);
            ++blockCount;
            byteCount += size;
            if (m_options.keep) {
                formats.push_back(f);
                sizes.push_back(size);
                bytes.append(data, size);
            }
            cv.notify_all();
        }
        if (m_options.passOn)
            deliver(f, data, size);
    }
    // The bytes as 16-bit samples.
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
        return cv.wait_for(l, std::chrono::milliseconds(ms), [&] { return byteCount >= n; });
    }
    // Forgets what was kept (the counts too).
    void clear()
    {
        std::lock_guard l(m);
        formats.clear();
        sizes.clear();
        bytes.clear();
        blockCount = 0;
        byteCount = 0;
    }

    mutable std::mutex m;
    std::condition_variable cv;
    bool open_ = false;
    std::vector<AudioFormat> formats;
    std::vector<qsizetype> sizes;
    QByteArray bytes;
    std::atomic<long> blockCount{0};
    std::atomic<qsizetype> byteCount{0};

protected:
    bool doOpen() override
    {
        std::lock_guard l(m);
        open_ = canOpen;
        return open_;
    }
    void doClose() override { std::lock_guard l(m); open_ = m_options.openAtStart; }

private:
    Options m_options;
};
