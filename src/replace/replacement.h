// Where the bytes of a new version of a file go, and how they take the
// old one's place: whole, or not at all.
#ifndef LEADCUT_REPLACE_REPLACEMENT_H
#define LEADCUT_REPLACE_REPLACEMENT_H

#include <cstdint>

#include "../compat/compat.h"

// A file as it is written: the output itself where it is a FIFO or a
// device, else a new file, in a folder of its own beside the output, that
// takes the output's name once it is whole, so that no failure leaves a
// half-written file under it.
struct replacement {
	int fd = -1;                    // where the bytes go
	int old_fd = -1;                // the regular file the output holds, opened to identify it
	bool beside = false;            // fd is the new file
	const char *out_path = nullptr; // the output as the user named it
	path_buffer target;             // the name the new file takes
	path_buffer temp;               // the new file's name
};

// Opens where the bytes for out_path go, a file that must not be the one
// open on `in`, named in_path, nor standard error's. Any failure ends the
// process, and removes what it made.
void open_replacement(int in, const char *in_path, const char *out_path, replacement &out);

// Closes the output, now `size` bytes long, and puts the new file in the
// output's place.
void finish_replacement(replacement &out, std::int64_t size);

#endif
