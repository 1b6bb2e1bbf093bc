// The operations whose system calls differ between POSIX and Windows: facts
// about files and the primitives that act on them. What is refused and which
// way a file is replaced is decided by the callers, which read as if there
// were one system. Positions and sizes are 64-bit everywhere.
#ifndef LEADCUT_COMPAT_COMPAT_H
#define LEADCUT_COMPAT_COMPAT_H

#include <array>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>

// Whom a call is for, as its caller names it. The program passes it on
// untouched; the test build fails the Nth call of an operation by it.
enum class role {
	input,  // the file reported and cut
	output, // what the cut goes to: the new file, or a FIFO or a device
	old,    // an existing output: identified, its attributes read, perhaps written in place
	folder, // the folders that hold the output and the input
	own,    // the program's own folder beside the output, and the byte first written there
	mark,   // the folder and file made beside the input, through a view, to be looked up
	err,    // standard error
	null,   // the null device, opened on a closed standard stream
};

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

// Prints to standard error; false when the system did not take it all.
[[gnu::format(printf, 1, 0)]] bool print_error(const char *format, std::va_list args);

// Opens the input by a UTF-8 name, as a stream read in binary mode.
std::FILE *open_input(const char *path);

// Reads one item of `size` bytes from the input; false unless it came whole.
bool read_item(std::FILE *in, void *item, std::size_t size);

// The input's next byte, or EOF at its end and on a failure.
int read_byte(std::FILE *in);

// The position of the input, or -1.
std::int64_t stream_position(std::FILE *in);

// Sets the position of the input, counted from the start; false on failure.
// Positions pass 2^31 on every system, where long does not.
bool seek_stream(std::FILE *in, std::int64_t position);

// The descriptor under an open stream.
int stream_descriptor(std::FILE *stream);

// The longest path the program puts together: a folder and a name, or the
// name the system gives an open file.
constexpr std::size_t path_max = 4096;
using path_buffer = std::array<char, path_max>;

// What a name or a descriptor holds: a FIFO, a device or a socket is a
// stream.
enum class file_kind { none, regular, folder, link, stream };

// What the system says of a file. Its identity is the device and index
// pair (on Windows the volume and file index), which a view may show
// differently for one file, and which tells it from every other file only
// where `identified` says so (Windows gives some volumes no number, Wine
// every mount below a drive's own). Owner, group and permission bits (with
// the set-ID and sticky bits) are POSIX's, where `modes` says the system
// has them.
struct file_facts {
	file_kind kind = file_kind::none;
	std::uint64_t device = 0;
	std::uint64_t index = 0;
	std::uint32_t owner = 0;
	std::uint32_t group = 0;
	std::uint32_t mode = 0;
	std::int64_t size = 0;
	bool modes = false;
	bool identified = true;
};

// The facts of the file open on fd; false when the system cannot tell.
bool facts_of(int fd, role r, file_facts &facts);

// The facts of what `name` holds in the folder open on `folder`, never
// through a link (a link is of kind link); kind none where it holds
// nothing. `name` may pass through folders below it. False when the
// system cannot tell.
bool facts_at(int folder, const char *name, role r, file_facts &facts);

// The user whose permissions the run has.
std::uint32_t runner();

// Opens what a name holds for the output, following its links as the
// system's open does, with the system's protections and limits; never
// truncating it. Its kind is the open file's: a regular file is opened to
// be identified, read and written (`writable` false where the runner may
// not write it), a FIFO or a device for writing (a FIFO once it has a
// reader). Kind none (fd -1) where the name holds nothing. False on
// failure, and for a link that leads to no file.
bool open_old_output(const char *path, int &fd, file_kind &kind, bool &writable);

// True when the call that failed last, on `name`, failed for its last part
// being longer than its folder holds (on Windows, judged by that length:
// the system gives one error for that and for a character it refuses).
bool name_was_too_long(const char *name);

// True when the call that failed last failed because another program holds
// the file: has it open, or mapped into its memory (Windows).
bool held_elsewhere();

// True where the system takes the last part of path, whatever its folder,
// for a device (Windows: CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9,
// with any extension); never on POSIX.
bool device_name(const char *path);

// The name under which the system reached the file open on fd, its links
// resolved; false where the system keeps no such name (Linux without
// /proc).
bool file_name(int fd, role r, path_buffer &name);

// Opens a folder by a path, following its links as the system's open does,
// to act in it: it need not be listed; -1 on failure.
int open_folder(const char *path, role r);

// Makes a folder, private to its owner, in the folder open on `folder`;
// false on failure, also where the name is taken.
bool make_folder_at(int folder, const char *name, role r);

// Opens the folder `name` holds in the folder open on `folder`, never
// through a link, to act in it and list it; -1 on failure.
int open_folder_at(int folder, const char *name, role r);

