#include <cstring>

#include "cli.h"

bool copy_name(name_buffer &dst, const char *src)
{
	const std::size_t length = ::strnlen(src, dst.size());
	if (length > name_max)
		return false;
	std::memcpy(dst.data(), src, length + 1);
	return true;
}

// Only the backslash and the colon separate directories; a dot at index 0
// or right after a separator starts a name rather than an extension.
int strip_extension(name_buffer &dst, const char *src)
{
	std::size_t start = 0;
	std::size_t dot = 0;
	std::size_t i = 0;
	for (; src[i] != '\0'; ++i) {
		if (src[i] == '\\' || src[i] == ':') {
			start = i + 1;
			dot = 0;
		} else if (src[i] == '.') {
			dot = i;
		}
	}
	const std::size_t end = dot != 0 ? dot : i;
	dst[0] = '\0';
	if (start >= end)
		return 0;
	if (end > name_max)
		return -1;
	std::memcpy(dst.data(), src, end);
	dst[end] = '\0';
	return 1;
}
