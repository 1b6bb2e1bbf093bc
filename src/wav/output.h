// Where a cut's bytes go, and how they take the output's place.
#ifndef LEADCUT_WAV_OUTPUT_H
#define LEADCUT_WAV_OUTPUT_H

#include <cstdint>

#include "../compat/compat.h"
#include "format.h"

// The output of a cut as it is written: the output itself where it is a
// FIFO or a device, else a new file in its folder that takes its name once
// it is whole, so that no failure leaves a half-written file under it.
struct cut_output {
	int fd = -1;         // where the bytes go
	int old_fd = -1;     // the regular file the output names, if any
	bool beside = false; // fd is the new file
	path_buffer target;  // the name the new file takes
	path_buffer temp;    // the new file's name
};

// Opens where the cut of the input open on `in`, named in_path, goes, and
// writes its header there. Refuses an output that is the input or standard
// error's file. Any failure ends the process, and removes the new file.
void open_cut_output(int in, const char *in_path, const char *out_path,
		     const wav_header_bytes &header, cut_output &out);

// Closes the output, now `size` bytes long, and puts the new file in the
// output's place.
void finish_cut_output(cut_output &out, std::int64_t size);

#endif
