// Preloaded into leadcut beside libfiu's POSIX library by the fault test.
// LEADCUT_FAULT=N fails the Nth call that passes a failure point, counting
// every point of libfiu's whose name starts with "posix/" or "linux/", with
// EIO; when it does, it makes the folder ".fault" in the current one, so
// that the test knows the run met its fault. It adds points, named after
// libfiu's, for the calls leadcut makes that libfiu does not cover.
#define FIU_ENABLE 1 // else fiu.h makes its calls no-ops

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fiu-control.h>
#include <fiu.h>
#include <sys/stat.h>
#include <unistd.h>

static long countdown = 0;
static bool exiting = false;

// The Nth call fails when its mark is made (by mkdir, which no failure point sees); none fails
// once the program is exiting, where what is left is not the program's (a coverage profile).
// What marks the exit is registered at the first call, in main, after the profiler registered
// its own at start: so it runs before the profile is written.
static int nth_call(const char *, int *, void **, unsigned *) {
	static const int registered = std::atexit([] { exiting = true; });
	return !exiting && registered == 0 && --countdown == 0 && ::mkdir(".fault", 0700) == 0;
}

// LEADCUT_RENAME="A B" renames A over B as leadcut opens a descriptor by name (its output), as
// another program may at that moment; the open then goes on.
static int rename_first(const char *, int *, void **, unsigned *) {
	char from[64], to[64];
	if (std::sscanf(std::getenv("LEADCUT_RENAME"), "%63s %63s", from, to) == 2)
		static_cast<void>(std::rename(from, to)); // the test sees what it did
	return 0;
}

[[gnu::constructor]] static void arm() {
	fiu_init(0);
	if (const char *n = std::getenv("LEADCUT_FAULT")) {
		countdown = std::strtol(n, nullptr, 10);
		fiu_enable_external("posix/*", 1, reinterpret_cast<void *>(EIO), 0, nth_call);
		fiu_enable_external("linux/*", 1, reinterpret_cast<void *>(EIO), 0, nth_call);
	}
	if (std::getenv("LEADCUT_RENAME"))
		fiu_enable_external("posix/io/oc/open", 1, nullptr, 0, rename_first);
}

// A call fails as libfiu's do, with errno set.
static bool failing(const char *point) { return fiu_fail(point) != 0 && (errno = EIO); }

#define FAILING(type, name, point, params, ...)                                                    \
	extern "C" type name params {                                                              \
		static auto *const real =                                                          \
		    reinterpret_cast<decltype(&name)>(dlsym(RTLD_NEXT, #name));                    \
		return failing(point) ? -1 : real(__VA_ARGS__);                                    \
	}
FAILING(off64_t, lseek64, "posix/io/seek/lseek", (int fd, off64_t at, int how), fd, at, how)
FAILING(ssize_t, copy_file_range, "linux/io/copy_file_range",
	(int in, off64_t *in_at, int out, off64_t *out_at, size_t n, unsigned f), in, in_at, out,
	out_at, n, f)

// LEADCUT_ALIAS=1 gives each descriptor an inode number of its own, as FUSE filesystems may give
// one file several; =2 also gives every file the same status-change time.
extern "C" int fstat64(int fd, struct stat64 *st) {
	static auto *const real = reinterpret_cast<decltype(&fstat64)>(dlsym(RTLD_NEXT, "fstat64"));
	if (failing("posix/io/stat/fstat") || real(fd, st) != 0) return -1;
	const char *how = std::getenv("LEADCUT_ALIAS");
	if (how) st->st_ino += static_cast<ino_t>(fd) << 32; // far from any other file's
	if (how && *how == '2') st->st_ctim = {};
	return 0;
}
