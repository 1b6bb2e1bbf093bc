// Preloaded into leadcut by the fault runs. LEADCUT_FAULT=N fails the Nth of the calls below with
// EIO, and writes what it failed to the file ".fault": the kind of call and the file (input;
// output; old, an existing output opened to be identified or written in place; stderr; null, the
// null device of a closed stream; mark, a file or folder made only to be looked up). Only calls
// on those files count, and none once the program is exiting. The first write of the output is
// its "header"; a status asked of the input or standard error once the output is open is the
// output's "identity"; of the old output once the new one holds audio, its "mode".
// LEADCUT_SIGNAL=N raises signal N as the output's audio is first written ("N old": as the old
// output is first written in place). LEADCUT_RENAME="A B N" renames A over B as leadcut opens a
// file by name the Nth time (1 unless given), as another program may at that moment.
// LEADCUT_ALIAS=1 gives the input an inode number of its own, as FUSE filesystems may give one
// file several; =dev gives it the old output's, on another device. LEADCUT_SIZE=N shows the
// input N bytes long: a file of 4 GiB, or one that shrank meanwhile. LEADCUT_NOACL=1 refuses
// ACLs, as a filesystem may.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

enum role { none, input, output, old, err, null_device, mark };
const char *const names[] = {"", "input", "output", "old", "stderr", "null", "mark"};
role roles[1024];
bool fresh[1024], exiting = false, output_open = false, audio = false;
int input_fd = -1, old_fd = -1, countdown = 0;

// The next definition of a call: the C library's.
template <class F> F *real(const char *n) { return reinterpret_cast<F *>(dlsym(RTLD_NEXT, n)); }
#define REAL(name) real<decltype(::name)>(#name)

bool ours(int fd) { return fd >= 0 && fd < 1024; }
role of(int fd) { return fd == 2 ? err : ours(fd) ? roles[fd] : none; }
role of(FILE *f) { return of(fileno(f)); }

[[gnu::constructor]] void arm() {
	if (const char *n = std::getenv("LEADCUT_FAULT"))
		countdown = int(std::strtol(n, nullptr, 10));
}

// True when this call is the one to fail: its record is written and errno set. The marker of the
// exit is registered at the first call, in main, after a coverage profiler's: so it runs first,
// and the profile's writes never fail.
bool fails(const char *kind, role f) {
	if (f == none) return false;
	static const int registered = std::atexit([] { exiting = true; });
	if (exiting || registered != 0 || --countdown != 0) return false;
	const int fd = REAL(open64)(".fault", O_WRONLY | O_CREAT, 0600);
	dprintf(fd, "%s %s", kind, names[f]);
	REAL(close)(fd);
	errno = EIO;
	return true;
}

// The header is the first write after the output's open.
const char *writing(int fd, const char *kind) {
	return of(fd) == output && *kind == 'w' && fresh[fd] ? "header" : kind;
}

// LEADCUT_DIRTY=1 leaves errno EINTR after a read, write or copy that succeeds, as a C library
// may (errno tells only of a call that failed), and has each write move half its bytes, as a pipe
// or a signal may. A folder that cannot be listed is a "list"
// (its entries are not counted: their order, and so their number, changes with the names).
ssize_t dirty(ssize_t done) {
	return done >= 0 && std::getenv("LEADCUT_DIRTY") ? (errno = EINTR, done) : done;
}

int opened(int fd, role r) {
	if (ours(fd)) roles[fd] = r, fresh[fd] = true;
	if (r == old && old_fd < 0) old_fd = fd;
	output_open = output_open || r == output || r == old;
	return fd;
}

} // namespace

extern "C" int open64(const char *path, int flags, ...) {
	va_list args;
	va_start(args, flags);
	const auto mode = mode_t(va_arg(args, unsigned));
	va_end(args);
	char from[64], to[64];
	int taken = 0;
	static long opens = 0;
	const char *race = std::getenv("LEADCUT_RENAME");
	if (race && std::sscanf(race, "%63s %63s%n", from, to, &taken) == 2 &&
	    ++opens == std::max(1L, std::strtol(race + taken, nullptr, 10)))
		static_cast<void>(REAL(rename)(from, to));
	const role r = std::strstr(path, ".leadcut-") && flags & O_EXCL        ? mark
		       : std::strcmp(path, "/dev/null") == 0                   ? null_device
		       : (flags & O_ACCMODE) == O_RDONLY || flags & O_NOFOLLOW ? old
									       : output;
	if (fails("open", r)) return -1;
	return opened(REAL(open64)(path, flags, mode), r);
}

// A call that fails as `kind` of `file`, returning `failed`; else the real one.
// A type, a parameter list and an argument list cannot stand in parentheses.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define FAILING(type, name, params, args, kind, file, failed) \
	extern "C" type name params { \
		if (fails(kind, file)) return failed; \
		return REAL(name) args; \
	}
