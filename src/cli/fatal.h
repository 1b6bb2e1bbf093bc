// The fatal exits: every failure the program detects is printed here,
// through print.h, and ends the run with status 1 (but for a closed
// standard stream that cannot be opened on the null device, which leaves
// nowhere to print). Nothing is passed back to a caller.
#ifndef LEADCUT_CLI_FATAL_H
#define LEADCUT_CLI_FATAL_H

#include <cstdio>

#include <cstdint>

// Prints the usage text.
[[noreturn]] void usage_exit();

// "cannot open file : <path>".
[[noreturn]] void open_error_exit(const char *path);

// "read error : <position>" at the stream's position; closes the stream.
[[noreturn]] void read_error_closing(std::FILE *stream);

// "read error : <position>"; closes nothing, leaving what is open to the
// exit.
[[noreturn]] void read_error_at(std::int64_t position);

// Prints a formatted message and exits.
[[noreturn]] [[gnu::format(printf, 1, 2)]] void fail_exit(const char *format, ...);

// Prints prefix, then the name as say_name shows it, then the formatted
// rest, and exits: name_exit("cannot open file : ", path, "\n").
[[noreturn]] [[gnu::format(printf, 3, 4)]] void name_exit(const char *prefix, const char *name,
							  const char *rest, ...);

#endif
