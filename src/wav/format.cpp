#include "format.h"

#include <cstring>

#include "../cli/fatal.h"
#include "../compat/compat.h"

namespace {

void put_le16(unsigned char *at, std::uint16_t value)
{
	at[0] = static_cast<unsigned char>(value);
	at[1] = static_cast<unsigned char>(value >> 8);
}

void put_le32(unsigned char *at, std::uint32_t value)
{
	for (int i = 0; i < 4; ++i)
		at[i] = static_cast<unsigned char>(value >> (8 * i));
}

} // namespace

std::uint16_t read_le16(std::FILE *stream)
{
	unsigned char b[2];
	if (!read_item(stream, b, sizeof b))
		read_error_closing(stream);
	return static_cast<std::uint16_t>(b[0] | b[1] << 8);
}

std::uint32_t read_le32(std::FILE *stream)
{
	unsigned char b[4];
	if (!read_item(stream, b, sizeof b))
		read_error_closing(stream);
	return std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 |
	       std::uint32_t{b[3]} << 24;
}

// Average bytes per second and block align are derived from the three kept
// values, never copied, so the header always agrees with itself.
void encode_wav_header(wav_header_bytes &header, std::uint32_t data_size, std::uint16_t channels,
		       std::uint32_t samples_per_sec, std::uint16_t bits_per_sample)
{
	const std::uint32_t bytes_per_sample = bits_per_sample / 8u;
	unsigned char *h = header.data();
	std::memcpy(h + 0, "RIFF", 4);
	put_le32(h + 4, data_size + 36u); // wraps like every 32-bit size
	std::memcpy(h + 8, "WAVEfmt ", 8);
	put_le32(h + 16, 16);
	put_le16(h + 20, 1);
	put_le16(h + 22, channels);
	put_le32(h + 24, samples_per_sec);
	put_le32(h + 28, bytes_per_sample * channels * samples_per_sec);
	put_le16(h + 32, static_cast<std::uint16_t>(bytes_per_sample * channels));
	put_le16(h + 34, bits_per_sample);
	std::memcpy(h + 36, "data", 4);
	put_le32(h + 40, data_size);
}