// NOLINTEND(bugprone-macro-parentheses)
FAILING(size_t, fread, (void *b, size_t s, size_t n, FILE *f), (b, s, n, f), "read", of(f), 0)
FAILING(int, fgetc, (FILE * f), (f), "read", of(f), EOF)
FAILING(int, fseeko64, (FILE * f, off64_t at, int how), (f, at, how), "seek", of(f), -1)
FAILING(off64_t, ftello64, (FILE * f), (f), "seek", of(f), -1)
FAILING(off64_t, lseek64, (int fd, off64_t at, int how), (fd, at, how), "seek", of(fd), -1)
FAILING(int, stat64, (const char *p, struct stat64 *st), (p, st), "lookup", output, -1)
FAILING(int, lstat64, (const char *p, struct stat64 *st), (p, st), "lookup", output, -1)
FAILING(ssize_t, readlink, (const char *p, char *b, size_t n), (p, b, n), "lookup",
	std::strncmp(p, "/proc/self/fd/", 14) ? output : of(int(std::strtol(p + 14, nullptr, 10))),
	-1)
FAILING(int, fchmod, (int fd, mode_t m), (fd, m), "mode", of(fd), -1)
FAILING(int, fchown, (int fd, uid_t u, gid_t g), (fd, u, g), "mode", of(fd), -1)
FAILING(int, vfprintf, (FILE * f, const char *s, va_list a), (f, s, a), "print", err, -1)
FAILING(int, __vfprintf_chk, (FILE * f, int g, const char *s, va_list a), (f, g, s, a), "print",
	err, -1)
FAILING(DIR *, opendir, (const char *p), (p), "list", output, nullptr)
FAILING(int, rename, (const char *from, const char *to), (from, to), "rename", output, -1)
FAILING(int, unlink, (const char *p), (p), "remove", std::strchr(p, '+') ? mark : output, -1)
FAILING(int, mkdir, (const char *p, mode_t m), (p, m), "open", mark, -1)
FAILING(int, rmdir, (const char *p), (p), "remove", std::strchr(p, '+') ? mark : output, -1)

extern "C" {
ssize_t read(int fd, void *b, size_t n) {
	return fails("read", of(fd)) ? -1 : dirty(REAL(read)(fd, b, n));
}

FILE *fopen64(const char *path, const char *mode) {
	if (fails("open", input)) return nullptr;
	FILE *f = REAL(fopen64)(path, mode);
	if (f) opened(input_fd = fileno(f), input);
	return f;
}

int close(int fd) {
	const role r = of(fd);
	const bool failed = r != err && fails(writing(fd, "close"), r);
	if (r != err && ours(fd)) roles[fd] = none;
	return REAL(close)(fd) != 0 || failed ? -1 : 0;
}

int fclose(FILE *f) {
	const bool failed = fails("close", of(f));
	roles[fileno(f)] = none;
	return REAL(fclose)(f) != 0 || failed ? EOF : 0;
}

int fstat64(int fd, struct stat64 *st) {
	static auto *const next = REAL(fstat64);
	const role r = of(fd);
	const char *kind = (r == old || r == output) && audio        ? "mode"
			   : r == err || (r == input && output_open) ? "identity"
								     : "status";
	if (fails(kind, r) || next(fd, st) != 0) return -1;
	const char *how = std::getenv("LEADCUT_ALIAS");
	struct stat64 o {};
	if (how && *how == 'd' && r == input && old_fd >= 0 && next(old_fd, &o) == 0)
		st->st_ino = o.st_ino, st->st_dev = o.st_dev + 1;
	else if (how && *how == '1' && r == input)
		st->st_ino += ino64_t{1} << 40; // far from any real number
	if (const char *size = std::getenv("LEADCUT_SIZE"); size && r == input)
		st->st_size = std::strtoll(size, nullptr, 10);
	return 0;
}

ssize_t write(int fd, const void *bytes, size_t n) {
	const char *kind = writing(fd, "write");
	if (const char *s = std::getenv("LEADCUT_SIGNAL");
	    s && of(fd) == (std::strstr(s, "old") ? old : output) && *kind == 'w')
		static_cast<void>(std::raise(int(std::strtol(s, nullptr, 10))));
	if (fails(kind, of(fd))) return -1;
	const bool half = n > 1 && std::getenv("LEADCUT_DIRTY");
	const ssize_t done = dirty(REAL(write)(fd, bytes, half ? n / 2 : n));
	if (done > 0 && ours(fd)) audio |= of(fd) == output && !fresh[fd], fresh[fd] = false;
	return done;
}

int fsetxattr(int fd, const char *name, const void *v, size_t size, int flags) {
	if (std::getenv("LEADCUT_NOACL") && std::strstr(name, "acl")) return errno = EOPNOTSUPP, -1;
	return REAL(fsetxattr)(fd, name, v, size, flags);
}

ssize_t copy_file_range(int in, off64_t *in_at, int out, off64_t *out_at, size_t n, unsigned f) {
	if (fails("copy", of(out) == output ? output : none)) return -1;
	const ssize_t done = dirty(REAL(copy_file_range)(in, in_at, out, out_at, n, f));
	audio = audio || (done > 0 && of(out) == output);
	return done;
}
}
