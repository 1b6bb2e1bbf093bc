// Whether a name for a new file is the name of a file that must be kept.
#ifndef LEADCUT_REPLACE_SAME_ENTRY_H
#define LEADCUT_REPLACE_SAME_ENTRY_H

#include <cstdint>

// Whether the output, whose new file was made (holding data, closed) in
// the program's own folder of `stamp` beside `target` and under its name,
// names the entry of the input open on `in`, named in_path; `existing`
// says whether the output's name holds a file now. Ends the process where
// the system cannot tell.
bool names_input(int in, const char *in_path, const char *target, std::uint64_t stamp,
		 bool existing, const char *out_path);

#endif
