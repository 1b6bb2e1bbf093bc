// The seam between the platform layer and the system, where the test build
// fails a call or changes what it sees, as SQLite's test VFS does. Every
// operation of compat.h asks it first; in the program it does nothing.
#ifndef LEADCUT_COMPAT_SEAM_H
#define LEADCUT_COMPAT_SEAM_H

#include <cstddef>

#include "compat.h"

// Whether this call of `operation` (its kind: "open", "read", "write",
// ...) for `r` is to fail, and how: 0 where it goes on, else the errno it
// fails with, as the system's call would (EOPNOTSUPP: the system lacks it).
// "exit" tells that the run ends: what follows is its clean-up.
int fault_at(const char *operation, role r);

// What the system said of a file for `r`, as the test build shows it.
void fault_facts(role r, file_facts &facts);

// How many of `count` bytes a write for `r` is given.
std::size_t fault_count(role r, std::size_t count);

#endif
