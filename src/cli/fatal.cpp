#include "fatal.h"

#include <cstdarg>
#include <cstdlib>

#include "../compat/compat.h"
#include "print.h"

namespace {

constexpr const char *program_name = "leadcut";

} // namespace

void usage_exit()
{
	hold_endings(); // the run ends here, not meanwhile by a signal
	// The second line is Japanese, in the console's encoding: UTF-8, or the
	// Shift-JIS bytes of a Windows console in any other code page.
	say("Usage: %s [option] <wav_file_in> <wav_file_out> <time-ms>\n%s\n\n", program_name,
	    console_utf8() ? "wav_file_in\u306e\u5148\u982d\u304b\u3089time-ms\u30df\u30ea\u79d2"
			     "\u524a\u9664\u3057\u305f\u3082\u306e\u3092wav_file_out\u306b"
			     "\u51fa\u529b\u3057\u307e\u3059"
			   : "wav_file_in\x82\xcc\x90\xe6\x93\xaa\x82\xa9\x82\xe7time-ms"
			     "\x83\x7e\x83\x8a\x95\x62\x8d\xed\x8f\x9c\x82\xb5\x82\xbd\x82\xe0"
			     "\x82\xcc\x82\xf0wav_file_out\x82\xc9\x8f\x6f\x97\xcd\x82\xb5\x82"
			     "\xdc\x82\xb7");
	std::exit(1);
}

void open_error_exit(const char *path)
{
	name_exit("cannot open file : ", path, "\n");
}

void read_error_closing(std::FILE *stream)
{
	const std::int64_t position = stream_position(stream);
	static_cast<void>(std::fclose(stream)); // the status is 1 either way
	read_error_at(position);
}

void read_error_at(std::int64_t position)
{
	hold_endings(); // the run ends here, not meanwhile by a signal
	say("read error : %lld\n", static_cast<long long>(position));
	std::exit(1);
}

void fail_exit(const char *format, ...)
{
	hold_endings(); // the run ends here, not meanwhile by a signal
	std::va_list args;
	va_start(args, format);
	// NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized): as in say
	static_cast<void>(print_error(format, args)); // the status is 1 either way
	va_end(args);
	std::exit(1);
}

// The name goes through say_name alone, never through a format.
void name_exit(const char *prefix, const char *name, const char *rest, ...)
{
	hold_endings(); // the run ends here, not meanwhile by a signal
	say("%s", prefix);
	say_name(name);
	std::va_list args;
	va_start(args, rest);
	// NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized): as in say
	static_cast<void>(print_error(rest, args)); // the status is 1 either way
	va_end(args);
	std::exit(1);
}
