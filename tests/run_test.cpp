// Whole runs of the program under test: what it prints, its status and the files it leaves,
// for a table of inputs, for each of its calls failing in turn, for long recordings and for
// the fuzzer's corpus; and the front end's pieces on their own, where a run cannot reach.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

#include "cli/cli.h"

namespace {

namespace fs = std::filesystem;
using pieces = std::vector<std::pair<std::uintmax_t, std::string>>; // bytes at their offsets

// A little-endian field of n bytes.
std::string le(std::uint32_t v, int n) { return n == 0 ? "" : char(v) + le(v >> 8, n - 1); }

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
	char text[400]; // room for any of them
	static_cast<void>(std::snprintf(
	    text, sizeof text,
	    "in.wav :\n  <fmt > (16 bytes)\n    format tag     = %u (1 = PCM)\n"
	    "    channels       = %u\n    samples/sec    = %u\n    avg. bytes/sec = %u\n"
	    "    block align    = %u\n    bits/sample    = %u\n",
	    std::uint32_t(std::int16_t(tag)), channels, rate, rate * (channels * bits / 8),
	    channels * bits / 8, bits));
	return text + (size < 0 ? "" : "  <data> (" + std::to_string(size) + " bytes)\n");
}

// Bytes whose shifted copies differ from them at every shift a test makes.
std::string pattern(std::size_t size) {
	std::string bytes(size, '\0');
	for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * i / 7);
	return bytes;
}

std::string part(const fs::path &file, std::uintmax_t at, std::size_t n) {
	std::string bytes(n, '\0');
	std::ifstream(file, std::ios::binary).seekg(std::streamoff(at)).read(bytes.data(), long(n));
	return bytes;
}

std::string get(const fs::path &f) { return fs::exists(f) ? part(f, 0, fs::file_size(f)) : ""; }

// This test process's own directory, where every run takes place.
const fs::path dir = fs::temp_directory_path() / ("leadcut-" + std::to_string(::getpid()));

// LEADCUT_TEST_COMMAND, when set, is the command that runs the program under test (an
// emulator and a launcher, say) instead of the one built here. Names print as UTF-8 on
// Linux; on Windows in the ANSI code page, here 932 (Japanese), '?' for what it lacks.
const char *const test_command = std::getenv("LEADCUT_TEST_COMMAND");
const bool on_windows = test_command && std::string(test_command).ends_with(".exe");
std::string sys(const std::string &w, const std::string &l) { return on_windows ? w : l; }

// Runs the program as "leadcut" in a fresh dir that holds `input` as in.wav, with `more`
// bytes put in it (also linked as link.wav, 表.wav and é.wav beside an e.wav of 100 'e's), its
// files limited to `blocks` of 512 bytes (Wine, which cannot ignore the signal, with SIGXFSZ
// ignored); after the shell command `hook`, with the fault library preloaded if there is one
// (LEADCUT_FAULT=N fails its Nth call, LEADCUT_RENAME="A B" renames A over B as it opens its
// output; faults.cpp). Returns what it printed on standard error, any standard output, then "status
// N" (124 after 15 seconds, 128 + N after signal N), and " (input changed)" if in.wav did not stay
// as it was. No word may hold a single quote. What a hook mounts, it unmounts at the exit.
std::string run(const std::string &input, const std::vector<std::string> &words,
		int blocks = 1 << 17, pieces more = {}, const std::string &hook = "") {
	fs::remove_all(dir);
	fs::create_directories(dir / "sub");
	more.emplace(more.begin(), 0, input);
	std::ofstream file(dir / "in.wav", std::ios::binary);
	for (const auto &[at, bytes] : more) file.seekp(std::streamoff(at)) << bytes;
	const auto length = std::uintmax_t(file.seekp(0, std::ios::end).tellp());
	file.close();
	for (auto n : {"link.wav", "表.wav", "é.wav"})
		fs::create_hard_link(dir / "in.wav", dir / n);
	std::ofstream(dir / "e.wav") << std::string(100, 'e');
	// The fault library goes into leadcut alone, not the shells and timeout before it (an
	// emulator's test command preloads it itself).
	std::string line =
	    "cd '" + dir.string() + "' && exec >.out 2>.err && ulimit -f " +
	    std::to_string(blocks) + (on_windows ? " && trap '' XFSZ && " : " && ") +
	    (hook.empty() ? ":" : hook) +
	    " && export ASAN_OPTIONS=exitcode=86:detect_leaks=0 "
	    "UBSAN_OPTIONS=exitcode=87:halt_on_error=1 && timeout 15 " +
	    (test_command
		 ? test_command
		 : "bash -c '" + (hook.empty() ? std::string() : "LD_PRELOAD=" LEADCUT_FAULTS " ") +
		       "exec -a leadcut \"$0\" \"$@\"' " LEADCUT_BINARY);
	for (const auto &word : words) line += " '" + word + "'";
	line += "; s=$?; wait; exit $s"; // for what the hook started, a FIFO's reader
	const int status = std::system(line.c_str());
	bool kept = fs::file_size(dir / "in.wav") == length;
	for (const auto &[at, b] : more) kept = kept && part(dir / "in.wav", at, b.size()) == b;
	return get(dir / ".err") + get(dir / ".out") + "status " +
	       std::to_string(WEXITSTATUS(status)) + (kept ? "" : " (input changed)");
}

