#include "fatal.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "../compat/compat.h"

namespace {

constexpr const char *program_name = "leadcut";

// The report is the program's output: once a print fails, no run succeeds.
bool print_failed = false;

[[noreturn]] void position_exit(const char *what, std::int64_t position)
{
	say("%s : %lld\n", what, static_cast<long long>(position));
	std::exit(1);
}

// The length of the well-formed UTF-8 character at s, or 0 where none
// begins: no overlong form, surrogate or code point past U+10FFFF.
std::size_t utf8_length(const unsigned char *s)
{
	if (s[0] < 0x80)
		return 1;
	std::size_t length = 2;
	unsigned low = 0x80;
	unsigned high = 0xBF;
	if (s[0] >= 0xE0 && s[0] <= 0xEF) {
		length = 3;
		low = s[0] == 0xE0 ? 0xA0 : low;
		high = s[0] == 0xED ? 0x9F : high;
	} else if (s[0] >= 0xF0 && s[0] <= 0xF4) {
		length = 4;
		low = s[0] == 0xF0 ? 0x90 : low;
		high = s[0] == 0xF4 ? 0x8F : high;
	} else if (s[0] < 0xC2 || s[0] > 0xDF) {
		return 0;
	}
	if (s[1] < low || s[1] > high)
		return 0;
	for (std::size_t i = 2; i < length; ++i) {
		if (s[i] < 0x80 || s[i] > 0xBF)
			return 0;
	}
	return length;
}

// C0 and C1 controls, and DEL.
bool is_control(const unsigned char *s, std::size_t length)
{
	return length == 1 ? s[0] < 0x20 || s[0] == 0x7F
			   : length == 2 && s[0] == 0xC2 && s[1] < 0xA0;
}

} // namespace

// Prints in pieces of whole characters, which the console's encoding takes
// one at a time: no text is too long for it.
void say_name(const char *text)
{
	const auto *s = reinterpret_cast<const unsigned char *>(text);
	char piece[256];
	std::size_t used = 0;
	while (*s != 0) {
		const std::size_t length = utf8_length(s);
		if (length == 0 || is_control(s, length)) {
			piece[used++] = '?';
			s += length == 0 ? 1 : length;
		} else {
			std::memcpy(piece + used, s, length);
			used += length;
			s += length;
		}
		if (used + 4 >= sizeof piece || *s == 0) {
			piece[used] = '\0';
			console_text(piece);
			say("%s", piece);
			used = 0;
		}
	}
}

void say(const char *format, ...)
{
	std::va_list args;
	va_start(args, format);
	// va_start is above; the analyzer loses it where it follows a call from this file here.
	// NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
	if (std::vfprintf(stderr, format, args) < 0)
		print_failed = true;
	va_end(args);
}

int final_status()
{
	return print_failed ? 1 : 0;
}

void usage_exit()
{
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
	name_exit("cannot open file : %s\n", path);
}

void read_error_exit(std::FILE *stream)
{
	const std::int64_t position = stream_position(stream);
	static_cast<void>(std::fclose(stream)); // the status is 1 either way
	position_exit("read error", position);
}

void read_error_exit(int fd)
{
	position_exit("read error", file_position(fd));
}

void read_error_at(std::int64_t position)
{
	position_exit("read error", position);
}

// Every caller's format is a literal that takes a string, then at most an
// int.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
void name_exit(const char *format, const char *name, int value)
{
	const char *at = std::strstr(format, "%s");
	say("%.*s", static_cast<int>(at - format), format);
	say_name(name);
	say(at + 2, value);
	std::exit(1);
}
#pragma GCC diagnostic pop

void fail_exit(const char *format, ...)
{
	std::va_list args;
	va_start(args, format);
	// NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized): as in say
	static_cast<void>(std::vfprintf(stderr, format, args)); // the status is 1 either way
	va_end(args);
	std::exit(1);
}
