// The operations whose system calls differ between POSIX and Windows. The
// rest of the program uses only the standard library and these, so it reads
// as if there were one system. Positions and sizes are 64-bit everywhere.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

// Opens the null device on standard input, output and error where they are
// closed, so that no file the program opens takes their place and receives
// its messages; false when one of them stays closed.
bool open_standard_streams();

// Makes standard error write its bytes as given, with no "\r" before "\n".
void binary_stderr();

// Makes a write past the file-size limit, or to a pipe no one reads, fail
// as a full disk does, instead of ending the process without a word.
void ignore_write_signals();

// Replaces the words of the command line by their UTF-8 form, the one form
// of names inside the program. Windows hands them over in UTF-16 here, not
// through the ANSI code page, which changes or loses characters.
void utf8_arguments(int &argc, char **&argv);

// True when the system cannot take a name this long: more than 259 bytes on
// POSIX, more than 259 UTF-16 units on Windows (up to 777 bytes of UTF-8).
bool name_too_long(const char *name);

// Rewrites a UTF-8 text in place into the bytes the console shows: the
// text itself on POSIX; on Windows the ANSI code page's, with '?' for a
// character it lacks (never a look-alike). The text never grows.
void console_text(char *text);

// True where the console takes UTF-8: always on POSIX; on Windows where the
// ANSI code page is UTF-8 (65001), else it takes the code page's bytes.
bool console_utf8();

// Opens a stream by a UTF-8 name for reading in binary mode, as fopen does.
std::FILE *open_input(const char *path);

// Opens the output by a UTF-8 name for writing in binary mode, or -1: a
// new file, created exclusively (created is then set), or else the file
// that exists, neither truncated nor created; a regular one also for
// reading where it may be read (readable). A FIFO is opened as a writer
// alone, once it has a reader.
int open_output(const char *path, bool &created, bool &readable);

// Closes a descriptor; false when the system reports a failure.
bool close_file(int fd);

// The descriptor under an open stream.
int stream_descriptor(std::FILE *stream);

// The position of a stream, or -1.
std::int64_t stream_position(std::FILE *stream);

// Sets the position of a stream, counted from the start; false on failure.
// Positions pass 2^31 on every system, where long does not.
bool seek_stream(std::FILE *stream, std::int64_t position);

// The size of the file open on fd, or -1 for anything but a regular file;
// false when the system cannot tell.
bool file_size(int fd, std::int64_t &size);

// Sets same when two open descriptors are one file (device and inode, or
// volume and file index), however it was named or linked; false when the
// system cannot tell. A device without an identity, such as NUL, is no file.
bool same_file(int a, int b, bool &same);

// Sets same when two open regular files have the same size, modification
// time and status-change time, as precisely as the system gives them;
// false when it cannot tell.
bool same_stamp(int a, int b, bool &same);

// Empties the regular file open on fd; an empty one, and anything else (a
// device, a FIFO), is left as it is. False on failure.
bool truncate_file(int fd);

// Sets the position of fd, counted from the start; the result is that of
// the system call (the position, or -1).
std::int64_t seek_to(int fd, std::int64_t position);

// The position of fd, or -1.
std::int64_t file_position(int fd);

// Reads at most count bytes from position `at`; returns how many, 0 at the
// end of the file, -1 on failure. The descriptor's own position may move.
std::int64_t read_at(int fd, std::int64_t at, unsigned char *bytes, std::size_t count);

// Moves at most count bytes; returns how many, 0 at the end of the input,
// -1 on failure. Interrupted calls are retried.
std::int64_t read_some(int fd, unsigned char *bytes, std::size_t count);
std::int64_t write_some(int fd, const unsigned char *bytes, std::size_t count);

// Has the system copy up to count bytes from in to out, each at its own
// position, without passing them through the program; returns how many it
// copied, 0 when it will not (the caller then copies them itself).
std::int64_t copy_range(int in, int out, std::uint64_t count);
