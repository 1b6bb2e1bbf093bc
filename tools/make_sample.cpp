// Writes a 440 Hz tone, 16-bit stereo at 44100 Hz, to the named file: one
// second of it, or as many data bytes as asked (a multiple of 4). A sample
// to try leadcut on, and the input of the benchmark.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "../src/wav/format.h"

int main(int argc, char *argv[])
{
	constexpr std::uint32_t rate = 44100;
	constexpr std::uint16_t channels = 2;
	if (argc < 2 || argc > 3) {
		static_cast<void>(
		    std::fprintf(stderr, "usage: make_sample out.wav [data-bytes]\n"));
		return 1;
	}
	const auto data_size =
	    argc == 3 ? static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10)) & ~3u
		      : rate * 4;
	wav_header_bytes header;
	encode_wav_header(header, data_size, channels, rate, 16);
	std::FILE *out = std::fopen(argv[1], "wb");
	if (out == nullptr)
		return 1;
	static_cast<void>(std::fwrite(header.data(), header.size(), 1, out)); // ferror tells
	for (std::uint32_t i = 0; i < data_size / 4; ++i) {
		const double phase = 2.0 * 3.14159265358979323846 * 440.0 * i / rate;
		const auto sample = static_cast<std::uint16_t>(
		    static_cast<std::int16_t>(std::lround(12000.0 * std::sin(phase))));
		const unsigned char frame[4] = {
		    static_cast<unsigned char>(sample), static_cast<unsigned char>(sample >> 8),
		    static_cast<unsigned char>(sample), static_cast<unsigned char>(sample >> 8)};
		static_cast<void>(std::fwrite(frame, sizeof frame, 1, out)); // ferror tells
	}
	const bool failed = std::ferror(out) != 0;
	return std::fclose(out) == 0 && !failed ? 0 : 1;
}
