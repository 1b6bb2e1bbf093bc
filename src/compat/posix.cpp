// The POSIX side of compat.h, with Linux's copy_file_range, fallocate,
// extended attributes and /proc where the system has them.
#define _FILE_OFFSET_BITS 64 // 64-bit off_t on 32-bit systems too

#include "compat.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#if __has_include(<sys/statfs.h>)
#include <sys/statfs.h> // a filesystem's type, as a number
#endif
#if __has_include(<sys/xattr.h>)
#include <sys/xattr.h>
#endif
#include <time.h>
#include <unistd.h>

#include "seam.h"

namespace {

// One call moves less than 2^31 bytes.
constexpr std::size_t call_max = std::size_t{1} << 30;

// The longest name that bears a terminating zero after it, in bytes.
constexpr int name_room = 260;

constexpr int open_flags = O_CLOEXEC | O_NOCTTY;

// A folder opened to act in, not to read, where the system has such an
// open: then one that may be searched but not listed opens too.
#if defined(O_PATH)
constexpr int search_flags = O_PATH;
#elif defined(O_SEARCH)
constexpr int search_flags = O_SEARCH;
#else
constexpr int search_flags = O_RDONLY;
#endif

// True where the test build fails this call, with the errno it names.
bool failed(const char *operation, role r)
{
	const int error = fault_at(operation, r);
	if (error != 0)
		errno = error;
	return error != 0;
}

// Copies a zero-terminated text into room bytes, which the caller knows
// it fits.
void copy_text(char *to, std::size_t room, const char *from)
{
	static_cast<void>(std::snprintf(to, room, "%s", from));
}

} // namespace

bool open_standard_streams()
{
	for (int fd = 0; fd < 3; ++fd) {
		if (::fcntl(fd, F_GETFD) == -1 &&
		    (failed("open", role::null) || ::open("/dev/null", O_RDWR) != fd))
			return false;
	}
	return true;
}

void binary_stderr()
{
}

void ignore_write_signals()
{
	// Neither fails: both are signals, and ignoring them is allowed.
	static_cast<void>(std::signal(SIGXFSZ, SIG_IGN));
	static_cast<void>(std::signal(SIGPIPE, SIG_IGN));
}

void utf8_arguments(int &, char **&)
{
}

bool name_too_long(const char *name)
{
	return ::strnlen(name, name_room) == name_room;
}

void console_text(char *)
{
}

bool console_utf8()
{
	return true;
}

bool print_error(const char *format, std::va_list args)
{
	return !failed("print", role::err) && std::vfprintf(stderr, format, args) >= 0;
}

std::FILE *open_input(const char *path)
{
	return failed("open", role::input) ? nullptr : std::fopen(path, "rb");
}

bool read_item(std::FILE *in, void *item, std::size_t size)
{
	return !failed("read", role::input) && std::fread(item, size, 1, in) == 1;
}

int read_byte(std::FILE *in)
{
	return failed("read", role::input) ? EOF : std::fgetc(in);
}

std::int64_t stream_position(std::FILE *in)
{
	return failed("seek", role::input) ? -1 : ::ftello(in);
}

bool seek_stream(std::FILE *in, std::int64_t position)
{
	return !failed("seek", role::input) &&
	       ::fseeko(in, static_cast<off_t>(position), SEEK_SET) == 0;
}

int stream_descriptor(std::FILE *stream)
{
	return ::fileno(stream);
}

namespace {

void take_facts(const struct stat &st, role r, file_facts &facts)
{
	facts.kind = S_ISREG(st.st_mode)   ? file_kind::regular
		     : S_ISDIR(st.st_mode) ? file_kind::folder
		     : S_ISLNK(st.st_mode) ? file_kind::link
					   : file_kind::stream;
	facts.device = static_cast<std::uint64_t>(st.st_dev); // signed on some systems
	facts.index = st.st_ino;
	facts.owner = st.st_uid;
	facts.group = st.st_gid;
	facts.mode = st.st_mode & 07777;
	facts.size = st.st_size;
	facts.modes = true;
	fault_facts(r, facts);
}

} // namespace

bool facts_of(int fd, role r, file_facts &facts)
{
	struct stat st;
	if (failed("status", r) || ::fstat(fd, &st) != 0)
		return false;
	take_facts(st, r, facts);
	return true;
}

bool facts_at(int folder, const char *name, role r, file_facts &facts)
{
	struct stat st;
	facts = file_facts{};
	if (failed("lookup", r))
		return false;
	if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
		return errno == ENOENT || errno == ENOTDIR;
	take_facts(st, r, facts);
	return true;
}

