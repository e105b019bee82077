// SPDX-License-Identifier: GPL-3.0-or-later
// The sender and the receiver over real UDP on loopback.
#include "audio/broadcast_rx.h"
#include "audio/broadcast_tx.h"
#include "audio/voice_packet.h"
#include "support/collect_sink.h"
#include "support/udp_ports.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {
constexpr std::uint32_t kLoopback = 0x7F000001u;

// A plain socket on a free loopback port that collects what the sender sends.
struct Capture {
    int fd = -1;
    int port = 0;
    Capture()
    {
        fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(kLoopback);
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        int big = 1 << 20;
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
        socklen_t len = sizeof a;
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~Capture() { ::close(fd); }
    std::vector<std::vector<unsigned char>> all()
    {
        std::vector<std::vector<unsigned char>> out;
        std::vector<unsigned char> buf(65536);
        pollfd p{fd, POLLIN, 0};
        while (::poll(&p, 1, 200) > 0) {
            ssize_t n = ::recv(fd, buf.data(), buf.size(), 0);
            if (n <= 0)
                break;
            out.emplace_back(buf.begin(), buf.begin() + n);
        }
        return out;
    }
};


const AudioFormat kGsm{49, 22050, 0, 1};
} // namespace

TEST(VoiceSender, AnnouncementsSequenceEpochsAndChunks)
{
    Capture cap;
    BroadcastTX tx(kLoopback);
    tx.setPort(QString::number(cap.port));
    ASSERT_TRUE(tx.open());
    std::string block(65, 'g');
    for (int i = 0; i < 17; ++i)
        tx.write(kGsm, block.data(), qsizetype(block.size()));
    const AudioFormat other{49, 11025, 0, 1};
    tx.write(other, block.data(), qsizetype(block.size()));   // packet 18, after a format change
    std::string big(3000, 'b');
    tx.write(other, big.data(), qsizetype(big.size()));
    auto got = cap.all();
    tx.close();
    // ann, 17 audio, ann, audio 18, 3 chunks
    ASSERT_EQ(got.size(), 23u);
    auto a1 = voice::parse(got[0].data(), got[0].size());
    ASSERT_TRUE(a1.ok);
    EXPECT_EQ(a1.type, 0);
    EXPECT_TRUE(a1.formatChanged);
    EXPECT_EQ(a1.epoch, 3);
    EXPECT_EQ(a1.format, kGsm);
    for (int i = 1; i <= 17; ++i) {
        auto p = voice::parse(got[i].data(), got[i].size());
        ASSERT_TRUE(p.ok);
        EXPECT_EQ(p.type, 1);
        EXPECT_EQ(p.sequence, i % 16);
        EXPECT_EQ(p.epoch, 3);
        EXPECT_TRUE(p.firstChunk);
    }
    auto a2 = voice::parse(got[18].data(), got[18].size());
    ASSERT_TRUE(a2.ok);
    EXPECT_EQ(a2.type, 0);
    EXPECT_TRUE(a2.formatChanged);
    EXPECT_EQ(a2.epoch, 2);
    EXPECT_EQ(a2.format, other);
    const std::size_t sizes[3] = {1400, 1400, 200};
    for (int i = 0; i < 3; ++i) {
        auto p = voice::parse(got[20 + i].data(), got[20 + i].size());
        ASSERT_TRUE(p.ok);
        EXPECT_EQ(p.payloadSize, sizes[i]);
        EXPECT_EQ(p.firstChunk, i == 0);
        EXPECT_EQ(p.epoch, 2);
    }
    // reopening starts again: announcement with the flag, sequence 1
    ASSERT_TRUE(tx.open());
    tx.write(kGsm, block.data(), qsizetype(block.size()));
    got = cap.all();
    tx.close();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(voice::parse(got[0].data(), 20).formatChanged);
    EXPECT_EQ(voice::parse(got[1].data(), got[1].size()).sequence, 1);
}