// The data without its first n bytes, then n zero bytes.
std::string shifted(const std::string &d, std::size_t n) { return d.substr(n) + std::string(n, 0); }

// Within Windows' 259 UTF-16 units, beyond Linux's 259 bytes.
std::string far(const char *oto) {
	std::string name = "sub\\..\\sub\\";
	for (int i = 0; i < 83; ++i) name += oto;
	return name;
}

// The Japanese line in the console's encoding: Shift-JIS under code page 932, else UTF-8.
const std::string usage =
    "Usage: leadcut [option] <wav_file_in> <wav_file_out> <time-ms>\n" +
    sys("wav_file_in\x82\xcc\x90\xe6\x93\xaa\x82\xa9\x82\xe7time-ms\x83\x7e\x83\x8a"
	"\x95\x62\x8d\xed\x8f\x9c\x82\xb5\x82\xbd\x82\xe0\x82\xcc\x82\xf0wav_file_out"
	"\x82\xc9\x8f\x6f\x97\xcd\x82\xb5\x82\xdc\x82\xb7\n\n",
	"wav_file_inの先頭からtime-msミリ秒削除したものをwav_file_outに出力します\n\n");
const std::string d = pattern(600000), in = wav(2, 44100, 16, d), h = header(600000, 2, 44100, 16);
const std::string rep = report(2, 44100, 16, 600000), fmt_rep = report(2, 44100, 16, -1);
const std::string fmt = fmt_chunk(2, 44100, 16), to = "in.wav -> out.wav (", d8 = pattern(20001);
const std::string hyo = sys("\x95\\", "表"), e_ = sys("?", "é"), a260(260, 'a');
const std::string in_hyo = hyo + ".wav" + rep.substr(6), cut = h + shifted(d, 88200);
const std::string huge = riff(fmt + chunk("data", d.substr(0, 1000), 4294967295u)),
		  hh = header(~0u, 2, 44100, 16), d3 = pattern(3 << 20), junk = riff(fmt + "JUNK");
const std::string huge_rep = fmt_rep + "  <data> (-1 bytes)\n";
// Long recordings, of 2^31 bytes and more, as sparse files.
constexpr std::uintmax_t g2 = 1u << 31, g3 = 3u << 30, riff_max = (1ull << 32) + 7;

// What a row needs besides the program: the fault library (neither Wine nor a program built
// without libfiu has it; a hook that exports a LEADCUT_ variable is for it), POSIX's files and
// names, or root with FUSE and no emulator.
enum needs { anywhere, fault_library, posix, fuse };

