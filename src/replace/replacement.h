// Where the bytes of a new version of a file go, and how they take the
// old one's place: whole, or not at all.
#ifndef LEADCUT_REPLACE_REPLACEMENT_H
#define LEADCUT_REPLACE_REPLACEMENT_H

#include <cstdint>

#include "../compat/compat.h"

// A file as it is written: the output itself where it is a FIFO or a
// device, else a new file, in a folder of the program's own beside the
// file the output's name leads to, that takes that file's name once it is
// whole, so that no failure leaves a half-written file under it. Another
// user may write that folder: what the run makes there is reached through
// the folders it holds open, never by a name that may lead elsewhere since.
struct replacement {
	int fd = -1;                    // where the bytes go
	int old_fd = -1;                // an existing output's regular file, open to identify it
	int folder = -1;                // the folder holding the file the output's name leads to
	int own = -1;                   // the program's own folder in it, holding the new file
	bool beside = false;            // fd is the new file
	bool in_place = false;          // the old file takes the cut once it is whole beside it
	const char *out_path = nullptr; // the output as the user named it
	path_buffer prefix;             // the folder as reached, with its separator, for messages
	path_buffer name;     // the output's name in the folder, the new file's in its own
	path_buffer own_name; // the own folder's name
	file_facts old;       // what the old file was when opened
};

// Opens where the bytes for out_path go, a file that must not be the one
// open on `in`, named in_path, nor standard error's. Any failure ends the
// process, and removes what it made.
void open_replacement(int in, const char *in_path, const char *out_path, replacement &out);

// Closes the output, now `size` bytes long, and puts the new file in the
// output's place.
void finish_replacement(replacement &out, std::int64_t size);

#endif
