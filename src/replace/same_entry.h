// Whether a name for a new file is the name of a file that must be kept.
#ifndef LEADCUT_REPLACE_SAME_ENTRY_H
#define LEADCUT_REPLACE_SAME_ENTRY_H

#include <cstdint>

// Whether the output names the entry of the input open on `in`, named
// in_path. The output's new file, holding data, is `name` in the program's
// own folder of `stamp`, made in the folder open on `folder`, whose entry
// is spelled `spelled` there; `existing` says whether the output's name
// holds a file now. Ends the process, naming the output, where the system
// cannot tell.
bool names_input(int in, const char *in_path, int folder, const char *name, const char *spelled,
		 std::uint64_t stamp, bool existing, const char *out_path);

#endif