// A row: the words and the input, what is printed and the exit status, then the bytes of the
// file `name` afterwards ("" for none); the arguments of run(); what it needs; and `faults`: the
// least number of calls that a run of the row with each call failing in turn must meet (0: no
// such runs).
// clang-format off
struct row {
	std::vector<std::string> words; std::string input = in, err = ""; int status = 0;
	std::string out = "", name = "out.wav"; int blocks = 1 << 17; pieces more = {};
	std::string hook = ""; enum needs needs = anywhere; int faults = 0;
};

// The last C1 control, a sequence cut short, DEL, an overlong form, a surrogate, a code point past
// U+10FFFF and another overlong one, then the first or last of their kinds that are well formed.
const std::string bad = "\xc2\x9f\xe3\x81\x7f\xe0\x9f\xbf\xed\xa0\x80\xf4\x90\x80\x80\xc1\xbf"
			"\xdf\xbf\xc2\xa0😀";
const std::string x_rep = "X/T.WAV" + rep.substr(6), alias = "export LEADCUT_ALIAS=",
    bind = "mkdir V && bindfs . V && trap 'fusermount -u V' 0",
    exfat = "truncate -s 9M ../x.img && mkfs.exfat ../x.img >/dev/null && mkdir X && "
	"mount.exfat-fuse $(losetup -f --show ../x.img) X && trap 'cp -r X x && umount X && "
	"losetup -d $(losetup -nO NAME -j ../x.img)' 0 && cp in.wav X/T.WAV";

