#include "own_name.h"

#include <cstdio>

bool own_name(path_buffer &path, const char *beside, std::uint64_t stamp, const char *tag,
	      bool named)
{
	const std::size_t start = name_start(beside);
	const int n =
	    std::snprintf(path.data(), path.size(), "%.*s.leadcut-%016llx%s%s%s",
			  static_cast<int>(start), beside, static_cast<unsigned long long>(stamp),
			  tag, named ? "/" : "", named ? beside + start : "");
	return n >= 0 && static_cast<std::size_t>(n) < path.size();
}
