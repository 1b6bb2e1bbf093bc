// The names of the program's own files beside a user's.
#ifndef LEADCUT_REPLACE_OWN_NAME_H
#define LEADCUT_REPLACE_OWN_NAME_H

#include <cstdint>

#include "../compat/compat.h"

// Puts in `path` the program's own folder beside the file `beside`:
// ".leadcut-", the stamp's 16 hexadecimal digits and `tag`; with `named`,
// then a separator and the last part of `beside`, whole, whatever its
// length. The stamp tells the process and the moment, so no cache of any
// view of the folder has seen the name. False when the path would not fit.
bool own_name(path_buffer &path, const char *beside, std::uint64_t stamp, const char *tag,
	      bool named);

#endif