const row rows[] = {

    {.words = {"-c", "-l", "--", "in.wav"}, .input = in + "xyz", .err = rep, .faults = 16},
    {.words = {}, .err = usage, .status = 1}, {.words = {"-c", "x"}, .err = usage, .status = 1},
    // Only "--" ends the options: any other word that starts with it is letters, all illegal.
    {.words = {"--dry-run", "in.wav", "out", "0"}, .err = "leadcut : illegal option -- -\n" + usage,
     .status = 1},
    // No byte a terminal obeys reaches it from a name or a time: controls and bytes outside
    // UTF-8 show as '?' (under Wine the code page's conversion gives the same), and so do the
    // marks that would reorder or break its line, the bidirectional controls and U+2028-9; their
    // neighbours and a joiner print as they are (under Wine as '?': code page 932 lacks them).
    {.words = {"\x1b]0;t\a\xff~ \u200D\u200E\u200F\u2027\u2028\u2029\u202A\u202B\u202C\u202D\u202E"
     "\u061C\u202F\u2065\u2066\u2067\u2068\u2069\u206A"}, .err = "cannot open file : ?]0;t??~ " +
     sys(std::string(19, '?'), "\u200D??\u2027????????\u202F\u2065????\u206A") + "\n", .status = 1},
    {.words = {"in.wav", "out", "\x1b[2J\x1f"}, .err = "invalid time : ?[2J?\n", .status = 1},
    {.words = {"in.wav", bad + ".x", "0"}, .err = rep + "in.wav -> " + std::string(16, '?') +
     "\xdf\xbf\xc2\xa0😀.wav (0ms)\n", .out = h + d, .name = bad + ".wav", .needs = posix},
    {.words = {a260}, .err = "file name too long : " + a260 + "\n", .status = 1},
    // A short identifier ends the walk cleanly; any other short field is a read error.
    {.words = {"in.wav"}, .input = in.substr(0, 30), .err = fmt_rep.substr(0, 112) +
     "read error : 30\n", .status = 1},
    {.words = {"in.wav"}, .input = "RIFX" + in.substr(4), .err = "in.wav :\nNot a 'RIFF' format\n",
     .status = 1},
    // A folder opens but cannot be read (Windows cannot open one), and a cut creates no output.
    {.words = {"sub", "out", "0"}, .err = sys("cannot open file : sub\n", "sub :\nread error : 0\n"),
     .status = 1},
    {.words = {"in.wav"}, .input = riff(fmt_chunk(2, 44100, 16, 65534)), .err = report(2, 44100,
     16, -1, 65534) + "\nThis program supported \"PCM format\" wav file\nin.wav : format tag = -2"
     "\n", .status = 1},
    // A zero after an odd body is skipped, any other byte starts the next chunk; a size that
    // reaches past any position a file under 2^31 bytes can have ends the walk.
    {.words = {"in.wav", "out", "0"}, .input = riff(fmt + chunk("LIST", "abc") + '\0' +
     chunk("JUNK", "xyz") + chunk("data", "wxyz")), .err = fmt_rep + "  <LIST> (3 bytes)\n  <JUNK>"
     " (3 bytes)\n  <data> (4 bytes)\n" + to + "0ms)\n", .out = header(4, 2, 44100, 16) + "wxyz"},
    {.words = {"in.wav", "e", "0"}, .input = wav(1, 8000, 8, "a") + '\0', .err = report(1, 8000, 8,
     1) + "in.wav -> e.wav (0ms)\n", .out = header(1, 1, 8000, 8) + "a", .name = "e.wav",
     .faults = 30}, // emptied
    // No byte a terminal obeys reaches it from an identifier, which ends at its first zero.
    {.words = {"in.wav"}, .input = riff(chunk("\x1b[2J", "") + chunk("\r\n\x7f\xff", "") +
     chunk(std::string("b\0\x1b\0", 4), "", ~7u) + fmt), .err = "in.wav :\n  <?[2J> (0 bytes)\n"
     "  <\?\?\?\?> (0 bytes)\n  <b> (-8 bytes)\n"},
    // Cuts drop whole frames; their times are plain decimals in range, with a digit.
    {.words = {"-c", "in.wav", "out.raw", "0", "extra"}, .input = wav(2, 44100, 16, d3),
     .err = report(2, 44100, 16, 3 << 20) + to + "0ms)\n", .out = header(3 << 20, 2, 44100, 16) +
     d3, .faults = 25}, // through the block to a page, the kernel to 1 MiB, then the kernel again
    {.words = {"-l", "in.wav", "out.", "500ms"}, .err = rep + to + "-500ms)\n", .out = cut},
    {.words = {"in.wav", "out", " \t\n\v\f\r+3"}, .err = rep + to + "-3ms)\n", .out = h +
     shifted(d, 528)},
    {.words = {"in.wav", "out", "7000"}, .input = wav(2, 44100, 16, d3), .err = report(2, 44100,
     16, 3 << 20) + to + "-7000ms)\n", .out = header(3 << 20, 2, 44100, 16) + shifted(d3, 1234800),
     .faults = 30}, // audio and fill of several 1 MiB blocks
    {.words = {"in.wav", "out", "-500"}, .err = "invalid time : -500\n", .status = 1},
    {.words = {"in.wav", "out", "18446744073709551617"}, .err = "invalid time : "
     "18446744073709551617\n", .status = 1},
    {.words = {"in.wav", "out", "1000"}, .input = wav(1, 11025, 8, d8), .err = report(1, 11025, 8,
     20001) + to + "-1000ms)\n", .out = header(20001, 1, 11025, 8) + shifted(d8, 11025)},
    // Data the file does not hold is a read error, known before any output is touched.
    {.words = {"in.wav", "e", "0"}, .input = huge, .err = huge_rep + "read error : 1044\n",
     .status = 1, .out = std::string(100, 'e'), .name = "e.wav"},
    {.words = {"in.wav", "out", "2147483647"}, .input = huge, .err = huge_rep +
     "read error : 4294967339\n", .status = 1},
    {.words = {"in.wav", "out", "0"}, .input = riff(chunk("data", "abcd")), .err = "in.wav :\n"
     "  <data> (4 bytes)\nin.wav : no 'fmt ' chunk\n", .status = 1},
    {.words = {"in.wav", "out", "0"}, .input = riff(fmt), .err = fmt_rep +
     "in.wav : no 'data' chunk\n", .status = 1},
    // No time can be cut without a sample rate; 0 ms can.
    {.words = {"in.wav", "out", "1"}, .input = wav(1, 0, 8, "ab"), .err = report(1, 0, 8, 2) +
     "in.wav : samples/sec = 0\n", .status = 1},
    {.words = {"in.wav", "out", "0"}, .input = wav(1, 0, 8, "ab"), .err = report(1, 0, 8, 2) + to +
     "0ms)\n", .out = header(2, 1, 0, 8) + "ab"},
    // An operand that ends in a separator names ".wav" in that folder.
    {.words = {"in.wav", "no/", "0"}, .err = rep + "cannot open file : no/.wav\n", .status = 1},
    // A slash separates directories everywhere, so a dot in a folder's name is no extension,
    // nor is one that begins a name.
    {.words = {"in.wav", "sub/../sub/.t", "0"}, .err = rep + "in.wav -> sub/../sub/.t.wav (0ms)\n",
     .out = h + d, .name = "sub/.t.wav"},
    // A backslash separates directories, but only Windows has them as such.
    {.words = {"in.wav", "sub\\x.y", "0"}, .err = rep + "in.wav -> sub\\x.wav (0ms)\n",
     .out = h + d, .name = on_windows ? "sub/x.wav" : "sub\\x.wav"},
    // Names are UTF-8 inside: each leads to its own file, and no character holds a separator.
    {.words = {"表.wav", "ソ.raw", "500"}, .err = in_hyo + hyo + ".wav -> " + sys("\x83\\", "ソ") +
     ".wav (-500ms)\n", .out = cut, .name = "ソ.wav"},
    {.words = {"表.wav", "表", "0"}, .err = in_hyo + "cannot overwrite input file : " + hyo +
     ".wav\n", .status = 1},
    {.words = {"é.wav", "é-cut", "0"}, .err = e_ + ".wav" + rep.substr(6) + e_ + ".wav -> " + e_ +
     "-cut.wav (0ms)\n", .out = h + d, .name = "é-cut.wav"},
    {.words = {"in.wav", "a¥b.raw", "0"}, .err = rep + "in.wav -> a" + sys("?", "¥") +
     "b.wav (0ms)\n", .out = h + d, .name = "a¥b.wav"},
    {.words = {"in.wav", far("音"), "0"}, .err = sys(rep + "in.wav -> " + far("\x89\xb9") +
     ".wav (0ms)\n", "file name too long : " + far("音") + "\n"), .status = !on_windows,
     .out = sys(h + d, ""), .name = "sub/" + far("音").substr(11) + ".wav"},
    // Other programs act on the files as leadcut opens its output: a file renamed over the
    // input's name (in.wav stays the reported file), or the output's name made a link to it.
    {.words = {"é.wav", "out", "500"}, .err = e_ + ".wav" + rep.substr(6) + e_ +
     ".wav -> out.wav (-500ms)\n", .out = cut, .hook = "export LEADCUT_RENAME='e.wav é.wav'"},
    {.words = {"in.wav", "e", "0"}, .err = rep + "cannot overwrite input file : e.wav\n",
     .status = 1, .out = in, .name = "e.wav", .hook = "export LEADCUT_RENAME='link.wav e.wav'"},
    // Where one file has two inode numbers, the output is the input when the folder holds both
    // names as one entry; another name of it takes the cut, and the input keeps its bytes.
    {.words = {"in.wav", "in", "0"}, .err = rep + "cannot overwrite input file : in.wav\n",
     .status = 1, .hook = alias + "1", .faults = 20},
    {.words = {"in.wav", "link", "0"}, .err = rep + "in.wav -> link.wav (0ms)\n", .out = h + d,
     .name = "link.wav", .hook = alias + "1"},
    {.words = {"in.wav", "c", "0"}, .err = rep + "in.wav -> c.wav (0ms)\n", .out = h + d,
     .name = "c.wav", .hook = alias + "1 && cp -p in.wav c.wav"},
    {.words = {"in.wav", "t", "0"}, .err = rep + "in.wav -> t.wav (0ms)\n", .out = h + d,
     .name = "t.wav", .hook = alias + "2 && truncate -s 600044 t.wav && touch -r in.wav t.wav"},
    {.words = {"in.wav", "t", "0"}, .err = rep + "in.wav -> t.wav (0ms)\n", .out = h + d,
     .name = "t.wav", .hook = alias + "2 && cp in.wav t.wav && echo >>t.wav && touch -r in.wav "
     "t.wav"},
    // The output is never standard error's file, but a device may be both; a FIFO or a device
    // takes the whole output, unless it takes no header (under Wine, standard error as a file has
    // no name nor index to compare). With standard output and error closed,
    // the output would take the place of standard error (the input takes the first) and receive
    // the closing line; Wine's own start-up takes both, so there standard error alone is closed.
    {.words = {"in.wav", "out", "0"}, .out = h + d, .hook = sys("exec 2>&-", "exec >&- 2>&-"),
     .faults = 20}, // and if the null device cannot be opened, status 1
    {.words = {"in.wav", "out", "0"}, .status = 1, .out = rep + "cannot overwrite standard error"
     " : out.wav\n", .hook = "exec 2>out.wav", .needs = posix},
    {.words = {"in.wav", "out", "0"}, .name = "none", .hook = "ln -s /dev/null out.wav && exec "
     "2>/dev/null", .needs = posix},
    {.words = {"in.wav", "out", "0"}, .err = rep + "out.wav : wav header write error\n",
     .status = 1, .name = "none", .hook = "ln -s /dev/full out.wav", .needs = posix},
    {.words = {"in.wav", "out", "4000"}, .err = rep + to + "-4000ms)\n", .out = h + shifted(d,
     600000), .name = "got", .hook = "mkfifo out.wav && { timeout 15 cat out.wav >got & }",
     .needs = posix}, // more time than audio: the audio all dropped
    // A full disk, or a file-size limit, fails the cut: here in the fill.
    {.words = {"in.wav", "out", "500"}, .err = rep + "write error : 550400\n", .status = 1,
     .blocks = 1075},
    // A size of 2^31 is negative in a file under 2^31 bytes; in a longer one it is the size RIFF
    // means, and the walk goes on to the end of the file.
    {.words = {"in.wav"}, .input = junk + le(g2, 4), .err = fmt_rep +
     "  <JUNK> (-2147483648 bytes)\n", .more = {{g2 - 2, "."}}},
    {.words = {"in.wav"}, .input = junk + le(g2, 4), .err = fmt_rep +
     "  <JUNK> (2147483648 bytes)\n", .more = {{g2 - 1, "."}}},
    // A placeholder size, as a writer leaves it that cannot seek back, in a long recording.
    {.words = {"in.wav", "out", "0"}, .input = header(~0u, 2, 44100, 16), .err = report(2, 44100,
     16, ~0u) + "read error : 3221225472\n", .status = 1, .more = {{g3 - 1, "."}}},
    // FUSE gives one file several inode numbers: in a bindfs view (V) of the run's folder, and
    // for a name in another case on exFAT (X, copied to x). Other files there are overwritten.
    {.words = {"in.wav", "V/in", "500"}, .err = rep + "cannot overwrite input file : V/in.wav\n",
     .status = 1, .hook = bind, .needs = fuse},
    {.words = {"X/T.WAV", "X/t", "500"}, .err = x_rep + "cannot overwrite input file : X/t.wav\n",
     .status = 1, .out = in, .name = "x/T.WAV", .hook = exfat, .needs = fuse},
    {.words = {"X/T.WAV", "X/e", "0"}, .err = x_rep + "X/T.WAV -> X/e.wav (0ms)\n", .out = h + d,
     .name = "x/e.wav", .hook = exfat + " && cp e.wav X", .needs = fuse},
};
// clang-format on

