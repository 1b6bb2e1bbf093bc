// Whole runs of the program under test: what it prints, its status and the
// files it leaves, for a table of inputs and for the fuzzer's corpus; and the
// front end's pieces on their own, for cases a whole run cannot reach.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "cli/cli.h"

namespace {

namespace fs = std::filesystem;

// A little-endian field of n bytes.
std::string le(std::uint32_t value, int n) {
	return n == 0 ? "" : static_cast<char>(value) + le(value >> 8, n - 1);
}

std::string chunk(const std::string &id, const std::string &body, std::int64_t size = -1) {
	return id + le(std::uint32_t(size < 0 ? std::int64_t(body.size()) : size), 4) + body;
}

std::string riff(const std::string &chunks) {
	return "RIFF" + le(std::uint32_t(chunks.size() + 4), 4) + "WAVE" + chunks;
}

std::string fmt_chunk(unsigned channels, std::uint32_t rate, unsigned bits, unsigned tag = 1) {
	const unsigned align = channels * bits / 8;
	return chunk("fmt ", le(tag, 2) + le(channels, 2) + le(rate, 4) + le(rate * align, 4) +
				 le(align, 2) + le(bits, 2));
}

std::string wav(unsigned channels, std::uint32_t rate, unsigned bits, const std::string &data) {
	return riff(fmt_chunk(channels, rate, bits) + chunk("data", data));
}

// The canonical header the program writes.
std::string header(std::uint32_t size, unsigned channels, std::uint32_t rate, unsigned bits) {
	return riff(fmt_chunk(channels, rate, bits) + "data" + le(size, 4))
	    .replace(4, 4, le(size + 36, 4));
}

// The report of in.wav with fmt_chunk(channels, rate, bits, tag), then a
// data chunk of `size` bytes unless `size` is negative.
std::string report(unsigned channels, std::uint32_t rate, unsigned bits, std::int64_t size,
		   unsigned tag = 1) {
	char text[400];
	std::snprintf(text, sizeof text,
		      "in.wav :\n  <fmt > (16 bytes)\n    format tag     = %u (1 = PCM)\n"
		      "    channels       = %u\n    samples/sec    = %u\n    avg. bytes/sec = %u\n"
		      "    block align    = %u\n    bits/sample    = %u\n",
		      std::uint32_t(std::int16_t(tag)), channels, rate,
		      rate * (channels * bits / 8), channels * bits / 8, bits);
	return text + (size < 0 ? "" : "  <data> (" + std::to_string(size) + " bytes)\n");
}

// Bytes whose shifted copies differ from them at every shift a test makes.
std::string pattern(std::size_t size) {
	std::string bytes(size, '\0');
	for (std::size_t i = 0; i < size; ++i)
		bytes[i] = static_cast<char>(i * i / 7);
	return bytes;
}

std::string get(const fs::path &file) {
	return (std::ostringstream() << std::ifstream(file, std::ios::binary).rdbuf()).str();
}

// This test process's own directory, where every run takes place.
const fs::path dir = fs::temp_directory_path() / ("leadcut-" + std::to_string(::getpid()));

// LEADCUT_TEST_COMMAND, when set, is the command that runs the program
// under test (an emulator and a launcher, say) instead of the one built here.
const char *const test_command = std::getenv("LEADCUT_TEST_COMMAND");
const bool on_windows = test_command && std::string(test_command).ends_with(".exe");

// Names print as UTF-8 on Linux; under Windows in the ANSI code page, here
// 932 (Japanese), with '?' for each character it lacks.
std::string sys(const std::string &windows, const std::string &posix) {
	return on_windows ? windows : posix;
}

// Bytes to put at offsets of a sparse file, which reads as zeros elsewhere.
using pieces = std::vector<std::pair<std::uintmax_t, std::string>>;

// Runs the program as "leadcut" in a fresh dir that holds `input` as in.wav
// (also linked as link.wav, 表.wav and é.wav beside an e.wav of its own),
// with `more` bytes put in it, its files limited to `blocks` of 512 bytes: a
// write past them fails as on a full disk; with its `fault`th call failing,
// if that is not 0. Returns what it printed on standard error, then "status
// N" (124 after 15 seconds, 128 + N after signal N), with any standard
// output in between. No word may hold a single quote.
std::string run(const std::string &input, const std::vector<std::string> &words,
		int blocks = 1 << 17, const pieces &more = {}, int fault = 0) {
	fs::remove_all(dir);
	fs::create_directories(dir / "sub");
	std::ofstream file(dir / "in.wav", std::ios::binary);
	file << input;
	for (const auto &[at, bytes] : more)
		file.seekp(std::streamoff(at)) << bytes;
	file.close();
	for (const char *name : {"link.wav", "表.wav", "é.wav"})
		fs::create_hard_link(dir / "in.wav", dir / name);
	std::ofstream(dir / "e.wav") << "e";
	fs::create_symlink("/dev/null", dir / "null.wav");
	// The fault library goes into leadcut alone, not the shells and timeout before it (an
	// emulator's test command preloads its own).
	const std::string faults = fault ? "LEADCUT_FAULT=" + std::to_string(fault) : "";
	std::string line =
	    "cd '" + dir.string() + "' && ulimit -f " + std::to_string(blocks) +
	    " && trap '' XFSZ && export " + faults +
	    " ASAN_OPTIONS=exitcode=86:detect_leaks=0 UBSAN_OPTIONS=exitcode=87:halt_on_error=1 && "
	    "exec timeout 15 " +
	    (test_command
		 ? test_command
		 : "bash -c '" + (fault ? "LD_PRELOAD=" LEADCUT_FAULTS " " : std::string()) +
		       "exec -a leadcut \"$0\" \"$@\"' " LEADCUT_BINARY);
	for (const auto &word : words)
		line += " '" + word + "'";
	const int status = std::system((line + " >.out 2>.err").c_str());
	return get(dir / ".err") + get(dir / ".out") + "status " +
	       std::to_string(WEXITSTATUS(status));
}

// The data without its first n bytes, then n zero bytes.
std::string shifted(const std::string &data, std::size_t n) {
	return data.substr(n) + std::string(n, '\0');
}

std::string rejected(const std::string &report, const std::string &why, const std::string &value) {
	return report + "\nThis program supported " + why + " wav file\nin.wav : " + value + "\n";
}

const std::string usage = "Usage: leadcut [option] <wav_file_in> <wav_file_out> <time-ms>\n"
			  "wav_file_in\x82\xcc\x90\xe6\x93\xaa\x82\xa9\x82\xe7time-ms"
			  "\x83\x7e\x83\x8a\x95\x62\x8d\xed\x8f\x9c\x82\xb5\x82\xbd\x82\xe0"
			  "\x82\xcc\x82\xf0wav_file_out\x82\xc9\x8f\x6f\x97\xcd\x82\xb5\x82"
			  "\xdc\x82\xb7\n\n";
const std::string d = pattern(600000), in = wav(2, 44100, 16, d), h = header(600000, 2, 44100, 16);
const std::string rep = report(2, 44100, 16, 600000), fmt_rep = report(2, 44100, 16, -1);
const std::string fmt = fmt_chunk(2, 44100, 16), to = "in.wav -> out.wav (", d8 = pattern(20001);
const std::string hyo = sys("\x95\\", "表"), e_ = sys("?", "é"),
		  in_hyo = hyo + ".wav" + rep.substr(6);
// Within Windows' 259 UTF-16 units, beyond Linux's 259 bytes.
std::string far(const char *oto) {
	std::string name = "sub\\..\\sub\\";
	for (int i = 0; i < 83; ++i)
		name += oto;
	return name;
}
const std::string a252(252, 'a'),
    a260(260, 'a'), cut = h + shifted(d, 88200), d3 = pattern(3 << 20);
// An 18-byte "fmt " chunk whose average rate and block align are wrong, then
// a LIST chunk; its report keeps fmt_rep's tag, channel and rate lines.
const std::string odd =
    riff(chunk("fmt ", fmt.substr(8, 8) + le(1, 4) + le(9, 2) + le(16, 2) + "xy") +
	 chunk("LIST", "abcd") + chunk("data", d));
const std::string odd_rep =
    "in.wav :\n  <fmt > (18 bytes)\n" + fmt_rep.substr(29, 83) +
    "    avg. bytes/sec = 1\n    block align    = 9\n    bits/sample    = 16\n"
    "  <LIST> (4 bytes)\n  <data> (600000 bytes)\n";
const std::string huge = riff(fmt + chunk("data", d.substr(0, 1000), 4294967295u));
const std::string huge_rep = fmt_rep + "  <data> (-1 bytes)\n", hh = header(~0u, 2, 44100, 16);

// clang-format off
struct { std::vector<std::string> words; std::string input, err; int status; std::string out;
	 int blocks = 1 << 17; std::string name = "out.wav"; } const cases[] = {
    {{"-c", "-l", "in.wav"}, in, rep, 0, ""}, {{"--", "in.wav"}, in + "xyz", rep, 0, ""},
    {{}, in, usage, 1, ""}, {{"-c", "in.wav", "out"}, in, usage, 1, ""},
    {{"-x", "in.wav"}, in, "leadcut : illegal option -- x\n" + usage, 1, ""},
    {{"none.wav"}, in, "cannot open file : none.wav\n", 1, ""},
    {{a260}, in, "file name too long : " + a260 + "\n", 1, ""},
    // A short identifier ends the walk cleanly; any other short field is a read error.
    {{"in.wav"}, in.substr(0, 30), fmt_rep.substr(0, 112) + "read error : 30\n", 1, ""},
    {{"in.wav"}, "RIFX" + in.substr(4), "in.wav :\nNot a 'RIFF' format\n", 1, ""},
    {{"in.wav"}, riff(fmt_chunk(2, 44100, 16, 65534)),
     rejected(report(2, 44100, 16, -1, 65534), "\"PCM format\"", "format tag = -2"), 1, ""},
    {{"in.wav"}, riff(fmt_chunk(3, 8000, 8)),
     rejected(report(3, 8000, 8, -1), "monoral/stereo", "channels = 3"), 1, ""},
    {{"in.wav"}, riff(fmt_chunk(2, 48000, 24)),
     rejected(report(2, 48000, 24, -1), "16bit or 8bit", "bits/sample = 24"), 1, ""},
    // A zero after an odd body is skipped, any other byte starts the next chunk; a size that
    // reaches past any position a file can have ends the walk.
    {{"in.wav", "out", "0"}, riff(fmt + chunk("LIST", "abc") + '\0' + chunk("data", "wxyz")),
     fmt_rep + "  <LIST> (3 bytes)\n  <data> (4 bytes)\n" + to + "0ms)\n", 0,
     header(4, 2, 44100, 16) + "wxyz"},
    {{"in.wav"}, riff(fmt + chunk("LIST", "abc") + chunk("data", "wxyz")),
     fmt_rep + "  <LIST> (3 bytes)\n  <data> (4 bytes)\n", 0, ""},
    {{"in.wav", "out", "0"}, wav(1, 8000, 8, "abc") + '\0', report(1, 8000, 8, 3) + to +
     "0ms)\n", 0, header(3, 1, 8000, 8) + "abc"},
    {{"in.wav"}, riff(fmt_chunk(1, 8000, 8) + chunk("data", "abc") + '\0' + chunk("id3 ", "z")),
     report(1, 8000, 8, 3) + "  <id3 > (1 bytes)\n", 0, ""},
    {{"in.wav"}, riff(chunk("junk", "", ~7u) + fmt), "in.wav :\n  <junk> (-8 bytes)\n", 0, ""},
    // Cuts drop whole frames; their times are plain decimals in range.
    {{"-c", "in.wav", "out.raw", "0", "extra"}, in, rep + to + "0ms)\n", 0, h + d},
    {{"-l", "in.wav", "out.", "500ms"}, in, rep + to + "-500ms)\n", 0, cut},
    {{"in.wav", "out", " +3"}, in, rep + to + "-3ms)\n", 0, h + shifted(d, 528)},
    {{"in.wav", "out", "4000"}, in, rep + to + "-4000ms)\n", 0, h + shifted(d, 600000)},
    {{"in.wav", "out", "7000"}, wav(2, 44100, 16, d3), report(2, 44100, 16, 3 << 20) + to +
     "-7000ms)\n", 0, header(3 << 20, 2, 44100, 16) + shifted(d3, 1234800)}, // blocks of 1 MiB
    {{"in.wav", "out", "-500"}, in, "invalid time : -500\n", 1, ""},
    {{"in.wav", "out", "1000"}, wav(1, 11025, 8, d8), report(1, 11025, 8, 20001) + to +
     "-1000ms)\n", 0, header(20001, 1, 11025, 8) + shifted(d8, 11025)},
    {{"in.wav", "null", "0"}, wav(1, 8000, 8, "a"), report(1, 8000, 8, 1) +
     "in.wav -> null.wav (0ms)\n", 0, ""},
    // Only the three kept values of "fmt " reach the output; other chunks do not.
    {{"in.wav", "out", "500"}, odd, odd_rep + to + "-500ms)\n", 0, cut},
    // Data the file does not hold is a read error; the output stays as written.
    {{"in.wav", "out", "0"}, huge, huge_rep + "read error : 1044\n", 1, hh + d.substr(0, 1000)},
    {{"in.wav", "out", "2147483647"}, huge, huge_rep + "read error : 4294967339\n", 1, hh},
    {{"in.wav", "out", "0"}, riff(chunk("data", "abcd")),
     "in.wav :\n  <data> (4 bytes)\nin.wav : no 'fmt ' chunk\n", 1, ""},
    {{"in.wav", "out", "0"}, riff(fmt), fmt_rep + "in.wav : no 'data' chunk\n", 1, ""},
    // No time can be cut without a sample rate; 0 ms can.
    {{"in.wav", "out", "1"}, wav(1, 0, 8, "ab"), report(1, 0, 8, 2) + "in.wav : samples/sec = 0\n",
     1, ""},
    {{"in.wav", "out", "0"}, wav(1, 0, 8, "ab"), report(1, 0, 8, 2) + to + "0ms)\n", 0,
     header(2, 1, 0, 8) + "ab"},
    {{"in.wav", "in", "500"}, in, rep + "cannot overwrite input file : in.wav\n", 1, ""},
    {{"in.wav", "link", "0"}, in, rep + "cannot overwrite input file : link.wav\n", 1, ""},
    {{"in.wav", "no/out", "0"}, in, rep + "cannot open file : no/out.wav\n", 1, ""},
    {{"in.wav", "sub/" + a252, "0"}, in, "file name too long : sub/" + a252 + "\n", 1, ""},
    // A slash separates directories everywhere, so a dot in a folder's name is no extension.
    {{"in.wav", "sub/../sub/t", "0"}, in, rep + "in.wav -> sub/../sub/t.wav (0ms)\n", 0, h + d,
     1 << 17, "sub/t.wav"},
    // A backslash separates directories, but only Windows has them as such.
    {{"in.wav", "sub\\x.y", "0"}, in, rep + "in.wav -> sub\\x.wav (0ms)\n", 0, h + d, 1 << 17,
     on_windows ? "sub/x.wav" : "sub\\x.wav"},
    // Names are UTF-8 inside: each leads to its own file, and no character holds a separator.
    {{"表.wav", "ソ.raw", "500"}, in, in_hyo + hyo + ".wav -> " + sys("\x83\\", "ソ") +
     ".wav (-500ms)\n", 0, cut, 1 << 17, "ソ.wav"},
    {{"表.wav", "表", "0"}, in, in_hyo + "cannot overwrite input file : " + hyo + ".wav\n", 1, ""},
    {{"é.wav", "é-cut", "0"}, in, e_ + ".wav" + rep.substr(6) + e_ + ".wav -> " + e_ +
     "-cut.wav (0ms)\n", 0, h + d, 1 << 17, "é-cut.wav"},
    {{"in.wav", "a¥b.raw", "0"}, in, rep + "in.wav -> a" + sys("?", "¥") + "b.wav (0ms)\n", 0,
     h + d, 1 << 17, "a¥b.wav"},
    {{"in.wav", far("音"), "0"}, in, sys(rep + "in.wav -> " + far("\x89\xb9") + ".wav (0ms)\n",
     "file name too long : " + far("音") + "\n"), !on_windows, sys(h + d, ""), 1 << 17,
     "sub/" + far("音").substr(11) + ".wav"},
    // A full disk fails the cut wherever it strikes: in the audio, in the fill.
    {{"in.wav", "out", "500"}, in, rep + "write error : 100352\n", 1, cut.substr(0, 100352), 196},
    {{"in.wav", "out", "500"}, in, rep + "write error : 550400\n", 1, cut.substr(0, 550400), 1075},
};
// clang-format on

TEST(Run, AsTabled) {
	for (const auto &c : cases) {
		EXPECT_EQ(run(c.input, c.words, c.blocks),
			  c.err + "status " + std::to_string(c.status));
		EXPECT_EQ(get(dir / "in.wav"), c.input);
		EXPECT_TRUE(get(dir / c.name) == c.out) << c.err; // too long to print
	}
	fs::remove_all(dir);
}

// 16 bytes that tell where in the input they were put.
std::string mark(std::uintmax_t at) {
	return ("@" + std::to_string(at) + "________________").substr(0, 16);
}

std::string part(const fs::path &file, std::uintmax_t at, std::size_t n) {
	std::string bytes(n, '\0');
	std::ifstream(file, std::ios::binary).seekg(std::streamoff(at)).read(bytes.data(), long(n));
	return bytes;
}

// Recordings of 2 GiB and more, as sparse files: chunks, and marks in their audio. A cut of
// 16-bit stereo at 44100 Hz moves each mark `shift` bytes earlier and ends in `cut` zeros.
constexpr std::uintmax_t g2 = 1u << 31, g3 = 3u << 30, riff_max = (1ull << 32) + 7;
const std::string in_junk = riff(fmt + "JUNK"), cut500 = to + "-500ms)\n";
struct recording {
	pieces chunks;
	std::vector<std::uintmax_t> marks;
	std::vector<std::string> words;
	std::string err;
	std::uint32_t data_size = 0;
	std::uintmax_t out_size = 0, shift = 0, cut = 0;
};
// clang-format off
const recording cheap[] = { // the outputs are small
    // A size of 2^31 in a file of 2^31 - 1 bytes is negative and ends the walk; in a longer
    // file it is the size RIFF means.
    {{{0, in_junk + le(g2, 4)}, {g2 - 2, "."}}, {}, {"in.wav"},
     fmt_rep + "  <JUNK> (-2147483648 bytes)\nstatus 0"},
    {{{0, in_junk + le(g2, 4)}, {g2 - 1, "."}}, {}, {"in.wav"},
     fmt_rep + "  <JUNK> (2147483648 bytes)\nstatus 0"},
    {{{0, in_junk + le(g3 - 452, 4)}, {g3 - 408, "data" + le(400, 4)}},
     {g3 - 224, g3 - 16}, {"in.wav", "out", "1"},
     fmt_rep + "  <JUNK> (3221225020 bytes)\n  <data> (400 bytes)\n" + to + "-1ms)\nstatus 0",
     400, 444, g3 - 444 + 176, 176},
    // Audio that the file does not hold ends the cut at the file's end, wherever that is.
    {{{0, in_junk + le(g3 - 452, 4)}, {g3 - 408, "data" + le(1000, 4)}}, {g3 - 16},
     {"in.wav", "out", "0"}, fmt_rep + "  <JUNK> (3221225020 bytes)\n  <data> (1000 bytes)\n"
     "read error : 3221225472\nstatus 1", 1000, 444, g3 - 444},
};
const recording heavy[] = { // each writes gigabytes
    {{{0, header(g3 - 44, 2, 44100, 16)}}, {1 << 20, g2, g3 - 16}, {"in.wav", "out", "500"},
     report(2, 44100, 16, g3 - 44) + cut500 + "status 0", g3 - 44, g3, 88200, 88200},
    // A chunk that starts below 2^31 and ends above it, and one after it.
    {{{0, in_junk + le(g2 - (1 << 20) - 52, 4)}, {g2 - (1 << 20) - 8, "data" + le(1 << 30, 4)},
      {g2 + (1 << 30) - (1 << 20), "LIST" + le(4, 4) + "abcd"}}, {g2 - (1 << 20) + 88200, g2},
     {"in.wav", "out", "500"}, fmt_rep + "  <JUNK> (2146435020 bytes)\n  <data> (1073741824 bytes)"
     "\n  <LIST> (4 bytes)\n" + cut500 + "status 0", 1 << 30, (1 << 30) + 44,
     g2 - (1 << 20) + 88200 - 44, 88200},
    // A placeholder size, as a writer leaves that cannot seek back.
    {{{0, header(~0u, 2, 44100, 16)}}, {g3 - 16}, {"in.wav", "out", "0"},
     report(2, 44100, 16, ~0u) + "read error : 3221225472\nstatus 1", ~0u, g3},
    {{{0, header(riff_max - 44, 2, 44100, 16)}}, {g3, riff_max - 16}, {"in.wav", "out", "500"},
     report(2, 44100, 16, riff_max - 44) + cut500 + "status 0", riff_max - 44, riff_max, 88200,
     88200},
    {{{0, header(riff_max - 43, 2, 44100, 16)}, {riff_max, "."}}, {}, {"in.wav"},
     "file too large : in.wav\nstatus 1"},
};
// clang-format on

// Each run must print what it should, leave the input as it was, and write either nothing
// or all that the recording's cut writes, within `blocks` of 512 bytes.
void check(const recording &r, int blocks) {
	pieces more = r.chunks;
	for (const std::uintmax_t at : r.marks)
		more.emplace_back(at, mark(at));
	EXPECT_EQ(run("", r.words, blocks, more), r.err);
	for (const auto &[at, bytes] : more)
		EXPECT_EQ(part(dir / "in.wav", at, bytes.size()), bytes);
	const fs::path out = dir / "out.wav";
	ASSERT_EQ(fs::exists(out) ? fs::file_size(out) : 0, r.out_size) << r.err;
	if (r.out_size == 0)
		return;
	EXPECT_EQ(part(out, 0, 44), header(r.data_size, 2, 44100, 16));
	for (const std::uintmax_t at : r.marks)
		EXPECT_EQ(part(out, at - r.shift, 16), mark(at));
	EXPECT_EQ(part(out, r.out_size - r.cut, r.cut), std::string(r.cut, '\0'));
}

TEST(Run, ReadsLongRecordings) {
	for (const auto &r : cheap)
		check(r, 1 << 17);
	fs::remove_all(dir);
}

// Set LEADCUT_LONG_TESTS to run these, best with TMPDIR on tmpfs: they write 14 GiB.
TEST(Long, CutsRecordingsUpToTheRiffLimit) {
	if (!std::getenv("LEADCUT_LONG_TESTS"))
		GTEST_SKIP() << "set LEADCUT_LONG_TESTS to write gigabytes";
	for (const auto &r : heavy)
		check(r, 1 << 24);
	fs::remove_all(dir);
}

// Fails the calls of a report and of cuts one at a time, the 1st, the 2nd and so on, until a
// run no longer meets its fault: of every kind, through the C library and the system (a pad
// byte, the copy's several blocks, the kernel's copy, the check that spares the input). Every
// run either fails and leaves the input as it was, or prints and writes what a run without
// faults does.
TEST(Run, FailsEachCallInTurn) {
	if (on_windows || !*LEADCUT_FAULTS)
		GTEST_SKIP() << "needs libfiu, and Linux";
	const std::string input = riff(fmt + chunk("data", d3) + chunk("LIST", "abc") + '\0');
	const std::vector<std::string> runs[] = {
	    {"in.wav"}, {"in.wav", "out", "500"}, {"in.wav", "out", "0"}, {"in.wav", "link", "0"}};
	for (const auto &words : runs) {
		const std::string good = run(input, words), out = get(dir / "out.wav");
		int n = 0;
		std::string r;
		do {
			r = run(input, words, 1 << 17, {}, ++n);
			if (r.ends_with("status 1"))
				EXPECT_TRUE(get(dir / "in.wav") == input) << n << r;
			else
				EXPECT_TRUE(r == good && get(dir / "out.wav") == out) << n << r;
		} while (fs::exists(dir / ".fault"));
		EXPECT_EQ(r, good);
		EXPECT_GT(n, 20) << "no fault met: is the library preloaded into the program?";
	}
	fs::remove_all(dir);
}

// The value in the last report line that starts with `label`.
std::uint32_t last(const std::string &report, const std::string &label) {
	return std::uint32_t(std::stoll(report.substr(report.rfind(label) + label.size())));
}

// Replays the inputs the fuzzer kept, as the cut it fuzzes (which reports
// them first): whatever a file holds, the run ends with status 0 or 1,
// prints nothing on standard output, leaves the input as it was, and a cut
// that succeeds leaves a header that tells the truth about the data after it.
TEST(Run, FuzzerCorpus) {
	ASSERT_GE(std::distance(fs::directory_iterator(LEADCUT_CORPUS), {}), 20);
	for (const auto &entry : fs::directory_iterator(LEADCUT_CORPUS)) {
		const std::string input = get(entry.path()),
				  name = entry.path().filename().string();
		const std::string r = run(input, {"in.wav", "o", "37"});
		ASSERT_TRUE(r.ends_with("status 0") || r.ends_with("status 1")) << name << r;
		ASSERT_TRUE(get(dir / ".out").empty() && get(dir / "in.wav") == input) << name;
		if (r.ends_with("status 1"))
			continue;
		const std::uint32_t size = last(r, "  <data> (");
		const std::string out = get(dir / "o.wav");
		ASSERT_EQ(out.size(), 44u + size) << name;
		ASSERT_EQ(out.substr(0, 44),
			  header(size, last(r, "channels       = "), last(r, "samples/sec    = "),
				 last(r, "bits/sample    = ")))
		    << name;
	}
	fs::remove_all(dir);
}

// clang-format off
struct { std::vector<std::string> words; std::string opts, results; int index;
	 std::string err, arg; } const scans[] = { // results: each return, '.' for -1
    {{"-cl", "in.wav"}, "cl", "cl.", 2, "", ""},
    {{"-cx"}, "cl", "c?.", 2, "leadcut : illegal option -- x\n", ""},
    {{"-:"}, "c:l", "?.", 2, "leadcut : illegal option -- :\n", ""},
    {{"-"}, "cl", ".", 1, "", ""},
    {{"-ofile", "x"}, "o:", "o.", 2, "", "file"},
    {{"-o", "-c"}, "o:c", "o.", 3, "", "-c"},
    {{"-co", "f"}, "o:c", "co.", 3, "", "f"},
    {{"-o"}, "o:", "?.", 2, "leadcut : option requires an argument -- o\n", ""},
};
const std::string n259(259, 'n'), n777(777, 'n');
struct { std::string operand, stripped; int result; } const names[] = {
    {"out.", "out", 1}, {"dir\\take.1.raw", "dir\\take.1", 1}, {".wav", ".wav", 1},
    {"dir.old\\take", "dir.old\\take", 1}, {"a\\.wav", "", 0}, {"dir\\", "", 0}, {"C:", "", 0},
    {"", "", 0}, {"my.dir/out", "my.dir/out", 1}, {"../take", "../take", 1}, {"sub.d/", "", 0},
    {"C:x.y", "C:x", 1}, {n777 + ".w", n777, 1}, {n777 + "n.wav", "", -1}, {n259 + "\\.x", "", 0},
};
struct { const char *text; bool valid; std::int32_t value; } const times[] = {
    {"", true, 0}, {"-0", true, 0}, {" \t\n\v\f\r+250", true, 250}, {"--5", true, 0},
    {"12 34", true, 12}, {"2147483647", true, 2147483647}, {"2147483648", false, -7},
    {"99999999999999999999999", false, -7}, {"-2147483648", false, -7},
};
// clang-format on

TEST(Units, AsTabled) {
	for (const auto &c : scans) {
		std::vector<char *> argv{const_cast<char *>("leadcut")};
		for (const auto &w : c.words)
			argv.push_back(const_cast<char *>(w.c_str()));
		reset_option_scanner();
		testing::internal::CaptureStderr();
		std::string results;
		while (results.size() < c.results.size()) {
			const auto r = get_option(int(argv.size()), argv.data(), c.opts.c_str());
			results += r == -1 ? '.' : static_cast<char>(r);
		}
		EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err) << c.results;
		EXPECT_EQ(results + std::to_string(opt_index) + (opt_arg ? opt_arg : ""),
			  c.results + std::to_string(c.index) + c.arg);
	}
	name_buffer dst;
	dst.fill('#');
	EXPECT_TRUE(copy_name(dst, n259.c_str()) && dst.data() == n259 &&
		    !copy_name(dst, (n259 + "x").c_str()));
	for (const auto &c : names) {
		dst.fill('#');
		EXPECT_EQ(strip_extension(dst, c.operand.c_str()), c.result) << c.operand;
		EXPECT_EQ(dst.data(), c.stripped) << c.operand;
	}
	for (const auto &c : times) {
		std::int32_t value = -7;
		EXPECT_EQ(parse_decimal(c.text, value), c.valid) << '"' << c.text << '"';
		EXPECT_EQ(value, c.value) << '"' << c.text << '"';
	}
	// A frame that holds no whole byte drops nothing; 64 bits never wrap.
	EXPECT_EQ(compute_cut_bytes(1, 8000, 4, 500, 1000), 0u);
	EXPECT_EQ(compute_cut_bytes(2, 4294967295u, 16, 2147483647, 4294967295u), 4294967295u);
}

} // namespace
