// Preloaded into leadcut by the fault runs, after libfiu's POSIX library, which passes every
// call on to this one. LEADCUT_FAULT=N fails the Nth of the calls below with EIO and writes
// what it failed to the file ".fault": the kind of call, the file (input; output; old, an
// existing output opened only to be looked at; stderr; null, the null device of a closed
// stream) and a number: the output's bytes written, the input's position, a renamed file's
// size. Only calls on those files count, and none once the program is exiting. A status
// asked of the input or standard error once the output is open is the output's "identity";
// of the old output once the new one holds data, its "mode".
// LEADCUT_SIGINT=N raises SIGINT as the output is written past its Nth byte.
// LEADCUT_RENAME="A B" renames A over B as leadcut opens a file by name, as another program
// may at that moment. LEADCUT_ALIAS=1 gives each descriptor an inode number of its own, as
// FUSE filesystems may give one file several; =2 also makes every status-change time the
// same; =dev gives the output the input's inode number, on another device.
#define FIU_ENABLE 1 // else fiu.h makes its calls no-ops

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <fiu-control.h>
#include <fiu.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *const names[] = {"", "input", "output", "old", "stderr", "null"};
enum role { none, input, output, old, standard_error, null_device };
role roles[1024];
long long written[1024];
bool created[1024];
int input_fd = -1;
long countdown = 0, sigint_at = -1;
bool exiting = false, output_open = false, data_written = false;

template <class F> F *real(const char *name) {
	return reinterpret_cast<F *>(dlsym(RTLD_NEXT, name));
}

long long count(int fd) { return fd >= 0 && fd < 1024 ? written[fd] : 0; }
role of(int fd) { return fd == 2 ? standard_error : fd >= 0 && fd < 1024 ? roles[fd] : none; }

long long position(int fd) { return real<off64_t(int, off64_t, int)>("lseek64")(fd, 0, SEEK_CUR); }
long long told(FILE *f) { return real<off64_t(FILE *)>("ftello64")(f); }

// The marker of the exit is registered at the first call, in main, after a coverage
// profiler's: so it runs first, and the profile's writes never fail.
int nth_call(const char *, int *, void **, unsigned *) {
	static const int registered = std::atexit([] { exiting = true; });
	return !exiting && registered == 0 && --countdown == 0;
}

// True when this call is the one to fail: its record is written and errno set.
bool fails(const char *kind, role file, long long number) {
	if (file == none || fiu_fail("leadcut") == 0) return false;
	char text[80];
	const int n = std::snprintf(text, sizeof text, "%s %s %lld", kind, names[file], number);
	const int fd =
	    real<int(const char *, int, ...)>("open64")(".fault", O_WRONLY | O_CREAT, 0600);
	static_cast<void>(real<ssize_t(int, const void *, size_t)>("write")(fd, text, size_t(n)));
	real<int(int)>("close")(fd);
	errno = EIO;
	return true;
}

[[gnu::constructor]] void arm() {
	fiu_init(0);
	if (const char *n = std::getenv("LEADCUT_FAULT")) countdown = std::strtol(n, nullptr, 10);
	if (const char *n = std::getenv("LEADCUT_SIGINT")) sigint_at = std::strtol(n, nullptr, 10);
	fiu_enable_external("leadcut", 1, nullptr, 0, nth_call);
}

int opened(int fd, role r, bool excl) {
	if (fd >= 0 && fd < 1024) roles[fd] = r, written[fd] = 0, created[fd] = excl;
	output_open = output_open || r == output || r == old;
	return fd;
}

int open_file(const char *path, int flags, mode_t mode) {
	char from[64], to[64];
	const char *race = std::getenv("LEADCUT_RENAME");
	if (race && std::sscanf(race, "%63s %63s", from, to) == 2)
		static_cast<void>(real<int(const char *, const char *)>("rename")(from, to));
	const role r = std::strcmp(path, "/dev/null") == 0 ? null_device
		       : (flags & O_ACCMODE) == O_RDONLY   ? old
							   : output;
	if (fails("open", r, 0)) return -1;
	return opened(real<int(const char *, int, ...)>("open64")(path, flags, mode), r,
		      flags & O_EXCL);
}

// The header is the output's first 44 bytes, and the close of the file made to hold it alone.
const char *writing(int fd, const char *kind) {
	if (fd < 0 || fd >= 1024) return kind;
	return count(fd) < 44 || (*kind == 'c' && created[fd] && count(fd) == 44) ? "header" : kind;
}

} // namespace

