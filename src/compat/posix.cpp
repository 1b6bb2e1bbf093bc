// The POSIX side of compat.h, with Linux's copy_file_range.
#define _FILE_OFFSET_BITS 64 // 64-bit off_t on 32-bit systems too

#include "compat.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
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

// A FIFO is opened as a writer alone: opened for reading too, it would not
// wait for its reader, and closed again, it would give a waiting reader the
// end of its data. Its kind is asked by name first, and a FIFO that takes
// the name's place meanwhile is opened again.
int open_output(const char *path, bool &created, bool &readable)
{
	constexpr int flags = O_CLOEXEC | O_NOCTTY;
	int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | flags, 0666);
	created = fd >= 0;
	readable = false;
	if (created || errno != EEXIST)
		return fd;
	struct stat st;
	fd = ::stat(path, &st) == 0 && S_ISFIFO(st.st_mode)
		 ? -1
		 : ::open(path, O_RDWR | O_NONBLOCK | flags);
	if (fd >= 0 && ::fstat(fd, &st) == 0 && !S_ISFIFO(st.st_mode) &&
	    ::fcntl(fd, F_SETFL, 0) == 0) {
		readable = S_ISREG(st.st_mode);
		return fd;
	}
	if (fd >= 0)
		::close(fd);
	return ::open(path, O_WRONLY | flags);
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

bool same_stamp(int a, int b, bool &same)
{
	struct stat x;
	struct stat y;
	if (::fstat(a, &x) != 0 || ::fstat(b, &y) != 0)
		return false;
	same = x.st_size == y.st_size && x.st_mtim.tv_sec == y.st_mtim.tv_sec &&
	       x.st_mtim.tv_nsec == y.st_mtim.tv_nsec && x.st_ctim.tv_sec == y.st_ctim.tv_sec &&
	       x.st_ctim.tv_nsec == y.st_ctim.tv_nsec;
	return true;
}

// An empty file is left alone: ext4 takes a file truncated to nothing for
// one being replaced, and starts writing it all out when it is closed.
bool truncate_file(int fd)
{
	struct stat st;
	if (::fstat(fd, &st) != 0)
		return false;
	return !S_ISREG(st.st_mode) || st.st_size == 0 || ::ftruncate(fd, 0) == 0;
}

std::int64_t seek_to(int fd, std::int64_t position)
{
	return ::lseek(fd, static_cast<off_t>(position), SEEK_SET);
}

std::int64_t file_position(int fd)
{
	return ::lseek(fd, 0, SEEK_CUR);
}

std::int64_t read_at(int fd, std::int64_t at, unsigned char *bytes, std::size_t count)
{
	ssize_t n;
	while ((n = ::pread(fd, bytes, std::min(count, call_max), static_cast<off_t>(at))) < 0 &&
	       errno == EINTR) {
	}
	return n;
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
