// The operations whose system calls differ between POSIX and Windows. The
// rest of the program uses only the standard library and these, so it reads
// as if there were one system. Positions and sizes are 64-bit everywhere.
#ifndef LEADCUT_COMPAT_COMPAT_H
#define LEADCUT_COMPAT_COMPAT_H

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

// The longest path the program puts together: a folder and a name, or the
// name the system gives an open file.
constexpr std::size_t path_max = 4096;
using path_buffer = std::array<char, path_max>;

// What a name holds for the output: nothing, a regular file (opened only
// to identify it, never to be written through this descriptor), or a FIFO
// or device (opened for writing, as it is written in place).
enum class output_kind { absent, regular, stream };

// Opens what a name holds for the output, following its links as the
// system's open does, with the system's protections and limits; never
// truncating it; a FIFO once it has a reader. False on failure, for a
// dangling link, and for a regular file that may not be written; kind
// absent (fd -1) is none.
bool open_old_output(const char *path, int &fd, output_kind &kind);

// True when the call that failed last failed for a name longer than its
// folder holds.
bool name_was_too_long();

// The name under which the system reached the file open on fd, its links
// resolved (`path`, which opened it, where the system keeps no such
// name); false when it cannot tell.
bool open_file_name(int fd, const char *path, path_buffer &name);

// Sets same when the name itself (not through a link) holds the file open
// on fd; false when the system cannot tell.
bool names_file(const char *path, int fd, bool &same);

// True where the folder of the file open on fd may answer lookups from a
// listing it keeps, as FUSE and network filesystems may; false where the
// system's own lookup is the folder's (ext4, XFS, btrfs, tmpfs, FAT,
// exFAT in the kernel).
bool may_keep_listing(int fd);

// True where a and b, the names the system gives two open files, name two
// entries of a folder that holds both: on Windows, whose lookups may take
// one for the other, names that differ at all, as a folder that holds two
// spellings tells case apart; never on POSIX, which gives a file the name
// it was looked up by.
bool two_entries(const char *a, const char *b);

// Where the last part of a path begins: after its last folder separator.
std::size_t name_start(const char *path);

// A number of the process and the moment, for names no other process makes
// and no earlier run made.
std::uint64_t unique_number();

// Creates a folder for the program's own files, private to its owner;
// false on failure.
bool make_folder(const char *path);

// Removes an empty folder; false on failure.
bool remove_folder(const char *path);

// Creates a new file exclusively, as a plain create makes it (0666 less
// the umask); -1 on failure.
int create_file(const char *path);

// Removes a name; false on failure.
bool remove_file(const char *path);

// Opens an existing file for reading and writing, emptied; -1 on failure.
int open_truncated(const char *path);

// Opens the file a name itself holds (never through a link) for writing,
// keeping its bytes; -1 on failure.
int open_in_place(const char *path);

// Cuts the file open on fd to size bytes; false on failure.
bool truncate_file(int fd, std::int64_t size);

// Has the system put the bytes written to fd on its disk; false on failure.
bool sync_file(int fd);

// Sets found when a name exists; false when the system cannot tell.
bool name_exists(const char *path, bool &found);

// The last part of path as its folder spells it: itself where the folder
// holds it so, or cannot be listed; else an entry that is the same but for
// case; false when the folder cannot be read.
bool entry_spelling(const char *path, path_buffer &spelling);

// Gives the file open on `to` what the one open on `from` carries, as far
// as the program may: extended attributes and ACL, permission bits (where
// the ACL cannot go, its group entry as the group's bits, never its wider
// mask), and the owner and the group, each where it may be set (`owned`
// is false where either cannot be). False when the old file's attributes
// cannot be read, or the new file's permissions cannot be made no wider.
bool carry_attributes(int from, int to, bool &owned);

// False where the folder of path lets no other file take the name of the
// file open on fd: a sticky folder where neither the folder nor the file
// is the runner's.
bool may_take_name(const char *path, int fd);

// Gives the name `to` to the file `from`, in one step, replacing what `to`
// held; false where the folder refuses, with `to` as it was.
bool rename_file(const char *from, const char *to);

// Has the named file, open on fd (-1 once closed), and the folder of the
// program's own that holds it removed when the process exits, or is ended
// by a signal whose default ends it (SIGINT, SIGTERM, SIGHUP, SIGQUIT,
// SIGUSR1, ...), which then ends it as it would have: one file a slot,
// which a later call names anew, and keep_file empties.
constexpr int removal_slots = 2;
void remove_at_exit(int slot, const char *path, int fd);
void keep_file(int slot);

// Holds back those signals for the rest of the run, from where it must end
// as a whole one: a file must not be left half written.
void hold_signals();

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

#endif