extern "C" {

int open64(const char *path, int flags, ...) {
	va_list args;
	va_start(args, flags);
	const auto mode = mode_t(va_arg(args, unsigned));
	va_end(args);
	return open_file(path, flags, mode);
}
int open(const char *path, int flags, ...) {
	va_list args;
	va_start(args, flags);
	const auto mode = mode_t(va_arg(args, unsigned));
	va_end(args);
	return open_file(path, flags, mode);
}

FILE *fopen64(const char *path, const char *mode) {
	if (fails("open", input, 0)) return nullptr;
	FILE *f = real<FILE *(const char *, const char *)>("fopen64")(path, mode);
	if (f) opened(input_fd = fileno(f), input, false);
	return f;
}

int close(int fd) {
	const role r = of(fd);
	const bool failed = r != standard_error &&
			    fails(r == output ? writing(fd, "close") : "close", r, count(fd));
	if (r != standard_error && fd >= 0 && fd < 1024) roles[fd] = none;
	return real<int(int)>("close")(fd) != 0 || failed ? -1 : 0;
}

int fclose(FILE *f) {
	const bool failed = fails("close", of(fileno(f)), 0);
	roles[fileno(f)] = none;
	return real<int(FILE *)>("fclose")(f) != 0 || failed ? EOF : 0;
}

ssize_t read(int fd, void *bytes, size_t n) {
	if (fails("read", of(fd), position(fd))) return -1;
	return real<ssize_t(int, void *, size_t)>("read")(fd, bytes, n);
}

ssize_t pread64(int fd, void *bytes, size_t n, off64_t at) {
	if (fails("read", of(fd), at)) return -1;
	return real<ssize_t(int, void *, size_t, off64_t)>("pread64")(fd, bytes, n, at);
}

size_t fread(void *bytes, size_t size, size_t n, FILE *f) {
	if (fails("read", of(fileno(f)), told(f))) return 0;
	return real<size_t(void *, size_t, size_t, FILE *)>("fread")(bytes, size, n, f);
}

int fgetc(FILE *f) {
	if (fails("read", of(fileno(f)), told(f))) return EOF;
	return real<int(FILE *)>("fgetc")(f);
}

int fseeko64(FILE *f, off64_t at, int how) {
	if (fails("seek", of(fileno(f)), told(f))) return -1;
	return real<int(FILE *, off64_t, int)>("fseeko64")(f, at, how);
}

off64_t ftello64(FILE *f) {
	if (fails("position", of(fileno(f)), told(f))) return -1;
	return told(f);
}

off64_t lseek64(int fd, off64_t at, int how) {
	const char *kind = at == 0 && how == SEEK_CUR ? "position" : "seek";
	if (fails(kind, of(fd), position(fd))) return -1;
	return real<off64_t(int, off64_t, int)>("lseek64")(fd, at, how);
}

int fstat64(int fd, struct stat64 *st) {
	static auto *const next = real<int(int, struct stat64 *)>("fstat64");
	const role r = of(fd);
	const char *kind = r == old && data_written                             ? "mode"
			   : r == standard_error || (r == input && output_open) ? "identity"
										: "status";
	if (fails(kind, r, position(fd)) || next(fd, st) != 0) return -1;
	const char *how = std::getenv("LEADCUT_ALIAS");
	struct stat64 in {};
	if (how && std::strcmp(how, "dev") == 0 && (of(fd) == output || of(fd) == old) &&
	    next(input_fd, &in) == 0)
		st->st_ino = in.st_ino, st->st_dev = in.st_dev + 1;
	else if (how)
		st->st_ino += static_cast<ino64_t>(fd) << 32; // far from any real number
	if (how && *how == '2') st->st_ctim = {};
	return 0;
}

int stat64(const char *path, struct stat64 *st) {
	if (fails("lookup", output, 0)) return -1;
	return real<int(const char *, struct stat64 *)>("stat64")(path, st);
}

int lstat64(const char *path, struct stat64 *st) {
	if (fails("lookup", output, 0)) return -1;
	return real<int(const char *, struct stat64 *)>("lstat64")(path, st);
}

ssize_t readlink(const char *path, char *text, size_t n) {
	if (fails("lookup", output, 0)) return -1;
	return real<ssize_t(const char *, char *, size_t)>("readlink")(path, text, n);
}

int rename(const char *from, const char *to) {
	struct stat64 st {};
	real<int(const char *, struct stat64 *)>("stat64")(from, &st);
	if (fails("rename", output, st.st_size)) return -1;
	return real<int(const char *, const char *)>("rename")(from, to);
}

int ftruncate64(int fd, off64_t size) {
	if (fails("open", of(fd), 0)) return -1;
	return real<int(int, off64_t)>("ftruncate64")(fd, size);
}

int fchmod(int fd, mode_t mode) {
	if (fails("mode", of(fd), 0)) return -1;
	return real<int(int, mode_t)>("fchmod")(fd, mode);
}

int fchown(int fd, uid_t user, gid_t group) {
	if (fails("mode", of(fd), 0)) return -1;
	return real<int(int, uid_t, gid_t)>("fchown")(fd, user, group);
}

ssize_t write(int fd, const void *bytes, size_t n) {
	if (of(fd) == output && sigint_at >= 0 && count(fd) >= sigint_at)
		sigint_at = -1, std::raise(SIGINT);
	if (fails(writing(fd, "write"), of(fd), count(fd))) return -1;
	const ssize_t done = real<ssize_t(int, const void *, size_t)>("write")(fd, bytes, n);
	if (done > 0 && of(fd) == output) written[fd] += done, data_written = count(fd) > 44;
	return done;
}

ssize_t copy_file_range(int in, off64_t *in_at, int out, off64_t *out_at, size_t n, unsigned f) {
	if (of(out) != output)
		return real<ssize_t(int, off64_t *, int, off64_t *, size_t, unsigned)>(
		    "copy_file_range")(in, in_at, out, out_at, n, f);
	if (fails("copy", output, count(out))) return -1;
	const ssize_t done = real<ssize_t(int, off64_t *, int, off64_t *, size_t, unsigned)>(
	    "copy_file_range")(in, in_at, out, out_at, n, f);
	if (done > 0) written[out] += done, data_written = true;
	return done;
}

int vfprintf(FILE *f, const char *format, va_list args) {
	if (fails("print", standard_error, 0)) return -1;
	return real<int(FILE *, const char *, va_list)>("vfprintf")(f, format, args);
}

int __vfprintf_chk(FILE *f, int flag, const char *format, va_list args) {
	if (fails("print", standard_error, 0)) return -1;
	return real<int(FILE *, int, const char *, va_list)>("__vfprintf_chk")(f, flag, format,
									       args);
}
}