std::uint32_t runner()
{
	return ::geteuid();
}

namespace {

// A file that was no FIFO when asked: opened to be read and written, or
// where it may not be written (so that it can be refused), to be read.
int open_existing(const char *path, bool &writable)
{
	int fd = ::open(path, O_RDWR | O_NONBLOCK | open_flags);
	if (fd < 0 && errno == EACCES)
		fd = ::open(path, O_WRONLY | O_NONBLOCK | open_flags);
	writable = fd >= 0;
	if (fd < 0 && errno == EACCES)
		fd = ::open(path, O_RDONLY | O_NONBLOCK | open_flags);
	return fd;
}

} // namespace

// The kernel follows the links, so its protections apply (a link another
// user planted in a sticky folder is refused) and so do its limits. A FIFO
// is opened as a writer alone: opened for reading too, it would not wait
// for its reader, and closed again, it would give a waiting reader the end
// of its data. So its kind is asked first; what was opened is then judged
// by its own kind, whatever the name held a moment before.
bool open_old_output(const char *path, int &fd, file_kind &kind, bool &writable)
{
	struct stat st;
	fd = -1;
	kind = file_kind::none;
	writable = false;
	if (failed("lookup", role::old))
		return false;
	if (::stat(path, &st) != 0) {
		// A dangling link is not written through, as cp does not.
		return errno == ENOENT && ::lstat(path, &st) != 0 && errno == ENOENT;
	}
	const bool fifo = S_ISFIFO(st.st_mode);
	if (failed("open", role::old))
		return false;
	fd = fifo ? ::open(path, O_WRONLY | open_flags) : open_existing(path, writable);
	// A FIFO put there meanwhile was opened as a reader too, which it must not be.
	if (fd < 0 || ::fstat(fd, &st) != 0 || (S_ISFIFO(st.st_mode) && !fifo))
		return false;
	writable = writable || fifo;
	kind = S_ISREG(st.st_mode) ? file_kind::regular : file_kind::stream;
	// A device is written as it blocks, as any program writes it.
	const int flags = ::fcntl(fd, F_GETFL);
	return kind == file_kind::regular ||
	       (flags != -1 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0);
}

bool name_was_too_long(const char *)
{
	return errno == ENAMETOOLONG;
}

// A lock or a map of another program's stops no write here.
bool held_elsewhere()
{
	return false;
}

bool device_name(const char *)
{
	return false;
}

// Linux names an open file in /proc as the kernel found it, macOS through
// fcntl; without either (a chroot without /proc), nothing names it.
bool file_name(int fd, role r, path_buffer &name)
{
	if (failed("name", r))
		return false;
#ifdef F_GETPATH
	static_assert(path_max >= PATH_MAX);
	return ::fcntl(fd, F_GETPATH, name.data()) != -1;
#else
	char link[32];
	static_cast<void>(std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd));
	const ssize_t n = ::readlink(link, name.data(), name.size());
	if (n <= 0 || static_cast<std::size_t>(n) >= name.size() || name[0] != '/')
		return false;
	name[static_cast<std::size_t>(n)] = '\0';
	return true;
#endif
}

int open_folder(const char *path, role r)
{
	return failed("open", r) ? -1 : ::open(path, search_flags | O_DIRECTORY | open_flags);
}

bool make_folder_at(int folder, const char *name, role r)
{
	return !failed("make", r) && ::mkdirat(folder, name, 0700) == 0;
}

int open_folder_at(int folder, const char *name, role r)
{
	return failed("open", r)
		   ? -1
		   : ::openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | open_flags);
}

bool set_mode(int fd, std::uint32_t mode, role r)
{
	return !failed("mode", r) && ::fchmod(fd, static_cast<mode_t>(mode)) == 0;
}

namespace {

DIR *listing = nullptr;

} // namespace

bool open_listing(int folder, role r, bool &listed)
{
	listed = false;
	if (failed("list", r))
		return false;
	// A folder that may be acted in but not read opens for no listing.
	const int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | open_flags);
	listing = fd < 0 ? nullptr : ::fdopendir(fd);
	listed = listing != nullptr;
	return listed || errno == EACCES;
}

// Its entries are not failed one by one: their order, and so their number,
// changes with the names.
bool next_entry(role, path_buffer &name, bool &found)
{
	for (;;) {
		errno = 0;
		const dirent *entry = ::readdir(listing);
		found = entry != nullptr;
		if (!found)
			return errno == 0;
		if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
			copy_text(name.data(), name.size(), entry->d_name);
			return true;
		}
	}
}

