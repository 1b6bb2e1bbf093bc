// Preloaded into leadcut beside libfiu's POSIX library by the fault test.
// LEADCUT_FAULT=N fails the Nth call that passes a failure point, counting
// every point of libfiu's whose name starts with "posix/" or "linux/", with
// EIO; when it does, it makes the folder ".fault" in the current one, so
// that the test knows the run met its fault. It adds points, named after
// libfiu's, for the calls leadcut makes that libfiu does not cover.
#include <cerrno>
#include <cstdlib>
#include <dlfcn.h>
#include <fiu-control.h>
#include <fiu.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

long countdown = 0;

int nth_call(const char *, int *, void **, unsigned *) {
	const bool now = --countdown == 0;
	if (now)
		::mkdir(".fault", 0700); // no failure point sees mkdir
	return now;
}

[[gnu::constructor]] void arm() {
	if (const char *n = std::getenv("LEADCUT_FAULT")) {
		countdown = std::atol(n);
		fiu_init(0);
		fiu_enable_external("posix/*", 1, reinterpret_cast<void *>(EIO), 0, nth_call);
		fiu_enable_external("linux/*", 1, reinterpret_cast<void *>(EIO), 0, nth_call);
	}
}

} // namespace

#define FAILING(type, name, point, params, ...)                                                    \
	extern "C" type name params {                                                              \
		static auto *const real =                                                          \
		    reinterpret_cast<decltype(&name)>(dlsym(RTLD_NEXT, #name));                    \
		if (fiu_fail(point) == 0)                                                          \
			return real(__VA_ARGS__);                                                  \
		errno = EIO;                                                                       \
		return -1;                                                                         \
	}
FAILING(off64_t, lseek64, "posix/io/seek/lseek", (int fd, off64_t at, int how), fd, at, how)
FAILING(int, fstat64, "posix/io/stat/fstat", (int fd, struct stat64 *st), fd, st)
FAILING(int, stat64, "posix/io/stat/stat", (const char *path, struct stat64 *st), path, st)
FAILING(ssize_t, copy_file_range, "linux/io/copy_file_range",
	(int in, off64_t *in_at, int out, off64_t *out_at, size_t n, unsigned f), in, in_at, out,
	out_at, n, f)
