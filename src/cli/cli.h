// Command-line front end: option scanner, output naming and the cut action.
#ifndef LEADCUT_CLI_CLI_H
#define LEADCUT_CLI_CLI_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

// A zero-terminated UTF-8 file name: room for the longest name any system
// takes, 259 UTF-16 units of at most three bytes each.
constexpr std::size_t name_max = std::size_t{3} * 259;
using name_buffer = std::array<char, name_max + 1>;

// Option scanner state, shared with the caller as in getopt(3).
extern std::int32_t opt_index;
extern const char *opt_arg;
extern std::int32_t opt_char;

// Returns the next option letter, '?' after printing a diagnostic, or -1
// when the options are over; opt_index then names the first operand.
std::int32_t get_option(int argc, char *const argv[], const char *opt_string);

// Puts the scanner back to its state at process start.
void reset_option_scanner();

// Copies src into dst; false, with dst untouched, when the system cannot
// take a name this long.
bool copy_name(name_buffer &dst, const char *src);

// Writes src without its extension into dst; false, with dst empty, when
// the name does not fit.
bool strip_extension(name_buffer &dst, const char *src);

// Converts a time operand; false when it has no digit or lies outside 0
// to 2147483647.
bool parse_decimal(const char *text, std::int32_t &value);

// Bytes to drop for time_ms: whole sample frames, at most data_size.
std::uint32_t compute_cut_bytes(std::uint16_t channels, std::uint32_t samples_per_sec,
				std::uint16_t bits_per_sample, std::int32_t time_ms,
				std::uint32_t data_size);

// Output name and time from the second and third operands; exits on a
// name that is too long or a time out of range.
void prepare_cut(const char *out_operand, const char *time_operand, name_buffer &out_path,
		 std::int32_t &time_ms);

// Writes the trimmed copy of the input open on `in` and prints the closing
// line.
void cut_lead_in(std::FILE *in, const char *in_path, const char *out_path, std::int32_t time_ms,
		 unsigned chunks_seen, std::uint16_t channels, std::uint32_t samples_per_sec,
		 std::uint16_t bits_per_sample, std::int64_t data_offset, std::uint32_t data_size);

#endif
