// The operations whose system calls differ between POSIX and Windows. The
// rest of the program uses only the standard library and these, so it reads
// as if there were one system. Positions and sizes are 64-bit everywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Makes standard error write its bytes as given, with no "\r" before "\n".
void binary_stderr();

// The descriptor under an open stream.
int stream_descriptor(std::FILE *stream);

// The position of a stream, or -1.
std::int64_t stream_position(std::FILE *stream);

// The size of the regular file open on fd; false for anything else.
bool regular_file_size(int fd, std::int64_t &size);

// True when both names lead to one existing file, however spelt or linked.
bool same_file(const char *a, const char *b);

// Opens path for reading in binary mode; -1 on failure.
int open_input(const char *path);

// Sets the position of fd, counted from the start; the result is that of
// the system call (the position, or -1).
std::int64_t seek_to(int fd, std::int64_t position);

// The position of fd, or -1.
std::int64_t file_position(int fd);

// Moves at most count bytes; returns how many, 0 at the end of the input,
// -1 on failure. Interrupted calls are retried.
std::int64_t read_some(int fd, unsigned char *bytes, std::size_t count);
std::int64_t write_some(int fd, const unsigned char *bytes, std::size_t count);

// Has the system copy up to count bytes from in to out, each at its own
// position, without passing them through the program; returns how many it
// copied, 0 when it will not (the caller then copies them itself).
std::int64_t copy_range(int in, int out, std::uint64_t count);

void close_descriptor(int fd);
