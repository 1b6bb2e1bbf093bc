#include "support.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

std::string le16(std::uint16_t v)
{
	return {static_cast<char>(v & 0xff), static_cast<char>(v >> 8)};
}

std::string le32(std::uint32_t v)
{
	return le16(static_cast<std::uint16_t>(v)) + le16(static_cast<std::uint16_t>(v >> 16));
}

std::string chunk(const std::string &id, std::uint32_t declared, const std::string &body)
{
	return id + le32(declared) + body;
}

std::string chunk(const std::string &id, const std::string &body)
{
	return chunk(id, static_cast<std::uint32_t>(body.size()), body);
}

std::string riff(const std::string &chunks)
{
	return "RIFF" + le32(static_cast<std::uint32_t>(chunks.size() + 4)) + "WAVE" + chunks;
}

std::string fmt_body(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
		     std::uint16_t bits)
{
	const std::uint32_t align = channels * bits / 8u;
	return le16(tag) + le16(channels) + le32(rate) + le32(rate * align) +
	       le16(static_cast<std::uint16_t>(align)) + le16(bits);
}

std::string wav(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
		const std::string &data)
{
	return riff(chunk("fmt ", fmt_body(1, channels, rate, bits)) + chunk("data", data));
}

std::string header(std::uint32_t data_size, std::uint16_t channels, std::uint32_t rate,
		   std::uint16_t bits)
{
	return "RIFF" + le32(data_size + 36) + "WAVE" +
	       chunk("fmt ", fmt_body(1, channels, rate, bits)) + "data" + le32(data_size);
}

std::string fmt_lines(std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
		      std::uint16_t bits)
{
	const unsigned align = channels * bits / 8u;
	return "    format tag     = " +
	       std::to_string(static_cast<std::uint32_t>(static_cast<std::int16_t>(tag))) +
	       " (1 = PCM)\n    channels       = " + std::to_string(channels) +
	       "\n    samples/sec    = " + std::to_string(rate) +
	       "\n    avg. bytes/sec = " + std::to_string(rate * align) +
	       "\n    block align    = " + std::to_string(align) +
	       "\n    bits/sample    = " + std::to_string(bits) + "\n";
}

std::string report(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits, std::size_t size,
		   const std::string &name)
{
	return name + " :\n  <fmt > (16 bytes)\n" + fmt_lines(1, channels, rate, bits) +
	       "  <data> (" + std::to_string(size) + " bytes)\n";
}

std::string pattern(std::size_t size)
{
	std::string bytes(size, '\0');
	std::uint32_t x = 2463534242u;
	for (char &b : bytes) {
		x ^= x << 13, x ^= x >> 17, x ^= x << 5;
		b = static_cast<char>(x >> 24);
	}
	return bytes;
}

Scratch::Scratch()
{
	std::string name = (std::filesystem::temp_directory_path() / "leadcut-XXXXXX").string();
	dir = ::mkdtemp(name.data());
}

Scratch::~Scratch()
{
	std::filesystem::remove_all(dir);
}

void Scratch::write(const std::string &name, const std::string &bytes) const
{
	std::ofstream(dir / name, std::ios::binary) << bytes;
}

std::string Scratch::read(const std::string &name) const
{
	std::ifstream in(dir / name, std::ios::binary);
	return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

static std::string slurp(std::FILE *f)
{
	std::string text(static_cast<std::size_t>(std::ftell(f)), '\0');
	std::rewind(f);
	text.resize(std::fread(text.data(), 1, text.size(), f));
	std::fclose(f);
	return text;
}

Outcome run_leadcut(const std::filesystem::path &dir, const std::vector<std::string> &words,
		    unsigned seconds, const char *program)
{
	std::vector<char *> argv{const_cast<char *>("leadcut")};
	for (const auto &w : words)
		argv.push_back(const_cast<char *>(w.c_str()));
	argv.push_back(nullptr);
	// Sanitizer reports must not pass for the program's own status 1.
	::setenv("ASAN_OPTIONS", "exitcode=86:detect_leaks=0", 1);
	::setenv("UBSAN_OPTIONS", "exitcode=87:halt_on_error=1", 1);
	std::FILE *out = std::tmpfile(), *err = std::tmpfile();
	posix_spawn_file_actions_t actions;
	::posix_spawn_file_actions_init(&actions);
	::posix_spawn_file_actions_adddup2(&actions, ::fileno(out), 1);
	::posix_spawn_file_actions_adddup2(&actions, ::fileno(err), 2);
	::posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
	pid_t pid = -1;
	rlimit own;
	::getrlimit(RLIMIT_FSIZE, &own);
	const rlimit most = {64 << 20, own.rlim_max};
	// A runaway output dies of SIGXFSZ; only the child keeps the limit.
	::setrlimit(RLIMIT_FSIZE, &most);
	const int spawned = ::posix_spawn(&pid, program, &actions, nullptr, argv.data(), environ);
	::setrlimit(RLIMIT_FSIZE, &own);
	::posix_spawn_file_actions_destroy(&actions);
	if (spawned != 0)
		return {};
	// Spawning, unlike fork, copies nothing of a sanitized test process.
	pollfd done = {static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)), POLLIN, 0};
	if (done.fd >= 0 && ::poll(&done, 1, static_cast<int>(seconds * 1000)) == 0)
		::kill(pid, SIGKILL);
	::close(done.fd);
	int wstatus = 0;
	while (::waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
	}
	std::fseek(out, 0, SEEK_END); // the child moved the shared offsets
	std::fseek(err, 0, SEEK_END);
	return {WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus), slurp(out),
		slurp(err)};
}