// Runs the rows that need `what`; those with `faults` run again with their 1st call failing,
// then their 2nd, and so on, until a run no longer meets its fault: every kind of call, through
// the C library and the system. Each such run either fails, leaving the input as it was and no
// new output where it could not open one, or prints and writes what the row says.
void check(needs what) {
	if (what == fault_library && (on_windows || !*LEADCUT_FAULTS))
		GTEST_SKIP() << "needs libfiu, on Linux";
	if (what == posix && on_windows) GTEST_SKIP() << "Windows has no FIFOs, and other names";
	if (what == fuse && (test_command || std::system("[ $(id -u) = 0 ] && command -v bindfs "
							 "mount.exfat-fuse mkfs.exfat >/dev/null")))
		GTEST_SKIP() << "needs root, bindfs, exfat-fuse and exfatprogs, natively";
	for (const row &c : rows) {
		const needs need = c.hook.starts_with("export LEADCUT_") ? fault_library : c.needs;
		if (need != what && !(what == fault_library && c.faults > 0)) continue;
		SCOPED_TRACE(testing::PrintToString(c.words));
		const std::string err = c.err + "status " + std::to_string(c.status);
		if (need == what) {
			EXPECT_EQ(run(c.input, c.words, c.blocks, c.more, c.hook), err);
			EXPECT_TRUE(get(dir / c.name) == c.out); // too long to print
		}
		if (what != fault_library || c.faults == 0) continue;
		// What the output was: as a refusal leaves it, the file a run makes, or none.
		const std::string before = c.status            ? c.out
					   : c.name == "e.wav" ? std::string(100, 'e')
							       : "none";
		int n = 0;
		for (std::string r; n == 0 || fs::exists(dir / ".fault");) {
			r = run(c.input, c.words, c.blocks, c.more,
				c.hook + (c.hook.empty() ? "" : " && ") +
				    "export LEADCUT_FAULT=" + std::to_string(++n));
			const bool as_row = r == err && get(dir / c.name) == c.out;
			EXPECT_TRUE(as_row || r.ends_with("status 1")) << r;
			// An output that could not be opened is left as it was, or not made.
			EXPECT_TRUE(!r.ends_with("cannot open file : " + c.name + "\nstatus 1") ||
				    (fs::exists(dir / c.name) ? get(dir / c.name) : "none") ==
					before);
		}
		EXPECT_GE(n, c.faults) << "too few faults met: is the library in leadcut?";
	}
	fs::remove_all(dir);
}

