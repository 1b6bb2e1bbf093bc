// Builders for WAV bytes and a runner for the leadcut binary.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

std::string le16(std::uint16_t v);
std::string le32(std::uint32_t v);
std::string chunk(const std::string &id, std::uint32_t declared, const std::string &body);
std::string chunk(const std::string &id, const std::string &body);
std::string riff(const std::string &chunks);
std::string fmt_body(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
		     std::uint16_t bits);
// A file of one "fmt " and one "data" chunk.
std::string wav(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
		const std::string &data);
// The header leadcut writes.
std::string header(std::uint32_t data_size, std::uint16_t channels, std::uint32_t rate,
		   std::uint16_t bits);
// The report lines of fmt_body(tag, channels, rate, bits).
std::string fmt_lines(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
		      std::uint16_t bits);
// The report of wav(channels, rate, bits, data of `size` bytes) named `name`.
std::string report(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits, std::size_t size,
		   const std::string &name = "in.wav");
// Bytes that never repeat in a shifted copy.
std::string pattern(std::size_t size);

inline const std::string usage_text =
    "Usage: leadcut [option] <wav_file_in> <wav_file_out> <time-ms>\n"
    "wav_file_in\x82\xcc\x90\xe6\x93\xaa\x82\xa9\x82\xe7time-ms"
    "\x83\x7e\x83\x8a\x95\x62\x8d\xed\x8f\x9c\x82\xb5\x82\xbd\x82\xe0"
    "\x82\xcc\x82\xf0wav_file_out\x82\xc9\x8f\x6f\x97\xcd\x82\xb5\x82"
    "\xdc\x82\xb7\n\n";

// A fresh directory, removed with the test.
struct Scratch {
	std::filesystem::path dir;
	Scratch();
	~Scratch();
	void write(const std::string &name, const std::string &bytes) const;
	std::string read(const std::string &name) const;
};

struct Outcome {
	int status = -1; // exit status, or 128 + signal
	std::string out, err;
};

// Runs the program as "leadcut" in dir; a run longer than `seconds` is killed
// (status 128 + 9).
Outcome run_leadcut(const std::filesystem::path &dir, const std::vector<std::string> &words,
		    unsigned seconds = 20, const char *program = LEADCUT_BINARY);
