// Reads a WAV file's chunks, prints the report and checks the format.
#ifndef LEADCUT_WAV_HEADER_READER_H
#define LEADCUT_WAV_HEADER_READER_H

#include <cstdint>
#include <cstdio>

// Bits of the chunks_seen result.
constexpr unsigned seen_fmt = 1;
constexpr unsigned seen_data = 2;

// Prints the report of in_path on standard error and hands back the values
// of its last "fmt " and "data" chunks, and the stream it read, still open:
// a cut copies that very file, whatever the name means by then. Any failure
// ends the process. Values of a chunk that was not met are left as they were.
void read_wav_header(const char *in_path, std::uint16_t &channels, std::uint32_t &samples_per_sec,
		     std::uint16_t &bits_per_sample, std::int64_t &data_offset,
		     std::uint32_t &data_size, unsigned &chunks_seen, std::FILE *&in);

// Reads, prints and checks the six fields at the start of a "fmt " body.
void read_fmt_fields(const char *in_path, std::FILE *stream, std::uint16_t &channels,
		     std::uint32_t &samples_per_sec, std::uint16_t &bits_per_sample);

#endif