TEST(Run, AsTabled) { check(anywhere); }
TEST(Run, UnderFaults) { check(fault_library); }
TEST(Run, WithPosixFiles) { check(posix); }
TEST(Run, OnFuse) { check(fuse); }

// 16 bytes that tell where in the input they were put.
std::string mark(std::uintmax_t at) { return std::to_string(at).append(16, '_').substr(0, 16); }

// Cuts that write gigabytes, of 16-bit stereo at 44100 Hz: `head`, `more` chunks and marks in
// the audio, the report and status, then the output's size, its header for `size` bytes, each
// mark `shift` bytes earlier, and a tail of `zeros`.
// clang-format off
struct { std::string head; pieces more; std::vector<std::uintmax_t> marks; std::string time, err;
	 std::uint32_t size; std::uintmax_t out_size, shift, zeros; } const recordings[] = {
    // A 3 GiB file whose audio starts below 2^31 and ends above it, then another chunk.
    {junk + le(g2 - (1 << 20) - 52, 4), {{g2 - (1 << 20) - 8, "data" + le(1074790388, 4)},
     {g3 - 12, "LIST" + le(4, 4) + "abcd"}}, {g2 - (1 << 20) + 88200, g2, g3 - 28}, "500",
     fmt_rep + "  <JUNK> (2146435020 bytes)\n  <data> (1074790388 bytes)\n  <LIST> (4 bytes)\n" +
     to + "-500ms)\nstatus 0", 1074790388, 1074790432, g2 - (1 << 20) + 88200 - 44, 88200},
    {header(riff_max - 44, 2, 44100, 16), {}, {88244, g3, riff_max - 16}, "500",
     report(2, 44100, 16, riff_max - 44) + to + "-500ms)\nstatus 0", riff_max - 44, riff_max,
     88200, 88200},
};
// clang-format on

