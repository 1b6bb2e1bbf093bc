#include "print.h"

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "../compat/compat.h"

namespace {

// The report is the program's output: once a print fails, no run succeeds.
bool print_failed = false;

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

// C0 and C1 controls and DEL, which a terminal obeys; and the marks a
// terminal may apply to the text around them, which could show a name's
// end reversed or on another line: the bidirectional controls and the line
// and paragraph separators.
bool is_hidden(const unsigned char *s, std::size_t length)
{
	char32_t c = length == 1 ? s[0] : s[0] & (0x7Fu >> length);
	for (std::size_t i = 1; i < length; ++i)
		c = c << 6 | (s[i] & 0x3Fu);
	return c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x61C || c == 0x200E || c == 0x200F ||
	       (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
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
		if (length == 0 || is_hidden(s, length)) {
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
	if (!print_error(format, args))
		print_failed = true;
	va_end(args);
}

int final_status()
{
	return print_failed ? 1 : 0;
}
