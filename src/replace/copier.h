// The one way bytes are moved into a file: through one block of 1 MiB, in
// writes that end on its boundaries, and through the system's own copy
// where it will take them.
#ifndef LEADCUT_REPLACE_COPIER_H
#define LEADCUT_REPLACE_COPIER_H

#include <cstddef>
#include <cstdint>

#include "../compat/compat.h"

// How a copy ended: the input's failed or ended reads are told from the
// output's failed writes, whose messages differ.
enum class copy_end { whole, input, output };

// Writes count bytes to `out`, whose position is `at`; false at the first
// failed write, with `at` past the last byte written.
bool write_all(int out, role to, const unsigned char *bytes, std::size_t count, std::int64_t &at);

// Writes count zero bytes to `out` from position `at`.
bool write_zeros(int out, role to, std::int64_t &at, std::uint64_t count);

// Copies count bytes from where `in` stands to `out`, from position `at`,
// through the block.
copy_end copy_blocks(int in, role from, int out, role to, std::int64_t &at, std::uint64_t count);

// The same from input position `from`, the system moving the data where
// it will.
copy_end copy_data(int in, int out, std::int64_t from, std::int64_t &at, std::uint64_t count);

#endif
