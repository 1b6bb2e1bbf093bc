// The POSIX side of compat.h, with Linux's copy_file_range.
#define _FILE_OFFSET_BITS 64 // 64-bit off_t on 32-bit systems too

#include "compat.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#ifdef __linux__
#include <sys/statfs.h>
#include <sys/xattr.h>
#endif
#include <time.h>
#include <unistd.h>

namespace {

// One call moves less than 2^31 bytes.
constexpr std::size_t call_max = std::size_t{1} << 30;

// The longest name that bears a terminating zero after it, in bytes.
constexpr int name_room = 260;

} // namespace

bool open_standard_streams()
{
	for (int fd = 0; fd < 3; ++fd) {
		if (::fcntl(fd, F_GETFD) == -1 && ::open("/dev/null", O_RDWR) != fd)
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

std::FILE *open_input(const char *path)
{
	return std::fopen(path, "rb");
}

namespace {

constexpr int open_flags = O_CLOEXEC | O_NOCTTY;

// Copies a zero-terminated text into room bytes, which the caller knows
// it fits: a name of a folder into a path, a path into another as long.
void copy_text(char *to, std::size_t room, const char *from)
{
	static_cast<void>(std::snprintf(to, room, "%s", from));
}

} // namespace

// The kernel follows the links, so its protections apply (a link another
// user planted in a sticky folder is refused) and so do its limits. A FIFO
// is opened as a writer alone: opened for reading too, it would not wait
// for its reader, and closed again, it would give a waiting reader the end
// of its data. Its kind is asked first, and a FIFO that takes the name's
// place meanwhile is opened again. A regular file is opened only to be
// identified, for reading where it may be read.
bool open_old_output(const char *path, int &fd, output_kind &kind)
{
	struct stat st;
	fd = -1;
	kind = output_kind::absent;
	if (::stat(path, &st) != 0) {
		// A dangling link is not written through, as cp does not.
		return errno == ENOENT && ::lstat(path, &st) != 0 && errno == ENOENT;
	}
	if (!S_ISFIFO(st.st_mode)) {
		fd = ::open(path, O_RDONLY | O_NONBLOCK | open_flags);
		if (fd < 0 && errno == EACCES)
			fd = ::open(path, O_WRONLY | O_NONBLOCK | open_flags);
		if (fd < 0 || ::fstat(fd, &st) != 0)
			return false;
		kind = S_ISREG(st.st_mode) ? output_kind::regular : output_kind::stream;
		// A file its owner made read-only stays, though its folder would let
		// a new file take its name.
		if (kind == output_kind::regular)
			return ::faccessat(AT_FDCWD, path, W_OK, AT_EACCESS) == 0;
		static_cast<void>(::close(fd)); // opened for reading: it is written below
	}
	kind = output_kind::stream;
	fd = ::open(path, O_WRONLY | open_flags);
	return fd >= 0;
}

bool name_was_too_long()
{
	return errno == ENAMETOOLONG;
}

// Linux names an open file in /proc as the kernel found it; elsewhere the
// system keeps no name, and the name that opened it stands.
bool open_file_name(int fd, const char *path, path_buffer &name)
{
#ifdef __linux__
	static_cast<void>(path);
	char link[32];
	static_cast<void>(std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd));
	const ssize_t n = ::readlink(link, name.data(), name.size());
	if (n <= 0 || static_cast<std::size_t>(n) >= name.size() || name[0] != '/')
		return false;
	name[static_cast<std::size_t>(n)] = '\0';
	return true;
#else
	static_cast<void>(fd);
	copy_text(name.data(), name.size(), path); // a name of the command line fits
	return true;
#endif
}

bool names_file(const char *path, int fd, bool &same)
{
	struct stat named;
	struct stat open;
	if (::lstat(path, &named) != 0 || ::fstat(fd, &open) != 0)
		return false;
	same =
	    !S_ISLNK(named.st_mode) && named.st_dev == open.st_dev && named.st_ino == open.st_ino;
	return true;
}

#ifdef __linux__
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

std::size_t name_start(const char *path)
{
	const char *slash = std::strrchr(path, '/');
	return slash == nullptr ? 0 : static_cast<std::size_t>(slash - path) + 1;
}

std::uint64_t unique_number()
{
	timespec now{};
	static_cast<void>(::clock_gettime(CLOCK_REALTIME, &now)); // it cannot fail so
	return static_cast<std::uint64_t>(::getpid()) << 32 ^
	       static_cast<std::uint64_t>(now.tv_sec) * 1000000000u ^
	       static_cast<std::uint64_t>(now.tv_nsec);
}

bool make_folder(const char *path)
{
	return ::mkdir(path, 0700) == 0;
}

bool remove_folder(const char *path)
{
	return ::rmdir(path) == 0;
}

int create_file(const char *path)
{
	return ::open(path, O_WRONLY | O_CREAT | O_EXCL | open_flags, 0666);
}

bool remove_file(const char *path)
{
	return ::unlink(path) == 0;
}

int open_truncated(const char *path)
{
	return ::open(path, O_RDWR | O_TRUNC | open_flags);
}

int open_in_place(const char *path)
{
	return ::open(path, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | open_flags);
}

bool truncate_file(int fd, std::int64_t size)
{
	return ::ftruncate(fd, static_cast<off_t>(size)) == 0;
}

bool sync_file(int fd)
{
	return ::fsync(fd) == 0;
}

bool name_exists(const char *path, bool &found)
{
	struct stat st;
	found = ::stat(path, &st) == 0;
	return found || errno == ENOENT || errno == ENOTDIR;
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
// case apart may hold other spellings too. A folder that may be searched
// but not listed keeps the name as given.
bool entry_spelling(const char *path, path_buffer &spelling)
{
	const std::size_t start = name_start(path);
	const char *name = path + start;
	char folder[path_max] = ".";
	if (start > 0) {
		std::memcpy(folder, path, start);
		folder[start] = '\0';
	}
	DIR *dir = ::opendir(folder);
	bool read = dir != nullptr || errno == EACCES;
	char other[path_max] = "";
	bool exact = false;
	errno = 0;
	for (const dirent *entry; dir != nullptr && !exact && (entry = ::readdir(dir)) != nullptr;
	     errno = 0) {
		exact = std::strcmp(entry->d_name, name) == 0;
		if (!exact && other[0] == '\0' && same_but_case(entry->d_name, name))
			copy_text(other, sizeof other, entry->d_name);
	}
	if (dir != nullptr) {
		read = errno == 0;
		static_cast<void>(::closedir(dir)); // only read
	}
	copy_text(spelling.data(), spelling.size(), exact || other[0] == '\0' ? name : other);
	return read;
}

namespace {

#ifdef __linux__
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
void carry_extended(int from, int to, mode_t &mode)
{
	const ssize_t listed = ::flistxattr(from, attribute_names, sizeof attribute_names);
	for (ssize_t at = 0; at < listed;
	     at += static_cast<ssize_t>(std::strlen(attribute_names + at)) + 1) {
		const char *name = attribute_names + at;
		const ssize_t size =
		    ::fgetxattr(from, name, attribute_value, sizeof attribute_value);
		const bool copied =
		    size >= 0 &&
		    ::fsetxattr(to, name, attribute_value, static_cast<std::size_t>(size), 0) == 0;
		if (!copied && size >= 0 && std::strcmp(name, acl_name) == 0)
			group_entry(mode, attribute_value, static_cast<std::size_t>(size));
	}
}
#else
void carry_extended(int, int, mode_t &)
{
}
#endif

} // namespace

// The owner first, then the group, each alone: who may not give a file
// away may still give it a group of theirs. The attributes follow, as a
// change of owner clears some; the permission bits last, as changing the
// owner clears the set-user-ID bit.
bool carry_attributes(int from, int to, bool &owned)
{
	struct stat old;
	struct stat now;
	if (::fstat(from, &old) != 0 || ::fstat(to, &now) != 0)
		return false;
	constexpr auto same_uid = static_cast<uid_t>(-1);
	constexpr auto same_gid = static_cast<gid_t>(-1);
	const bool owner = old.st_uid == now.st_uid || ::fchown(to, old.st_uid, same_gid) == 0;
	const bool group = old.st_gid == now.st_gid || ::fchown(to, same_uid, old.st_gid) == 0;
	owned = owner && group;
	mode_t mode = old.st_mode & 07777;
	carry_extended(from, to, mode);
	return (now.st_mode & 07777) == mode || ::fchmod(to, mode) == 0;
}

// As the system decides it for a rename: the sticky bit protects each
// user's names, but for the folder's owner and root.
bool may_take_name(const char *path, int fd)
{
	const std::size_t start = name_start(path); // the root's separator stays
	char folder[path_max] = ".";
	if (start > 0)
		copy_text(folder, std::max<std::size_t>(start, 2), path);
	struct stat file;
	struct stat above;
	const uid_t me = ::geteuid();
	return ::fstat(fd, &file) == 0 && ::stat(folder, &above) == 0 &&
	       ((above.st_mode & S_ISVTX) == 0 || me == 0 || file.st_uid == me ||
		above.st_uid == me);
}

bool rename_file(const char *from, const char *to)
{
	return ::rename(from, to) == 0;
}

namespace {

char removal_path[removal_slots][path_max];
char removal_folder[removal_slots][path_max];
volatile std::sig_atomic_t removal_armed[removal_slots] = {};
bool removal_set = false; // the handlers and the exit's removal

// Async-signal-safe: unlink and rmdir are, and paths are written before
// they are armed.
void remove_armed()
{
	for (int slot = 0; slot < removal_slots; ++slot) {
		if (removal_armed[slot] != 0) {
			removal_armed[slot] = 0;
			static_cast<void>(::unlink(removal_path[slot]));
			static_cast<void>(::rmdir(removal_folder[slot]));
		}
	}
}

extern "C" void remove_and_die(int signal)
{
	remove_armed();
	static_cast<void>(::raise(signal)); // the handler is reset: this ends the process
}

// Every signal whose default ends the process, but SIGPIPE and SIGXFSZ,
// which are ignored, and those that tell of the program's own fault.
constexpr int ending_signals[] = {
    SIGINT,  SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGXCPU, SIGVTALRM, SIGPROF,
#ifdef SIGPOLL
    SIGPOLL,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
};

} // namespace

void remove_at_exit(int slot, const char *path, int)
{
	if (!removal_set) {
		removal_set = true;
		// A signal the caller ignores (a background job's SIGINT) stays ignored.
		for (const int signal : ending_signals) {
			struct sigaction action {};
			if (::sigaction(signal, nullptr, &action) == 0 &&
			    action.sa_handler != SIG_IGN) {
				action.sa_handler = remove_and_die;
				action.sa_flags = static_cast<int>(SA_RESETHAND);
				sigemptyset(&action.sa_mask);
				static_cast<void>(::sigaction(signal, &action, nullptr));
			}
		}
		static_cast<void>(std::atexit(remove_armed)); // room for 32 is promised
	}
	removal_armed[slot] = 0;
	// The path lies in the program's own folder, after its separator.
	copy_text(removal_path[slot], path_max, path);
	copy_text(removal_folder[slot], name_start(path), path);
	removal_armed[slot] = 1;
}

void keep_file(int slot)
{
	removal_armed[slot] = 0;
}

void hold_signals()
{
	sigset_t set;
	sigemptyset(&set);
	for (const int signal : ending_signals)
		sigaddset(&set, signal);
	static_cast<void>(::sigprocmask(SIG_BLOCK, &set, nullptr));
}

bool close_file(int fd)
{
	return ::close(fd) == 0;
}

int stream_descriptor(std::FILE *stream)
{
	return ::fileno(stream);
}

std::int64_t stream_position(std::FILE *stream)
{
	return ::ftello(stream);
}

bool seek_stream(std::FILE *stream, std::int64_t position)
{
	return ::fseeko(stream, static_cast<off_t>(position), SEEK_SET) == 0;
}

bool file_size(int fd, std::int64_t &size)
{
	struct stat st;
	if (::fstat(fd, &st) != 0)
		return false;
	size = S_ISREG(st.st_mode) ? st.st_size : -1;
	return true;
}

bool same_file(int a, int b, bool &same)
{
	struct stat x;
	struct stat y;
	if (::fstat(a, &x) != 0 || ::fstat(b, &y) != 0)
		return false;
	same = x.st_dev == y.st_dev && x.st_ino == y.st_ino;
	return true;
}

std::int64_t seek_to(int fd, std::int64_t position)
{
	return ::lseek(fd, static_cast<off_t>(position), SEEK_SET);
}

std::int64_t file_position(int fd)
{
	return ::lseek(fd, 0, SEEK_CUR);
}

std::int64_t read_some(int fd, unsigned char *bytes, std::size_t count)
{
	ssize_t n;
	while ((n = ::read(fd, bytes, std::min(count, call_max))) < 0 && errno == EINTR) {
	}
	return n;
}

std::int64_t write_some(int fd, const unsigned char *bytes, std::size_t count)
{
	ssize_t n;
	while ((n = ::write(fd, bytes, std::min(count, call_max))) < 0 && errno == EINTR) {
	}
	return n;
}

std::int64_t copy_range(int in, int out, std::uint64_t count)
{
#ifdef __linux__
	ssize_t n;
	while ((n = ::copy_file_range(
		    in, nullptr, out, nullptr,
		    static_cast<std::size_t>(std::min<std::uint64_t>(count, call_max)), 0)) < 0 &&
	       errno == EINTR) {
	}
	return n > 0 ? n : 0;
#else
	(void)in, (void)out, (void)count;
	return 0;
#endif
}