// They write 10 GiB, and a file past 4 GiB, so they run only when LEADCUT_LONG_TESTS is set, best
// on tmpfs (TMPDIR).
TEST(Long, CutsRecordingsUpToTheRiffLimit) {
	if (!std::getenv("LEADCUT_LONG_TESTS"))
		GTEST_SKIP() << "set LEADCUT_LONG_TESTS to write gigabytes";
	for (const auto &r : recordings) {
		pieces more = r.more;
		for (const std::uintmax_t at : r.marks) more.emplace_back(at, mark(at));
		EXPECT_EQ(run(r.head, {"in.wav", "out", r.time}, 1 << 24, more), r.err);
		const fs::path out = dir / "out.wav";
		ASSERT_EQ(fs::file_size(out), r.out_size) << r.err;
		EXPECT_EQ(part(out, 0, 44), header(r.size, 2, 44100, 16));
		for (const auto at : r.marks) EXPECT_EQ(part(out, at - r.shift, 16), mark(at));
		EXPECT_EQ(part(out, r.out_size - r.zeros, r.zeros), std::string(r.zeros, '\0'));
	}
	EXPECT_EQ(run(h, {"in.wav"}, 1 << 24, {{riff_max, "."}}),
		  "file too large : in.wav\nstatus 1");
	fs::remove_all(dir);
}