TEST(VoiceLoopback, SenderToReceiverOnThreads)
{
    BroadcastRX rx;
    CollectSink sink({.keepWhileClosed = true});   // a delivery after a close shows
    rx.link(&sink);
    std::atomic<int> notes{0};
    rx.setPayloadCallback([&] { ++notes; });
    int port = 0;
    // find a free port
    for (int p = 27000; p < 27100 && !port; ++p) {
        if (!udp_ports::is_free(p))
            continue;
        rx.setPort(QString::number(p));
        if (rx.open())
            port = p;
    }
    ASSERT_NE(port, 0);
    EXPECT_TRUE(sink.active());
    BroadcastTX tx(kLoopback);
    tx.setPort(QString::number(port));
    ASSERT_TRUE(tx.open());
    std::thread writer([&] {
        std::string block(65, 'v');
        for (int i = 0; i < 40; ++i)
            tx.write(kGsm, block.data(), qsizetype(block.size()));
    });
    writer.join();
    for (int i = 0; i < 100 && notes.load() < 40; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    tx.close();
    EXPECT_EQ(notes.load(), 40);
    EXPECT_EQ(rx.count(), 43);   // 3 announcements
    EXPECT_EQ(rx.lastSender().address, kLoopback);
    EXPECT_NE(rx.lastSender().port, 0);
    {
        std::lock_guard l(sink.m);
        ASSERT_EQ(sink.sizes.size(), 40u);
        EXPECT_EQ(sink.formats.back(), kGsm);
    }
    // another port closes the receiver and its chain; reopening starts the count again
    rx.setPort(QString::number(port + 1));
    EXPECT_FALSE(rx.active());
    EXPECT_FALSE(sink.active());
    rx.setPort(QString::number(port));
    ASSERT_TRUE(rx.open());
    EXPECT_EQ(rx.count(), 0);
    rx.close();
}

// Channel keys, push-to-talk and the end of reception close the receiver on the user-interface
// thread: the close wakes the receive thread instead of waiting out its poll, whether the channel
// is quiet or busy, and once it has returned nothing more is delivered or notified.
TEST(VoiceLoopback, CloseReturnsAtOnceAndNothingFollowsIt)
{
    BroadcastRX rx;
    CollectSink sink({.keepWhileClosed = true});   // a delivery after a close shows
    rx.link(&sink);
    std::atomic<int> notes{0};
    rx.setPayloadCallback([&] { ++notes; });
    int port = 0;
    for (int p = 27200; p < 27300 && !port; ++p) {
        if (!udp_ports::is_free(p))
            continue;
        rx.setPort(QString::number(p));
        if (rx.open())
            port = p;
    }
    ASSERT_NE(port, 0);

    std::atomic<bool> talking{false}, stop{false};
    std::thread talker([&] {
        BroadcastTX tx(kLoopback);
        tx.setPort(QString::number(port));
        std::string block(65, 't');
        while (!stop) {
            if (talking) {
                if (!tx.active())
                    tx.open();
                tx.write(kGsm, block.data(), qsizetype(block.size()));
            } else if (tx.active()) {
                tx.close();   // the next talk starts with an announcement
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    using Clock = std::chrono::steady_clock;
    std::vector<double> closes;
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        talking = round % 2 == 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(40 + 7 * (round % 4)));
        if (talking) {
            std::lock_guard l(sink.m);
            EXPECT_FALSE(sink.sizes.empty()) << "the talker was not heard before the close";
        }
        const auto t0 = Clock::now();
        rx.close();
        closes.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        EXPECT_FALSE(rx.active());
        std::size_t delivered;
        {
            std::lock_guard l(sink.m);
            delivered = sink.sizes.size();
        }
        const int notified = notes.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        {
            std::lock_guard l(sink.m);
            EXPECT_EQ(sink.sizes.size(), delivered);
        }
        sink.clear();
        EXPECT_EQ(notes.load(), notified);
        ASSERT_TRUE(rx.open());
    }
    stop = true;
    talker.join();
    rx.close();
    // A close that waited for the receive thread's poll took 70 to 110 ms every time; a woken thread
    // is gone in a few. The median keeps one close held up by a busy machine from failing the test;
    // the benchmark holds the tight figure.
    std::nth_element(closes.begin(), closes.begin() + std::ptrdiff_t(closes.size() / 2), closes.end());
    EXPECT_LT(closes[closes.size() / 2], 50.0);
}