void close_listing()
{
	static_cast<void>(::closedir(listing)); // only read
	listing = nullptr;
}

namespace {

// The letters a folder that ignores case takes as one: ASCII's and
// Latin-1's. A byte outside well-formed two-byte UTF-8 stands for itself.
std::uint32_t folded(const unsigned char *&s)
{
	std::uint32_t c = *s++;
	if (c >= 0xC2 && c < 0xE0 && (*s & 0xC0) == 0x80)
		c = (c & 0x1F) << 6 | (*s++ & 0x3Fu);
	else if (c >= 0x80)
		return c << 16;
	const bool capital = (c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7);
	return capital ? c + 0x20 : c;
}

bool same_but_case(const char *a, const char *b)
{
	const auto *x = reinterpret_cast<const unsigned char *>(a);
	const auto *y = reinterpret_cast<const unsigned char *>(b);
	while (*x != 0 && *y != 0) {
		if (folded(x) != folded(y))
			return false;
	}
	return *x == *y;
}

} // namespace

// The name itself wins where the folder holds it: a folder that tells
// case apart may hold other spellings too.
bool entry_spelling(int folder, const char *name, path_buffer &spelling)
{
	bool listed;
	bool found = true;
	bool exact = false;
	path_buffer entry;
	path_buffer other{};
	if (!open_listing(folder, role::folder, listed))
		return false;
	bool read = true;
	while (listed && read && !exact && (read = next_entry(role::folder, entry, found)) &&
	       found) {
		exact = std::strcmp(entry.data(), name) == 0;
		if (!exact && other[0] == '\0' && same_but_case(entry.data(), name))
			other = entry;
	}
	if (listed)
		close_listing();
	copy_text(spelling.data(), spelling.size(),
		  exact || other[0] == '\0' ? name : other.data());
	return read;
}

int create_at(int folder, const char *name, role r)
{
	return failed("create", r)
		   ? -1
		   : ::openat(folder, name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | open_flags,
			      0666);
}

bool rename_at(int from_folder, const char *from, int to_folder, const char *to, role r)
{
	return !failed("rename", r) && ::renameat(from_folder, from, to_folder, to) == 0;
}

// POSIX removes a name, never an open file: the caller looked at what it
// holds.
bool remove_at(int folder, const char *name, int fd, bool is_folder, role r)
{
	const bool removed =
	    !failed("remove", r) && ::unlinkat(folder, name, is_folder ? AT_REMOVEDIR : 0) == 0;
	if (fd >= 0)
		static_cast<void>(::close(fd)); // only removed
	return removed;
}

#if __has_include(<sys/statfs.h>)
bool may_keep_listing(int fd)
{
	// The filesystems whose lookups the kernel answers from the disk, or
	// from memory that is the disk: ext2-4, XFS, btrfs, tmpfs, ramfs, FAT,
	// exFAT, F2FS, overlayfs (over them), ZFS.
	constexpr unsigned long local[] = {0xEF53, 0x58465342, 0x9123683E, 0x01021994, 0x858458F6,
					   0x4D44, 0x2011BAB0, 0xF2F52010, 0x794C7630, 0x2FC12FC1};
	struct statfs st;
	const bool known = ::fstatfs(fd, &st) == 0; // else it may, as far as the program knows
	bool is_local = false;
	for (const unsigned long type : local)
		is_local = is_local || (known && static_cast<unsigned long>(st.f_type) == type);
	return !is_local;
}
#else
bool may_keep_listing(int)
{
	return true;
}
#endif

bool two_entries(const char *, const char *)
{
	return false;
}

const char folder_separators[] = "/";

std::uint64_t unique_number()
{
	timespec now{};
	static_cast<void>(::clock_gettime(CLOCK_REALTIME, &now)); // it cannot fail so
	return static_cast<std::uint64_t>(::getpid()) << 32 ^
	       static_cast<std::uint64_t>(now.tv_sec) * 1000000000u ^
	       static_cast<std::uint64_t>(now.tv_nsec);
}

