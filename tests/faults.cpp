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
#include <fcntl.h>
#include <fiu-control.h>
#include <fiu.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

static long countdown = 0;
static bool exiting = false;

// The Nth call fails when its mark is made (by mkdir, which no failure point sees); none fails
// once the program is exiting, where what is left is not the program's (a coverage profile).
static int nth_call(const char *, int *, void **, unsigned *) {
	return !exiting && --countdown == 0 && ::mkdir(".fault", 0700) == 0;
}

// The program is exiting once its main returns or it calls exit. A coverage profile is written
// after that, into a descriptor of its own: if the program's limit left none, a file it only
// reads goes first, as exit would close it anyway.
static void exit_now() {
	exiting = true;
	rlimit limit{};
	if (!std::getenv("LLVM_PROFILE_FILE") || ::getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
	int free = ::dup(0);
	for (int fd = int(limit.rlim_cur) - 1; free < 0 && fd > 2; --fd)
		if ((::fcntl(fd, F_GETFL) & (O_ACCMODE | O_PATH)) == O_RDONLY) free = ::close(fd);
	if (free > 2) ::close(free);
}

// Registered as main starts, after the program's constructors (the profiler's among them), so
// that it runs before what they registered to run at exit.
using main_type = int (*)(int, char **, char **);
static main_type program_main = nullptr;
static int exiting_main(int argc, char **argv, char **envp) {
	std::atexit(exit_now);
	return program_main(argc, argv, envp);
}
extern "C" int __libc_start_main(main_type main, int argc, char **argv, void (*init)(),
				 void (*fini)(), void (*rtld_fini)(), void *stack_end) {
	static auto *const real =
	    reinterpret_cast<decltype(&__libc_start_main)>(dlsym(RTLD_NEXT, "__libc_start_main"));
	program_main = main;
	return real(exiting_main, argc, argv, init, fini, rtld_fini, stack_end);
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
FAILING(int, fstat64, "posix/io/stat/fstat", (int fd, struct stat64 *st), fd, st)
FAILING(ssize_t, copy_file_range, "linux/io/copy_file_range",
	(int in, off64_t *in_at, int out, off64_t *out_at, size_t n, unsigned f), in, in_at, out,
	out_at, n, f)
