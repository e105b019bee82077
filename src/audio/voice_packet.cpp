// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/voice_packet.h"

#include <array>
#include <cstring>

namespace voice {
namespace {

constexpr std::array<std::uint32_t, 256> makeTable()
{
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[i] = c;
    }
    t[0] = 0x000000AAu;   // the one entry that differs from the standard table
    return t;
}
constexpr auto kTable = makeTable();

std::uint32_t step(std::uint32_t crc, unsigned char b) { return kTable[(crc ^ b) & 0xFF] ^ (crc >> 8); }

} // namespace

std::uint32_t crc32aa(const unsigned char* data, std::size_t size)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i)
        crc = step(crc, data[i]);
    return crc;
}

std::uint8_t check_byte(const unsigned char* data, std::size_t size)
{
    if (size == 0)
        return fold(0xFFFFFFFFu);
    std::uint32_t crc = step(0xFFFFFFFFu, 0);
    for (std::size_t i = 1; i < size; ++i)
        crc = step(crc, data[i]);
    return fold(crc);
}

void build_announcement(std::vector<unsigned char>& buf, bool formatChanged, int epoch,
                        const AudioFormat& f)
{
    if (buf.size() < kAnnouncementSize)
        buf.resize(kAnnouncementSize);
    unsigned char* p = buf.data();
    p[1] = static_cast<unsigned char>((formatChanged ? 0x20 : 0) | (epoch & 3));
    p[2] = static_cast<unsigned char>(f.tag & 0xFF);
    p[3] = static_cast<unsigned char>((f.tag >> 8) & 0xFF);
    p[4] = static_cast<unsigned char>(f.rate & 0xFF);
    p[5] = static_cast<unsigned char>((f.rate >> 8) & 0xFF);
    p[6] = static_cast<unsigned char>(f.bits & 0xFF);
    p[7] = static_cast<unsigned char>(f.channels & 0xFF);
    p[0] = check_byte(p, kAnnouncementSize);
}

bool build_audio(std::vector<unsigned char>& buf, const char* payload, std::size_t size, int sequence,
                 int epoch, bool firstChunk)
{
    if (size == 0 || size > kMaxPayload)
        return false;
    const std::size_t total = audio_size(size);
    if (buf.size() < total)
        buf.resize(total);
    unsigned char* p = buf.data();
    p[1] = static_cast<unsigned char>(0x40 | ((size >> 8) & 0x3F));
    p[2] = static_cast<unsigned char>(size & 0xFF);
    p[3] = static_cast<unsigned char>(((sequence & 15) << 4) | ((epoch & 3) << 2) | (firstChunk ? 2 : 0));
    std::memcpy(p + 4, payload, size);
    p[0] = check_byte(p, total);
    return true;
}

std::size_t expected_size(const unsigned char* d, std::size_t size)
{
    if (size < 4)
        return 0;
    switch (d[1] >> 6) {
    case Announcement: return kAnnouncementSize;
    case Audio: return ((std::size_t(d[1] & 0x3F) << 8) | d[2]) + kAudioOverhead;
    case Type2: return 18;
    default: return (std::size_t(d[2]) | (std::size_t(d[3]) << 8)) + 18;
    }
}

Parsed parse(const unsigned char* d, std::size_t size)
{
    Parsed r;
    const std::size_t want = expected_size(d, size);
    if (want == 0 || want != size || check_byte(d, size) != d[0])
        return r;
    r.type = d[1] >> 6;
    if (r.type == Announcement) {
        r.formatChanged = (d[1] & 0x20) != 0;
        r.epoch = d[1] & 3;
        r.format.tag = d[2] | (d[3] << 8);
        r.format.rate = d[4] | (d[5] << 8);
        r.format.bits = d[6];
        r.format.channels = d[7];
    } else if (r.type == Audio) {
        r.sequence = d[3] >> 4;
        r.epoch = (d[3] >> 2) & 3;
        r.firstChunk = (d[3] & 2) != 0;
        r.bit0 = (d[3] & 1) != 0;
        r.payload = d + 4;
        r.payloadSize = size - kAudioOverhead;
    }
    r.ok = true;
    return r;
}

} // namespace voice
