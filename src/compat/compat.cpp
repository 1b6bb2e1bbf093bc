// The per-system side of compat.h: Win32 through the C runtime's
// descriptors, POSIX elsewhere, and Linux's copy_file_range.
#define _FILE_OFFSET_BITS 64 // 64-bit off_t on 32-bit POSIX systems too

#include "compat.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

// One call moves less than 2^31 bytes on every system.
constexpr std::size_t call_max = std::size_t{1} << 30;

} // namespace

#ifdef _WIN32

void binary_stderr()
{
	_setmode(_fileno(stderr), _O_BINARY);
}

int stream_descriptor(std::FILE *stream)
{
	return _fileno(stream);
}

std::int64_t stream_position(std::FILE *stream)
{
	return _ftelli64(stream);
}

bool regular_file_size(int fd, std::int64_t &size)
{
	struct _stat64 st;
	if (_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG)
		return false;
	size = st.st_size;
	return true;
}

namespace {

// Volume serial number and file index name one file, as dev and inode do.
bool file_identity(const char *path, BY_HANDLE_FILE_INFORMATION &info)
{
	const HANDLE h = CreateFileA(path, FILE_READ_ATTRIBUTES,
				     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
				     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
	if (h == INVALID_HANDLE_VALUE)
		return false;
	const bool known = GetFileInformationByHandle(h, &info) != 0;
	CloseHandle(h);
	return known;
}

} // namespace

bool same_file(const char *a, const char *b)
{
	BY_HANDLE_FILE_INFORMATION x;
	BY_HANDLE_FILE_INFORMATION y;
	return file_identity(a, x) && file_identity(b, y) &&
	       x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
	       x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

int open_input(const char *path)
{
	return _open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

std::int64_t seek_to(int fd, std::int64_t position)
{
	return _lseeki64(fd, position, SEEK_SET);
}

std::int64_t file_position(int fd)
{
	return _lseeki64(fd, 0, SEEK_CUR);
}

std::int64_t read_some(int fd, unsigned char *bytes, std::size_t count)
{
	return _read(fd, bytes, static_cast<unsigned>(std::min(count, call_max)));
}

std::int64_t write_some(int fd, const unsigned char *bytes, std::size_t count)
{
	return _write(fd, bytes, static_cast<unsigned>(std::min(count, call_max)));
}

std::int64_t copy_range(int, int, std::uint64_t)
{
	return 0;
}

void close_descriptor(int fd)
{
	_close(fd);
}

#else

void binary_stderr()
{
}

int stream_descriptor(std::FILE *stream)
{
	return ::fileno(stream);
}

std::int64_t stream_position(std::FILE *stream)
{
	return ::ftello(stream);
}

bool regular_file_size(int fd, std::int64_t &size)
{
	struct stat st;
	if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
		return false;
	size = st.st_size;
	return true;
}

bool same_file(const char *a, const char *b)
{
	struct stat x;
	struct stat y;
	return ::stat(a, &x) == 0 && ::stat(b, &y) == 0 && x.st_dev == y.st_dev &&
	       x.st_ino == y.st_ino;
}

int open_input(const char *path)
{
	return ::open(path, O_RDONLY | O_CLOEXEC);
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

void close_descriptor(int fd)
{
	::close(fd);
}

#endif