namespace {

// Extended attributes (and the ACL among them) as Linux has them; macOS's
// calls take more arguments, and name a flag Linux has not.
#if __has_include(<sys/xattr.h>) && !defined(XATTR_NOFOLLOW)
// Room for every extended attribute's name, and for one value, as Linux
// bounds them.
char attribute_names[65536];
unsigned char attribute_value[65536];

constexpr const char *acl_name = "system.posix_acl_access";

// Gives mode the group bits of an ACL's owning-group entry (the ACL holds
// its version, then entries of a 16-bit tag, 16-bit permissions and 32-bit
// id).
void group_entry(mode_t &mode, const unsigned char *acl, std::size_t size)
{
	constexpr unsigned group_obj = 4;
	for (std::size_t at = 4; at + 8 <= size; at += 8) {
		if ((acl[at] | acl[at + 1] << 8) == group_obj)
			mode = (mode & ~static_cast<mode_t>(070)) |
			       static_cast<mode_t>(acl[at + 2] & 7) << 3;
	}
}

// Copies each attribute the program may set; where the ACL is not copied,
// mode's group bits become its group entry's, as the mode shows its mask.
// The new file keeps no ACL the old one had not: its folder's default ACL
// may have given it one. False where that one cannot go.
bool carry_extended(int from, int to, mode_t &mode)
{
	bool acl = false;
	const ssize_t listed = ::flistxattr(from, attribute_names, sizeof attribute_names);
	for (ssize_t at = 0; at < listed;
	     at += static_cast<ssize_t>(std::strlen(attribute_names + at)) + 1) {
		const char *name = attribute_names + at;
		const bool is_acl = std::strcmp(name, acl_name) == 0;
		const ssize_t size =
		    ::fgetxattr(from, name, attribute_value, sizeof attribute_value);
		const bool copied =
		    size >= 0 && !(is_acl && failed("acl", role::output)) &&
		    ::fsetxattr(to, name, attribute_value, static_cast<std::size_t>(size), 0) == 0;
		acl = acl || (is_acl && copied);
		if (!copied && size >= 0 && is_acl)
			group_entry(mode, attribute_value, static_cast<std::size_t>(size));
	}
	return acl || ::fremovexattr(to, acl_name) == 0 || errno == ENODATA || errno == EOPNOTSUPP;
}
#else
bool carry_extended(int, int, mode_t &)
{
	return true;
}
#endif

} // namespace

// The owner first, then the group, each alone: who may not give a file
// away may still give it a group of theirs. The attributes follow, as a
// change of owner clears some; the permission bits last, as changing the
// owner clears the set-user-ID bit.
bool carry_attributes(int from, int to, bool &owned, bool &exact)
{
	exact = true;
	struct stat old;
	struct stat now;
	if (failed("status", role::old) || ::fstat(from, &old) != 0 ||
	    failed("mode", role::output) || ::fstat(to, &now) != 0)
		return false;
	constexpr auto same_uid = static_cast<uid_t>(-1);
	constexpr auto same_gid = static_cast<gid_t>(-1);
	const bool owner = old.st_uid == now.st_uid || ::fchown(to, old.st_uid, same_gid) == 0;
	const bool group = old.st_gid == now.st_gid || ::fchown(to, same_uid, old.st_gid) == 0;
	owned = owner && group;
	mode_t mode = old.st_mode & 07777;
	return carry_extended(from, to, mode) &&
	       ((now.st_mode & 07777) == mode || ::fchmod(to, mode) == 0);
}

// The old output was opened for writing: no other program's handle stops it.
int open_in_place(int fd, role r)
{
	return failed("reopen", r) ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
}

namespace {

// Extends the file to size bytes, with room set aside for them.
#ifdef FALLOC_FL_KEEP_SIZE
bool allocate(int fd, std::int64_t size)
{
	return ::fallocate(fd, 0, 0, static_cast<off_t>(size)) == 0;
}
#else
bool allocate(int, std::int64_t)
{
	errno = EOPNOTSUPP;
	return false;
}
#endif

} // namespace

// Where the system sets no room aside, the bytes past the file's end are
// written as zeros, and taken back where they cannot all be.
bool reserve_size(int fd, std::int64_t size, role r)
{
	struct stat st;
	if (::fstat(fd, &st) != 0)
		return false;
	if (size <= st.st_size)
		return !failed("size", r) && ::ftruncate(fd, static_cast<off_t>(size)) == 0;
	if (!failed("allocate", r) && allocate(fd, size))
		return true;
	if (errno != EOPNOTSUPP && errno != ENOSYS)
		return false;
	static const unsigned char zeros[65536] = {};
	for (off_t at = st.st_size; at < size;) {
		const ssize_t n = ::pwrite(
		    fd, zeros, static_cast<std::size_t>(std::min<off_t>(size - at, sizeof zeros)),
		    at);
		if (n <= 0) {
			// The file had none of these bytes: they go, and the failure stands.
			[[maybe_unused]] const int restored = ::ftruncate(fd, st.st_size);
			return false;
		}
		at += n;
	}
	return true;
}