// Replays the inputs the fuzzer kept, as the cut it fuzzes (which reports them first):
// whatever a file holds, the run ends with status 0 or 1, prints nothing on standard output
// and leaves the input as it was.
TEST(Run, FuzzerCorpus) {
	ASSERT_GE(std::distance(fs::directory_iterator(LEADCUT_CORPUS), {}), 20);
	for (const auto &entry : fs::directory_iterator(LEADCUT_CORPUS)) {
		const std::string r = run(get(entry.path()), {"in.wav", "o", "37"});
		EXPECT_TRUE((r.ends_with("status 0") || r.ends_with("status 1")) &&
			    get(dir / ".out").empty())
		    << entry.path() << r;
	}
	fs::remove_all(dir);
}

// What no run reaches: options that take an argument, and frames of no whole byte.
// clang-format off
struct { std::vector<std::string> words; const char *opts; std::string got; } const scans[] = {
    // Each return ('.' for -1), then opt_index, opt_arg and what was printed.
    {{"-"}, "cl", ".1"}, {{"-ofile", "x"}, "o:", "o.2file"}, {{"-co", "f"}, "o:c", "co.3f"},
    {{"-o"}, "o:", "?.2leadcut : option requires an argument -- o\n"}, {{"-x"}, "c", "?.2leadcut :"
     " illegal option -- x\n"},
};
// clang-format on

TEST(Units, AsTabled) {
	for (const auto &c : scans) {
		std::vector<char *> argv{const_cast<char *>("leadcut")};
		for (const auto &w : c.words) argv.push_back(const_cast<char *>(w.c_str()));
		reset_option_scanner();
		testing::internal::CaptureStderr();
		std::string got;
		for (std::int32_t r = 0; r != -1; got += r == -1 ? '.' : char(r))
			r = get_option(int(argv.size()), argv.data(), c.opts);
		got += std::to_string(opt_index) + (opt_arg ? opt_arg : "");
		EXPECT_EQ(got + testing::internal::GetCapturedStderr(), c.got);
	}
	EXPECT_EQ(compute_cut_bytes(1, 8000, 4, 500, 1000), 0u); // a frame of no whole byte
}

} // namespace