// Sets the permission bits of the folder or file open on fd; false on
// failure. A filesystem that keeps none may take the call and keep nothing.
bool set_mode(int fd, std::uint32_t mode, role r);

// Lists the folder open on `folder`, one entry at a time, "." and ".."
// left out: open_listing sets `listed` false where the folder may be acted
// in but not listed; next_entry sets `found` false at the end. One listing
// is open at a time, until close_listing. False on any other failure.
bool open_listing(int folder, role r, bool &listed);
bool next_entry(role r, path_buffer &name, bool &found);
void close_listing();

// The spelling the folder open on `folder` has for `name`: itself where it
// holds it so, or cannot be listed; else an entry that is the same but for
// case; false when the folder cannot be read.
bool entry_spelling(int folder, const char *name, path_buffer &spelling);

// Creates a new file exclusively in the folder open on `folder`, never
// through a link, for reading and writing, as a plain create makes it
// (0666 less the umask, or the folder's default ACL); -1 on failure.
int create_at(int folder, const char *name, role r);

// Gives the entry `from` of one folder the name `to` in another, in one
// step, replacing what `to` held; false where the system refuses, with
// both as they were.
bool rename_at(int from_folder, const char *from, int to_folder, const char *to, role r);

// Removes the entry `name`, a file or (with `is_folder`) an empty folder,
// from the folder open on `folder`, and closes fd where it is open on that
// entry (Windows then removes the very file open on it, by no name); false
// on failure.
bool remove_at(int folder, const char *name, int fd, bool is_folder, role r);

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

// Where the last part of `text` begins: after the last of its characters
// that is one of `separators`. The one scan of every name, narrow or wide.
template <typename C> std::size_t part_start(const C *text, const C *separators)
{
	std::size_t start = 0;
	for (std::size_t i = 0; text[i] != C{}; ++i) {
		for (const C *s = separators; *s != C{}; ++s) {
			if (text[i] == *s)
				start = i + 1;
		}
	}
	return start;
}

// What ends a folder's name in this system's paths.
extern const char folder_separators[];

// Where the last part of a path begins: after its last folder separator.
inline std::size_t name_start(const char *path)
{
	return part_start(path, folder_separators);
}

// A number of the process and the moment, for names no other process makes
// and no earlier run made.
std::uint64_t unique_number();

// Gives the file open on `to` what the one open on `from` carries, as far
// as the program may: extended attributes and exactly the old file's ACL
// (none where it had none), permission bits (where the ACL cannot go, its
// group entry as the group's bits, never its wider mask), and the owner and
// the group, each where it may be set (`owned` is false where either
// cannot be; on Windows, the security descriptor). `exact` is false where
// the new file's access cannot be made the old one's, though its owner is
// the same (Wine's access lists stand for permission bits, and cannot be
// set as they were). False when the old file's attributes cannot be read,
// or the new file's permissions cannot be made no wider.
bool carry_attributes(int from, int to, bool &owned, bool &exact);

// Opens the old output open on fd again, to write it in place, held by
// this program alone where the system can (Windows): -1 where it cannot be,
// as where another program holds it.
int open_in_place(int fd, role r);

// Makes the file open on fd `size` bytes long, with room set aside for all
// of them: cut first where it is longer (which another program's mapped
// view refuses), else the room set aside, its bytes unchanged; false where
// it cannot, the file as it was.
bool reserve_size(int fd, std::int64_t size, role r);

// Has the system put the bytes written to fd on its disk; false on failure.
bool sync_file(int fd, role r);

// Closes a descriptor; false when the system reports a failure.
bool close_file(int fd, role r);

// Sets the position of fd, counted from the start; the result is that of
// the system call (the position, or -1).
std::int64_t seek_to(int fd, std::int64_t position, role r);

// The position of fd, or -1.
std::int64_t file_position(int fd, role r);

// Moves at most count bytes; returns how many, 0 at the end of the input,
// -1 on failure. Interrupted calls are retried.
std::int64_t read_some(int fd, unsigned char *bytes, std::size_t count, role r);
std::int64_t write_some(int fd, const unsigned char *bytes, std::size_t count, role r);

// Has the system copy up to count bytes from the input to the output, each
// at its own position, without passing them through the program; returns
// how many it copied, 0 when it will not (the caller then copies them
// itself).
std::int64_t copy_range(int in, int out, std::uint64_t count);

// Has `cleanup` run when the process exits, and when a signal whose default
// ends the process (every one the system has, but those ignored on entry)
// ends it: the signal then ends it as it would have. Windows' console
// events (Ctrl-C, Ctrl-Break, a closed console) end it with their status.
// cleanup must be safe in a signal handler.
void on_ending(void (*cleanup)());

// Holds back those signals and events for the rest of the run, from where
// it must end as a whole one: a file must not be left half written.
void hold_endings();

#endif
