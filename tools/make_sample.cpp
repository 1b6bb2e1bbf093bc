// Writes a one-second 440 Hz tone, 16-bit stereo at 44100 Hz, to the named
// file: a sample to try leadcut on without bringing a file of one's own.
#include <cmath>
#include <cstdio>

#include "../src/wav/format.h"

int main(int argc, char *argv[])
{
	constexpr std::uint32_t rate = 44100;
	constexpr std::uint16_t channels = 2;
	constexpr std::uint32_t data_size = rate * channels * 2;
	if (argc != 2) {
		std::fprintf(stderr, "usage: make_sample out.wav\n");
		return 1;
	}
	std::FILE *out = std::fopen(argv[1], "wb");
	if (out == nullptr ||
	    write_wav_header(out, data_size, channels, rate, 16) != wav_header_size)
		return 1;
	for (std::uint32_t i = 0; i < rate; ++i) {
		const double phase = 2.0 * 3.14159265358979323846 * 440.0 * i / rate;
		const auto sample = static_cast<std::uint16_t>(
		    static_cast<std::int16_t>(std::lround(12000.0 * std::sin(phase))));
		const unsigned char frame[4] = {
		    static_cast<unsigned char>(sample), static_cast<unsigned char>(sample >> 8),
		    static_cast<unsigned char>(sample), static_cast<unsigned char>(sample >> 8)};
		std::fwrite(frame, sizeof frame, 1, out);
	}
	return std::fclose(out) == 0 ? 0 : 1;
}
