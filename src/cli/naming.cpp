#include <cstring>

#include "../compat/compat.h"
#include "cli.h"

bool copy_name(name_buffer &dst, const char *src)
{
	if (name_too_long(src))
		return false;
	std::memcpy(dst.data(), src, std::strlen(src) + 1);
	return true;
}

// The slash, the backslash and the colon separate directories, so a dot in
// a folder's name never passes for the extension; a dot that begins a name
// (at index 0 or right after a separator) is no extension either. The folder
// stays, also when no name follows it. No byte of a multi-byte UTF-8
// character is one of these.
bool strip_extension(name_buffer &dst, const char *src)
{
	const std::size_t start = part_start(src, "/\\:");
	const char *dot = std::strrchr(src + start, '.');
	const std::size_t end = dot != nullptr && dot != src + start
				    ? static_cast<std::size_t>(dot - src)
				    : std::strlen(src);
	dst[0] = '\0';
	if (end > name_max)
		return false;
	std::memcpy(dst.data(), src, end);
	dst[end] = '\0';
	return true;
}
