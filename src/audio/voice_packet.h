// SPDX-License-Identifier: GPL-3.0-or-later
// Voice datagrams: the format announcement (20 bytes) and the audio data packet (payload + 18
// bytes), both led by a check byte. Pure functions over byte buffers; no sockets here.
#pragma once

#include "audio/stage.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace voice {

constexpr std::size_t kAnnouncementSize = 20;
constexpr std::size_t kAudioOverhead = 18;       // 4 header bytes + 14 filler bytes
constexpr std::size_t kMaxPayload = 16383;
constexpr std::size_t kMaxChunk = 1400;

enum PacketType { Announcement = 0, Audio = 1, Type2 = 2, Type3 = 3 };

// CRC-32 (reflected, 0xEDB88320, start 0xFFFFFFFF, no final inversion) whose table entry 0 is
// 0x000000AA.
std::uint32_t crc32aa(const unsigned char* data, std::size_t size);
// The check byte of a datagram: the CRC over it with byte 0 taken as 0, its four bytes xor-ed.
std::uint8_t check_byte(const unsigned char* data, std::size_t size);
inline std::uint8_t fold(std::uint32_t crc)
{
    return std::uint8_t(crc ^ (crc >> 8) ^ (crc >> 16) ^ (crc >> 24));
}

// Fills `buf` (grown to 20 bytes if smaller; filler left as the buffer holds it).
void build_announcement(std::vector<unsigned char>& buf, bool formatChanged, int epoch,
                        const AudioFormat& format);
// Fills `buf` with one audio packet of `size` payload bytes; false for an empty or too long payload.
bool build_audio(std::vector<unsigned char>& buf, const char* payload, std::size_t size, int sequence,
                 int epoch, bool firstChunk);
// The size of the audio packet in `buf` after build_audio.
inline std::size_t audio_size(std::size_t payload) { return payload + kAudioOverhead; }

// A datagram as read; valid only when `ok` (size and check byte right).
struct Parsed {
    bool ok = false;
    int type = 0;
    int epoch = 0;
    // announcement
    bool formatChanged = false;
    AudioFormat format;
    // audio
    int sequence = 0;
    bool firstChunk = false;
    bool bit0 = false;
    const unsigned char* payload = nullptr;
    std::size_t payloadSize = 0;
};
// The size a datagram must have by its type (reads bytes 1 to 3); 0 when fewer than 4 bytes are
// there to read it from.
std::size_t expected_size(const unsigned char* data, std::size_t size);
Parsed parse(const unsigned char* data, std::size_t size);

} // namespace voice
