// The POSIX side of compat.h, with Linux's copy_file_range.
#define _FILE_OFFSET_BITS 64 // 64-bit off_t on 32-bit systems too

#include "compat.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
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

// The most symbolic links one name may lead through, as Linux allows.
constexpr int links_max = 40;

// Copies a zero-terminated text into room bytes; false when it does not fit.
bool copy_text(char *to, std::size_t room, const char *from)
{
	const std::size_t length = std::strlen(from);
	if (length >= room)
		return false;
	std::memcpy(to, from, length + 1);
	return true;
}

} // namespace

bool final_target(const char *path, path_buffer &target)
{
	if (!copy_text(target.data(), target.size(), path))
		return false;
	for (int links = 0; links < links_max; ++links) {
		struct stat st;
		if (::lstat(target.data(), &st) != 0)
			return errno == ENOENT || errno == ENOTDIR;
		if (!S_ISLNK(st.st_mode))
			return true;
		char link[path_max];
		const ssize_t n = ::readlink(target.data(), link, sizeof link - 1);
		if (n < 0)
			return false;
		link[n] = '\0';
		// A relative target is relative to the link's own folder.
		const std::size_t folder = link[0] == '/' ? 0 : name_start(target.data());
		if (folder + static_cast<std::size_t>(n) >= path_max)
			return false;
		std::memcpy(target.data() + folder, link, static_cast<std::size_t>(n) + 1);
	}
	return false;
}

// A FIFO is opened as a writer alone: opened for reading too, it would not
// wait for its reader, and closed again, it would give a waiting reader the
// end of its data. Its kind is asked by name first, and a FIFO that takes
// the name's place meanwhile is opened again. A regular file is opened only
// to be told apart, for reading where it may be read.
bool open_output(const char *path, int &fd, output_kind &kind)
{
	struct stat st;
	fd = -1;
	kind = output_kind::absent;
	if (::stat(path, &st) != 0)
		return errno == ENOENT;
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

int create_file(const char *path, bool private_mode, bool &refused)
{
	const int fd =
	    ::open(path, O_WRONLY | O_CREAT | O_EXCL | open_flags, private_mode ? 0600 : 0666);
	refused = fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS);
	return fd;
}

bool remove_file(const char *path)
{
	return ::unlink(path) == 0;
}

int open_truncated(const char *path)
{
	return ::open(path, O_WRONLY | O_TRUNC | open_flags);
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

} // namespace

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

// The name itself wins where the folder holds it: a folder that tells
// case apart may hold other spellings too.
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
	if (dir == nullptr)
		return false;
	char other[path_max] = "";
	bool exact = false;
	errno = 0;
	for (const dirent *entry; !exact && (entry = ::readdir(dir)) != nullptr; errno = 0) {
		exact = std::strcmp(entry->d_name, name) == 0;
		if (!exact && other[0] == '\0' && same_but_case(entry->d_name, name))
			static_cast<void>(
			    copy_text(other, sizeof other, entry->d_name)); // a name fits
	}
	const bool read = errno == 0;
	static_cast<void>(::closedir(dir)); // only read
	return read && copy_text(spelling.data(), spelling.size(),
				 exact || other[0] == '\0' ? name : other);
}

void copy_owner_and_mode(int from, int to)
{
	struct stat st;
	if (::fstat(from, &st) != 0)
		return;
	// The owner first: changing it clears the set-user-ID bit. Who may not
	// give the file away keeps it as created.
	const int owned = ::fchown(to, st.st_uid, st.st_gid);
	static_cast<void>(owned);
	static_cast<void>(::fchmod(to, st.st_mode & 07777));
}

bool replace_file(const char *from, const char *to, bool replacing, bool &removed)
{
	removed = false;
	if (::rename(from, to) == 0)
		return true;
	removed = replacing && (errno == EEXIST || errno == EPERM || errno == EACCES) &&
		  ::unlink(to) == 0;
	return removed && ::rename(from, to) == 0;
}

namespace {

char removal_path[removal_slots][path_max];
volatile std::sig_atomic_t removal_armed[removal_slots] = {};
bool removal_set = false; // the handlers and the exit's removal

// Async-signal-safe: unlink is, and a path is written before it is armed.
void remove_armed()
{
	for (int slot = 0; slot < removal_slots; ++slot) {
		if (removal_armed[slot] != 0) {
			removal_armed[slot] = 0;
			static_cast<void>(::unlink(removal_path[slot]));
		}
	}
}

extern "C" void remove_and_die(int signal)
{
	remove_armed();
	static_cast<void>(::raise(signal)); // the handler is reset: this ends the process
}

} // namespace

void remove_at_exit(int slot, const char *path, int)
{
	if (!removal_set) {
		removal_set = true;
		// A signal the caller ignores (a background job's SIGINT) stays ignored.
		for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
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
	removal_armed[slot] = copy_text(removal_path[slot], path_max, path) ? 1 : 0;
}

void keep_file(int slot)
{
	removal_armed[slot] = 0;
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
