// The names of the program's own files beside a user's.
#ifndef LEADCUT_REPLACE_OWN_NAME_H
#define LEADCUT_REPLACE_OWN_NAME_H

#include <cstdint>

#include "../compat/compat.h"

// Puts in `name` the program's own folder's name: ".leadcut-", the stamp's
// 16 hexadecimal digits and `tag`; with `inside` (a name in a folder, which
// the system bounds), then a separator and `inside`, whole. The stamp tells
// the process and the moment, so no cache of any view of the folder has
// seen the name.
void own_name(path_buffer &name, std::uint64_t stamp, const char *tag,
	      const char *inside = nullptr);

// Puts in `path` the folder `prefix` (with its separator, or "") joined
// to `name`, and to `inside` below it where given; false when it would
// not fit.
bool joined(path_buffer &path, const char *prefix, const char *name, const char *inside);

// Makes the own folder `name` in the folder open on `folder` and opens it,
// armed in `slot` for its removal, which closes it; -1 where it cannot be made or opened, or
// is not the folder made: the runner's, private and empty. Another user who
// may write the folder can put another one in its place.
int make_own_folder(int folder, const char *name, role r, int slot);

#endif