bool sync_file(int fd, role r)
{
	return !failed("sync", r) && ::fsync(fd) == 0;
}

bool close_file(int fd, role r)
{
	const bool fails = failed("close", r);
	return ::close(fd) == 0 && !fails;
}

std::int64_t seek_to(int fd, std::int64_t position, role r)
{
	return failed("seek", r) ? -1 : ::lseek(fd, static_cast<off_t>(position), SEEK_SET);
}

std::int64_t file_position(int fd, role r)
{
	return failed("seek", r) ? -1 : ::lseek(fd, 0, SEEK_CUR);
}

std::int64_t read_some(int fd, unsigned char *bytes, std::size_t count, role r)
{
	ssize_t n;
	if (failed("read", r))
		return -1;
	while ((n = ::read(fd, bytes, std::min(count, call_max))) < 0 && errno == EINTR) {
	}
	return n;
}

std::int64_t write_some(int fd, const unsigned char *bytes, std::size_t count, role r)
{
	ssize_t n;
	if (failed("write", r))
		return -1;
	count = fault_count(r, std::min(count, call_max));
	while ((n = ::write(fd, bytes, count)) < 0 && errno == EINTR) {
	}
	return n;
}

std::int64_t copy_range(int in, int out, std::uint64_t count)
{
	if (failed("copy", role::output))
		return 0;
#ifdef LEADCUT_COPY_FILE_RANGE
	ssize_t n;
	while ((n = ::copy_file_range(
		    in, nullptr, out, nullptr,
		    static_cast<std::size_t>(std::min<std::uint64_t>(count, call_max)), 0)) < 0 &&
	       errno == EINTR) {
	}
	return n > 0 ? n : 0;
#else
	static_cast<void>(in);
	static_cast<void>(out);
	static_cast<void>(count);
	return 0;
#endif
}

namespace {

void (*ending_cleanup)() = nullptr;

// The run ends: the seam is told, and what the run made goes.
void end_run()
{
	static_cast<void>(fault_at("exit", role::null));
	ending_cleanup();
}

extern "C" void end_by_signal(int signal)
{
	end_run();
	static_cast<void>(::raise(signal)); // the handler is reset: this ends the process
}

// Whether a signal's default action ends the process: all but those that
// stop it, continue it or are ignored. SIGKILL cannot be caught.
bool ends_by_default(int signal)
{
	switch (signal) {
	case SIGKILL:
	case SIGSTOP:
	case SIGTSTP:
	case SIGTTIN:
	case SIGTTOU:
	case SIGCONT:
	case SIGCHLD:
	case SIGURG:
#ifdef SIGWINCH
	case SIGWINCH:
#endif
#ifdef SIGINFO
	case SIGINFO:
#endif
		return false;
	default:
		return true;
	}
}

// The highest signal number: the last real-time one where there are any.
int last_signal()
{
#ifdef SIGRTMAX
	return SIGRTMAX;
#else
	return NSIG - 1;
#endif
}

} // namespace

// Each handler runs with every signal held, so two signals never remove at
// once; the C library's own signals cannot be caught, and stay as they are.
void on_ending(void (*cleanup)())
{
	ending_cleanup = cleanup;
	for (int signal = 1; signal <= last_signal(); ++signal) {
		struct sigaction action {};
		// A signal the caller ignores (a background job's SIGINT) stays ignored.
		if (!ends_by_default(signal) || ::sigaction(signal, nullptr, &action) != 0 ||
		    action.sa_handler == SIG_IGN)
			continue;
		action.sa_handler = end_by_signal;
		action.sa_flags = static_cast<int>(SA_RESETHAND);
		sigfillset(&action.sa_mask);
		static_cast<void>(::sigaction(signal, &action, nullptr));
	}
	static_cast<void>(std::atexit(end_run)); // room for 32 is promised
}

void hold_endings()
{
	sigset_t set;
	sigemptyset(&set);
	for (int signal = 1; signal <= last_signal(); ++signal) {
		if (ends_by_default(signal))
			static_cast<void>(sigaddset(&set, signal)); // the C library's own stay
	}
	static_cast<void>(::sigprocmask(SIG_BLOCK, &set, nullptr));
}
