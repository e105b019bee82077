// SPDX-License-Identifier: GPL-3.0-or-later
// An audio stage: one link of a chain (capture -> encoder -> sender, receiver -> decoder ->
// resampler -> playback, file reader -> ...). Opening a stage opens the stages it feeds; closing it
// closes them. The link to the next stage can be changed while audio flows.
//
// Threads: write() and deliver() run on the producer's thread (a device callback, a receive
// thread, a reader thread); open(), close() and link() run on the user-interface thread. A stage
// keeps its own state safe against a close() that comes while a write() is in progress.
#pragma once

#include <QtGlobal>
#include <mutex>

constexpr int WAVE_FORMAT_PCM = 1;
constexpr int WAVE_FORMAT_GSM610 = 49;

// The format of the data a stage hands on; it travels with every block.
struct AudioFormat {
    int tag = WAVE_FORMAT_PCM;
    int rate = 22050;
    int bits = 16;
    int channels = 1;
    bool operator==(const AudioFormat&) const = default;
};

class Stage {
public:
    virtual ~Stage() = default;

    // Opens the stages this one feeds, then this one; returns whether this stage is now active.
    bool open();
    // Closes this stage, then the stages it feeds.
    void close();
    virtual bool active() const = 0;

    // The stage this one feeds (nullptr: none).
    void link(Stage* next);
    Stage* next() const;

    // A block from the stage before, described by `format`.
    virtual void write(const AudioFormat& format, const char* data, qsizetype size) = 0;
    // `size` bytes of the stream in `format` were lost on the way. A stage that can stand in for
    // them (the decoder) does, so that what follows keeps its time; the others hand the news on.
    virtual void missing(const AudioFormat& format, qsizetype size);
    // How long from now the stages from here on can go on playing what they were given, in
    // microseconds; -1 when they cannot tell (nothing plays behind them).
    virtual qint64 leadUs() const;

protected:
    virtual bool doOpen() = 0;
    virtual void doClose() = 0;
    // Hands a block on to the linked stage, if there is one. Holds the link while writing,
    // so a re-link waits for the block in flight.
    void deliver(const AudioFormat& format, const char* data, qsizetype size);
    // Tells the linked stage, if there is one, of a loss (see missing()).
    void deliverMissing(const AudioFormat& format, qsizetype size);

private:
    mutable std::mutex m_link;
    Stage* m_next = nullptr;
};
