// The fatal exits: every failure the program detects is printed here,
// through print.h, and ends the run with status 1 (but for a closed
// standard stream that cannot be opened on the null device, which leaves
// nowhere to print). Nothing is passed back to a caller.
#pragma once

#include <cstdio>

#include <cstdint>

// Prints the usage text.
[[noreturn]] void usage_exit();

// "cannot open file : <path>".
[[noreturn]] void open_error_exit(const char *path);

// "read error : <position>" with the stream's position; closes the stream.
[[noreturn]] void read_error_exit(std::FILE *stream);

// The same for an input descriptor, at its file offset; the stream over it
// is left to the exit.
[[noreturn]] void read_error_exit(int fd);

// "read error : <position>" where the input ends before the copy would.
[[noreturn]] void read_error_at(std::int64_t position);

// Prints a formatted message and exits.
[[noreturn]] [[gnu::format(printf, 1, 2)]] void fail_exit(const char *format, ...);

// Prints a message about a name, which the format takes as its "%s", then
// at most one "%d" for value, and exits. The name shows as say_name shows it.
[[noreturn]] [[gnu::format(printf, 1, 0)]] void name_exit(const char *format, const char *name,
							  int value = 0);
