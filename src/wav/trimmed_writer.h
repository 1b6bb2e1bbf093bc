// Writes the copy of a WAV file whose audio starts cut_bytes later.
#ifndef LEADCUT_WAV_TRIMMED_WRITER_H
#define LEADCUT_WAV_TRIMMED_WRITER_H

#include <cstdint>
#include <cstdio>

// Writes out_path with the canonical header, the data of the input open on
// `in` from byte cut_bytes of its "data" body on, then cut_bytes zero bytes.
// cut_bytes must not exceed data_size. Any failure ends the process.
void write_trimmed_wav(std::FILE *in, const char *in_path, std::int64_t data_offset,
		       std::uint32_t data_size, const char *out_path, std::uint32_t samples_per_sec,
		       std::uint16_t channels, std::uint16_t bits_per_sample,
		       std::uint32_t cut_bytes);

#endif
