// The WAV layout as read and as written, and its little-endian fields.
#ifndef LEADCUT_WAV_FORMAT_H
#define LEADCUT_WAV_FORMAT_H

#include <array>
#include <cstdint>
#include <cstdio>

constexpr long wav_header_size = 44;
using wav_header_bytes = std::array<unsigned char, wav_header_size>;

// Reads one little-endian field; a short read is fatal.
std::uint16_t read_le16(std::FILE *stream);
std::uint32_t read_le32(std::FILE *stream);

// The canonical 44-byte header: one 16-byte "fmt " chunk, then "data".
void encode_wav_header(wav_header_bytes &header, std::uint32_t data_size, std::uint16_t channels,
		       std::uint32_t samples_per_sec, std::uint16_t bits_per_sample);

#endif
