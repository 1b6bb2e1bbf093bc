// The seam of the tests' build of the program, leadcut_faults, inert unless a LEADCUT_ variable
// says otherwise. LEADCUT_FAULT=N fails the Nth call of the platform layer, and writes to
// ".fault" what it failed: the kind of call and its role. The first write of the output is its
// "header"; a status of the input or standard error once the old output was opened is the
// output's "identity". None fails once the run ends ("exit").
// LEADCUT_AT='KIND ROLE[ N]: COMMAND' runs COMMAND with the shell as the Nth (1st) such call
// begins, as another program may act at that moment.
// LEADCUT_SIGNAL=N raises signal N as the output's audio is first written ("N old": as the old
// output is first written in place). LEADCUT_ALIAS=1 gives the input an index of its own, as FUSE
// filesystems may give one file several; =dev gives it the old output's, on another device; =none
// the old output's on a volume whose indexes tell no file apart, as Wine shows two tmpfs mounts.
// LEADCUT_SIZE=N shows the input N bytes long. LEADCUT_LACKS='KIND...' has those kinds of call fail
// as unsupported, as on a filesystem without ACLs ("acl") or room set aside ("allocate").
// LEADCUT_DIRTY=1 has each write move half its bytes, as a pipe or a signal may.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "compat/seam.h"

namespace {

const char *const roles[] = {"input", "output", "old", "folder", "own", "mark", "stderr", "null"};
bool exiting = false, old_seen = false, header_written = false, old_written = false;
file_facts old_facts{};

const char *env(const char *name) { return std::getenv(name); }

// The kind of call as the rows name it.
const char *kind_of(const char *kind, role r) {
	const bool status = std::strcmp(kind, "status") == 0;
	if (old_seen && status && (r == role::input || r == role::err)) return "identity";
	if (r != role::output || std::strcmp(kind, "write") != 0 || header_written) return kind;
	header_written = true;
	return "header";
}

// Raises LEADCUT_SIGNAL as the audio or the old file is first written.
void signal_at(const char *kind, role r) {
	const char *s = env("LEADCUT_SIGNAL");
	if (s == nullptr || std::strcmp(kind, "write") != 0) return;
	const bool old = std::strstr(s, "old") != nullptr;
	if (old ? r == role::old && !old_written : r == role::output)
		static_cast<void>(std::raise(int(std::strtol(s, nullptr, 10))));
	old_written = old_written || r == role::old;
}

// Runs LEADCUT_AT's command at its call.
void act_at(const char *kind, role r) {
	static int seen = 0;
	char k[16], w[16];
	int n = 1, taken = 0;
	const char *at = env("LEADCUT_AT");
	if (at == nullptr || std::sscanf(at, "%15s %15[a-z] %n", k, w, &taken) != 2) return;
	if (at[taken] != ':') n = int(std::strtol(at + taken, nullptr, 10));
	if (std::strcmp(k, kind) == 0 && std::strcmp(w, roles[int(r)]) == 0 && ++seen == n)
	    [[maybe_unused]]
		const int status = std::system(std::strchr(at, ':') + 1); // the row's
}

} // namespace

// The marker of the exit is registered at the first call, in main, after a coverage profiler's:
// so it runs after the program's own removals, and before the profile's writes.
int fault_at(const char *call, role r) {
	static const int registered = std::atexit([] { exiting = true; });
	static long left =
	    env("LEADCUT_FAULT") ? std::strtol(env("LEADCUT_FAULT"), nullptr, 10) : 0;
	exiting = exiting || std::strcmp(call, "exit") == 0;
	act_at(call, r);
	if (header_written) signal_at(call, r);
	const char *kind = kind_of(call, r);
	old_seen = old_seen || r == role::old;
	if (const char *lacks = env("LEADCUT_LACKS"); lacks && std::strstr(lacks, call))
		return EOPNOTSUPP;
	if (exiting || registered != 0 || left <= 0 || --left != 0) return 0;
	if (std::FILE *f = std::fopen(".fault", "w")) {
		static_cast<void>(std::fprintf(f, "%s %s", kind, roles[int(r)]));
		static_cast<void>(std::fclose(f)); // the run's own outcome tells the rest
	}
	return EIO;
}

void fault_facts(role r, file_facts &facts) {
	if (r == role::old) old_facts = facts;
	const char *how = env("LEADCUT_ALIAS");
	if (r != role::input) return;
	if (how && (*how == 'd' || *how == 'n') && old_facts.kind != file_kind::none)
		facts.index = old_facts.index, facts.device = old_facts.device + (*how == 'd');
	else if (how && *how == '1')
		facts.index += std::uint64_t{1} << 40; // far from any real number
	facts.identified = !(how && *how == 'n');
	if (const char *size = env("LEADCUT_SIZE")) facts.size = std::strtoll(size, nullptr, 10);
}

std::size_t fault_count(role, std::size_t count) {
	return count > 1 && env("LEADCUT_DIRTY") ? count / 2 : count;
}
