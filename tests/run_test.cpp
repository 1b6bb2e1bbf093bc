// Whole runs of the program under test, one test a row of a table: what it prints on each
// stream, its status and the files it leaves; each row again with each of its calls failing
// in turn; long recordings; the fuzzer's corpus; and the option scanner's pieces no run reaches.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

#include "cli/cli.h"

namespace {

namespace fs = std::filesystem;
using std::string, std::to_string;
using u32 = std::uint32_t;

// A little-endian field of n bytes; a chunk, whose size is its body's unless given.
string le(u32 v, int n) { return n == 0 ? "" : char(v) + le(v >> 8, n - 1); }
string chunk(const string &id, const string &body, std::int64_t size = -1) {
	return id + le(u32(size < 0 ? std::int64_t(body.size()) : size), 4) + body;
}
string riff(const string &c) { return "RIFF" + le(u32(c.size() + 4), 4) + "WAVE" + c; }
string fmt_chunk(unsigned channels, u32 rate, unsigned bits, unsigned tag = 1) {
	const unsigned align = channels * bits / 8;
	return chunk("fmt ", le(tag, 2) + le(channels, 2) + le(rate, 4) + le(rate * align, 4) +
				 le(align, 2) + le(bits, 2));
}
// The canonical header the program writes, and a file that has it.
string header(u32 size, unsigned channels, u32 rate, unsigned bits) {
	return riff(fmt_chunk(channels, rate, bits) + "data" + le(size, 4))
	    .replace(4, 4, le(size + 36, 4));
}
string wav(unsigned ch, u32 rate, unsigned bits, const string &d) {
	return header(u32(d.size()), ch, rate, bits) + d;
}

// The report of in.wav with fmt_chunk(channels, rate, bits, tag), then a data chunk of
// `size` bytes unless `size` is negative.
// clang-format off
string report(unsigned channels, u32 rate, unsigned bits, std::int64_t size, unsigned tag = 1) {
	char text[400]; // room for any of them
	static_cast<void>(std::snprintf(text, sizeof text, "in.wav :\n  <fmt > (16 bytes)\n    "
	    "format tag     = %u (1 = PCM)\n    channels       = %u\n    samples/sec    = %u\n    "
	    "avg. bytes/sec = %u\n    block align    = %u\n    bits/sample    = %u\n",
	    u32(std::int16_t(tag)), channels, rate, rate * (channels * bits / 8),
	    channels * bits / 8, bits));
	return text + (size < 0 ? "" : "  <data> (" + to_string(size) + " bytes)\n");
}
// clang-format on

// Bytes whose shifted copies differ from them at every shift a test makes.
string pattern(std::size_t size) {
	string bytes(size, '\0');
	for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * i / 7);
	return bytes;
}
string part(const fs::path &file, std::uintmax_t at, std::size_t n) {
	string bytes(n, '\0');
	std::ifstream(file, std::ios::binary).seekg(std::streamoff(at)).read(bytes.data(), long(n));
	return bytes;
}
string get(const fs::path &f) { return fs::is_regular_file(f) ? part(f, 0, fs::file_size(f)) : ""; }

// This test process's own folder, where its runs take place.
const fs::path dir = fs::temp_directory_path() / ("leadcut-" + to_string(::getpid()));

// LEADCUT_TEST_COMMAND, when set, is the command that runs the program under test (an
// emulator and a launcher, say) instead of the one built here: $LEADCUT_PROGRAM names the program,
// leadcut or the tests' build of it, leadcut_faults. Names print as UTF-8 on
// Linux; on Windows in the ANSI code page, here 932 (Japanese), '?' for what it lacks.
const char *const test_command = std::getenv("LEADCUT_TEST_COMMAND");
const bool on_windows = test_command && string(test_command).ends_with(".exe");
// Views made for the rows under Wine too.
const string wine_views = "WCTBF";
string sys(const string &w, const string &l) { return on_windows ? w : l; }

// The data without its first n bytes, then n zero bytes.
string shifted(const string &d, std::size_t n) { return d.substr(n) + string(n, 0); }

// The run's folder as Windows names it whole, under Wine's drive Z:.
string whole_name(string path) {
	for (char &ch : path) ch = ch == '/' ? '\\' : ch;
	return "\\\\?\\Z:" + path;
}

// Within Windows' 259 UTF-16 units, beyond Linux's 259 bytes.
string repeat(const string &s, int n) { return n ? s + repeat(s, n - 1) : ""; }
string far(const char *oto) { return "sub\\..\\sub\\" + repeat(oto, 83); }

// The Japanese line in the console's encoding: Shift-JIS under code page 932, else UTF-8.
// clang-format off
const string usage = "Usage: leadcut [option] <wav_file_in> <wav_file_out> <time-ms>\n" + sys(
    "wav_file_in\x82\xcc\x90\xe6\x93\xaa\x82\xa9\x82\xe7time-ms\x83\x7e\x83\x8a\x95\x62\x8d\xed"
    "\x8f\x9c\x82\xb5\x82\xbd\x82\xe0\x82\xcc\x82\xf0wav_file_out\x82\xc9\x8f\x6f\x97\xcd\x82\xb5"
    "\x82\xdc\x82\xb7\n\n",
    "wav_file_inの先頭からtime-msミリ秒削除したものをwav_file_outに出力します\n\n");
// The row's input and its cuts: 600,000 bytes of audio, and 3 MiB for the copy's ways.
const string d = pattern(600000), in = wav(2, 44100, 16, d), h = header(600000, 2, 44100, 16),
    cut0 = h + d, rep = report(2, 44100, 16, 600000), fmt_rep = report(2, 44100, 16, -1),
    e100(100, 'e'), fmt = fmt_chunk(2, 44100, 16), d8 = pattern(20001), d3 = pattern(3 << 20),
    a260(260, 'a'), a230(230, 'a'), a800(800, 'a'), e251 = string(251, 'e') + ".wav",
    e120 = repeat("é", 120), A230(230, 'A'), a252(252, 'a'), junk = riff(fmt + "JUNK"),
    rep3 = report(2, 44100, 16, 3 << 20),
    huge = riff(fmt + chunk("data", d.substr(0, 1000), ~0u)), h3 = header(3 << 20, 2, 44100, 16),
    huge_rep = fmt_rep + "  <data> (-1 bytes)\n";
// clang-format on
// Long recordings, of 2^31 bytes and more, as sparse files.
constexpr std::uintmax_t g2 = 1u << 31, g3 = 3u << 30, riff_max = (1ull << 32) + 7;
// The report of in.wav under another name; the report and the closing line of a cut.
string as(const string &name) { return name + rep.substr(6); }
string said(const string &out, const string &ms, const string &r = rep) {
	return r + r.substr(0, r.find(" :")) + " -> " + out + " (" + ms + "ms)\n";
}

// A row: its name, its words as a shell reads them, then the input, what is printed and the
// status, the bytes of the file `name` afterwards ("" for none) and its permissions (-1: not
// looked at); the file-size limit in blocks of 512 bytes, bytes put at offsets of in.wav, the
// view it runs in (as root, natively), a shell command run before the program in its folder (one
// that exports LEADCUT_ runs the tests' build of the program) and one after, which prints on
// standard error; whether it needs POSIX's files and names; whether it runs again under faults.
// clang-format off
struct fields {
	string input = in, err = ""; int status = 0; string out = "", name = "out.wav";
	int mode = -1, blocks = 1 << 17; std::vector<std::pair<std::uintmax_t, string>> more = {};
	char view = 0; string hook = "", after = ""; bool posix = false, faults = false;
};
struct row { string id, words; fields f; };
// What a run left: its status, the output's mode, whether the input is whole, what it printed on
// each stream, the output and the new files it left.
struct result {
	int status = 0, mode = 0; bool kept = false; string err{}, out{}, file{}, left{};
};

// The last C1 control, a sequence cut short, DEL, an overlong form, a surrogate, a code point past
// U+10FFFF, two more overlong ones, a lead byte before no continuation, a lead byte no character
// has; then well-formed ones: the last of two bytes, the first past the C1 controls, one of four
// bytes and one whose last byte is 0xBF.
const string bad = "\xc2\x9f\xe3\x81\x7f\xe0\x9f\xbf\xed\xa0\x80\xf4\x90\x80\x80\xf0\x8f\xbf\xbf"
    "\xc1\xbf\xc3\xc0\xf5\x80\x80\x80\xdf\xbf\xc2\xa0😀‿";
// Views of the run's folder, made in it, and the tools each needs: V through FUSE's bindfs, S
// through sshfs to an SFTP server of the run's own on a pipe, X an exFAT image through FUSE on a
// loop device (copied to x at the end).
const string no = "cannot overwrite input file : ", alias = "export LEADCUT_ALIAS=",
    acl = "chmod 640 e.wav && chown nobody:nogroup e.wav && setfacl -m u:nobody:rw e.wav",
    sftp = "/usr/lib/openssh/sftp-server";
const string swap = "mkdir -m 700 s w && echo private >s/out.wav && export LEADCUT_AT='",
    group_file = "mkdir w && cp e.wav w && chown nobody w && chgrp nogroup w/e.wav && chmod 664 "
    "w/e.wav";
const string as_nobody = "chmod 777 . sub && mkdir -m 777 p && cp $B $F . && U=$(mktemp -d "
    "/tmp/leadcut.XXXX) && chmod 755 $U && mount --bind . $U && cd $U && trap \"cd / && cp $U/p/* "
    "${LLVM_PROFILE_FILE%/*} 2>/dev/null; umount -l $U; rmdir $U\" 0 && B=$U/leadcut F=$U/leadcut_faults"
    " R='runuser -u nobody --' LLVM_PROFILE_FILE=${LLVM_PROFILE_FILE:+$U/p/%p.profraw}";
const std::map<char, std::pair<string, string>> views = {{0, {}},
    {'V', {"bindfs", "mkdir V && bindfs --ctime-from-mtime . V && trap 'fusermount -u V' 0"}},
    {'R', {"bindfs", "mkdir R && bindfs -o ro . R && trap 'fusermount -u R' 0"}},
    // The program run as another user in a view of the folder it can reach; one needs the
    // protected links (a row may run as root again: R=).
    {'U', {"runuser", as_nobody}}, {'P', {"runuser fs/protected_symlinks=1", as_nobody}},
    // A card full but for its input, whose folder's time is old; a file mounted on e.wav.
    {'C', {"", "mkdir C && mount -t tmpfs -o size=1m tmpfs C && trap 'umount C' 0 && cp in.wav C "
     "&& { cat /dev/zero >C/z 2>/dev/null; touch -d @1 C; }"}},
    {'M', {"", "cp e.wav b && mount --bind b e.wav && trap 'umount e.wav' 0"}},
    // The input on a tmpfs, the output on another (equal inode numbers; under Wine no volume
    // number); the input in a read-only folder; another's output on a disk with room for one cut.
    {'T', {"", "mkdir A B && mount -t tmpfs tmpfs A && mount -t tmpfs tmpfs B && trap 'umount A B' 0"
     " && cp in.wav A && cp e.wav B"}},
    {'B', {"", "mkdir B && cp in.wav sub && mount --bind sub B && mount -o remount,ro,bind B && "
     "trap 'umount B' 0"}},
    {'F', {"", "mkdir F && mount -t tmpfs -o size=5m tmpfs F && trap 'umount F' 0 && cp e.wav F &&"
     " chown nobody F/e.wav && chmod 666 F/e.wav"}},
    {'A', {"setfacl setfattr", ""}}, // an ACL and an attribute given, the folder as it is
    // The program run where /proc shows nothing, as in a chroot or a small container.
    {'N', {"unshare", "printf '#!/bin/sh\\nmount -t tmpfs none /proc && exec \"$@\"\\n' >np && "
     "chmod +x np && R='unshare -m ./np'"}},
    // A folder g holding a long name and e, a FUSE view of it: under Wine, the drives G: and E:.
    {'W', {"bindfs", "mkdir g e && cp in.wav g/recording-session.wav && bindfs g e && D=$WINEPREFIX"
     "/dosdevices && trap 'fusermount -u e; rm -f $D/g: $D/e:' 0 && { [ -z \"$WINEPREFIX\" ] || "
     "{ ln -s $PWD/g $D/g: && ln -s $PWD/e $D/e:; }; }"}},
    {'S', {"sshfs " + sftp, "mkdir S && sshfs -o ssh_command='sh -c " + sftp + "' x:\"$PWD\" S && "
     "trap 'fusermount -u S' 0"}},
    {'X', {"mkfs.exfat mount.exfat-fuse losetup", "truncate -s 9M x.img && mkfs.exfat x.img "
     ">/dev/null && mkdir X && D=$(losetup -f --show x.img) && trap 'cp -r X x; umount "
     "X; losetup -d $D' 0 && mount.exfat-fuse $D X"}}};

// The output a link to the device 1,`minor`: a node of the run's own where it may be made and
// opened, so that a fault that took it for a file could replace no device of the system's.
string device(const string &minor, const string &name) {
	return "{ { mknod d c 1 " + minor + " && true >d; } 2>/dev/null || ln -sf /dev/" + name +
	       " d; } && ln -s d out.wav";
}
// A run that ends with status 1 after printing `err`; one that refuses the output `out` after
// the report `r`.
fields fails(const string &err, fields f = {}) { return f.err = err, f.status = 1, f; }
fields refused(const string &r, const string &out, const fields &f = {}) {
	return fails(r + no + out + "\n", f);
}
// A cut at 0 ms, said as one to `out`: the input's audio whole in the file `name`.
fields whole(const string &out, fields f) { return f.err = said(out, "0"), f.out = cut0, f; }

const row rows[] = {
    {"options_end", "-c -l -- in.wav", {.input = in + "xyz", .err = rep, .faults = true}},
    {"no_operand", "", fails(usage)},
    {"cut_without_time", "-c x", fails(usage)},
    // Only "--" ends the options: any other word that starts with it is letters, all illegal.
    {"long_option", "--dry-run in.wav out 0", fails("leadcut : illegal option -- -\n" + usage)},
    // No byte a terminal obeys reaches it from a name or a time: controls and bytes outside
    // UTF-8 show as '?' (under Wine the code page's conversion gives the same), and so do the
    // marks that would reorder or break its line, the bidirectional controls and U+2028-9; their
    // neighbours and a joiner print as they are (under Wine as '?': code page 932 lacks them).
    {"name_controls", "'\x1b]0;t\a\xff~ \u200D\u200E\u200F\u2027\u2028\u2029\u202A\u202B\u202C"
     "\u202D\u202E\u061C\u202F\u2065\u2066\u2067\u2068\u2069\u206A'", fails("cannot open file : "
     "?]0;t??~ " + sys(string(19, '?'), "\u200D??\u2027????????\u202F\u2065????\u206A") + "\n")},
    {"time_controls", "in.wav out '\x1b[2J\x1f'", fails("invalid time : ?[2J?\n")},
    {"name_not_utf8", "in.wav '" + bad + ".x' 0", whole(string(26, '?') + "\xdf\xbf\xc2\xa0😀‿.wav",
     {.name = bad + ".wav", .posix = true})},
    {"name_too_long", a260, fails("file name too long : " + a260 + "\n")},
    {"output_too_long", "in.wav " + a800 + " 0", fails("file name too long : " + a800 + "\n")},
    // A name too long for its folder (Wine's, which would cut it short, in UTF-8); names alike but
    // for case, however long, are two files. A character outside the BMP is one '?' where shown so.
    {"name_256", "in.wav " + a252 + " 0", fails(rep + "file name too long : " + a252 + ".wav\n")},
    {"name_emoji", "in.wav " + repeat("😀", 63) + " 0", fails(rep + "file name too long : " +
     sys(string(63, '?'), repeat("😀", 63)) + ".wav\n")},
    // A name Windows cannot take is none: a character it refuses, a device (COM1, NUL), a lone
    // surrogate (never another name, U+FFFD's).
    {"name_whole", sys("in.wav '" + whole_name(dir.string()) + "\\out' 0", "in.wav out 0"), whole(
     sys(whole_name(dir.string()) + "\\", "") + "out.wav", {})},
    {"name_char", "in.wav 'a<b' 0", on_windows ? fails(rep + "cannot open file : a<b.wav\n") :
     whole("a<b.wav", {.name = "a<b.wav"})},
    {"name_com1", "in.wav COM1 0", on_windows ? fails(rep + "cannot open file : COM1.wav\n") :
     whole("COM1.wav", {.name = "COM1.wav"})},
    {"name_nul", "in.wav 'nul ' 0", on_windows ? fails(rep + "cannot open file : nul .wav\n") :
     whole("nul .wav", {.name = "nul .wav"})},
    {"name_surrogate", "in.wav 'sur\uFFFDa' 0", on_windows ? fails(rep + "cannot open file : "
     "sur???a.wav\n", {.out = "e", .name = "sur\uFFFDa.wav", .hook = "printf e >'sur\uFFFDa.wav' "
     "&& export SURROGATE=1"}) : whole("sur\uFFFDa.wav", {.name = "sur\uFFFDa.wav"})},
    {"name_cut_short", "in.wav " + repeat("ア", 86) + "_take1 0", fails(sys(rep + "file name too "
     "long : " + repeat("\x83\x41", 86) + "_take1.wav\n", "file name too long : " +
     repeat("ア", 86) + "_take1\n"))},
    {"astral_name", "in.wav 😀 0", whole(sys("?", "😀") + ".wav", {.name = "😀.wav"})},
    {"long_case", A230 + ".wav " + a230 + " 0", {.err = said(a230 + ".wav", "0", as(A230 + ".wav")),
     .out = cut0, .name = a230 + ".wav", .hook = "cp in.wav " + A230 + ".wav", .posix = true}},
    // A name too long to be put after the new file's own is written beside it all the same.
    {"output_long", "in.wav " + e120 + " 0", whole(sys(string(120, '?'), e120) + ".wav", {.name =
     e120 + ".wav"})},
    // Only the folder can tell whether a long name is the input: another one is written.
    {"other_long", "\x01.wav \x01" + e120 + " 0", {.err = said("?" + e120 + ".wav", "0", as("?.wa"
     "v")), .out = cut0, .name = "\x01" + e120 + ".wav", .hook = "ln in.wav \"$(printf "
     "'\\1.wav')\"", .posix = true}},
    // A short identifier ends the walk cleanly; any other short field is a read error.
    {"short_field", "in.wav", fails(fmt_rep.substr(0, 112) + "read error : 30\n", {.input =
     in.substr(0, 30)})},
    {"not_riff", "in.wav", fails("in.wav :\nNot a 'RIFF' format\n", {.input = "RIFX" +
     in.substr(4)})},
    // A folder opens but cannot be read (Windows cannot open one), and a cut creates no output.
    {"folder_input", "sub out 0", fails(sys("cannot open file : sub\n", "sub :\nread error : "
     "0\n"))},
    {"format_tag", "in.wav", fails(report(2, 44100, 16, -1, 65534) + "\nThis program supported "
     "\"PCM format\" wav file\nin.wav : format tag = -2\n", {.input = riff(fmt_chunk(2, 44100, 16,
     65534))})},
    {"bits_24", "in.wav", fails(report(2, 44100, 24, -1) + "\nThis program supported 16bit or 8bit "
     "wav file\nin.wav : bits/sample = 24\n", {.input = riff(fmt_chunk(2, 44100, 24))})},
    // A zero after an odd body is skipped, any other byte starts the next chunk. No byte a
    // terminal obeys reaches it from an identifier, which ends at its first zero; a size past
    // the file ends the walk. A new output's mode is the umask's.
    {"pad_byte", "in.wav out 0", {.input = riff(chunk("\x1b[2J", "") + chunk("\r\n\x7f\xff", "") +
     fmt + chunk("LIST", "abc") + '\0' + chunk("JUNK", "xyz") + chunk("data", "wxyz") +
     chunk(string("~\0\x1b\0", 4), "", ~7u)), .err = said("out.wav", "0", "in.wav :\n  <?[2J> (0 "
     "bytes)\n  <\?\?\?\?> (0 bytes)\n" + fmt_rep.substr(9) + "  <LIST> (3 bytes)\n  <JUNK> (3 "
     "bytes)\n  <data> (4 bytes)\n  <~> (-8 bytes)\n"), .out = header(4, 2, 44100, 16) + "wxyz",
     .mode = on_windows ? -1 : 0664, .hook = "umask 002"}},
    // An existing output is replaced, keeping its mode (under Wine, whose access lists cannot be
    // set as they were, one the new file has not as made is refused); a symbolic link's target
    // is, even one as long as the system allows.
    {"replaced", "in.wav e 0", {.input = wav(1, 0, 8, "a") + '\0', .err = sys(report(1, 0, 8, 1) +
     "cannot replace file : e.wav\n", said("e.wav", "0", report(1, 0, 8, 1))), .status =
     on_windows, .out = sys(e100, header(1, 1, 0, 8) + "a"), .name = "e.wav", .mode = 0640, .hook =
     "chmod 640 e.wav", .faults = true}},
    {"link_output", "in.wav sub/l 0", whole("sub/l.wav", {.name = "e.wav", .hook = "ln -s ../e.wav "
     "sub/l.wav", .faults = true})},
    {"link_longest", "in.wav out 0", whole("out.wav", {.name = e251, .hook = "touch " + e251 +
     " && ln -s " + repeat("./", 1920) + e251 + " out.wav", .posix = true})},
    // Links lead where the system's own open leads: through 40 of them, to a pipe, never through
    // one that another user planted in a sticky folder, nor to a file a dangling one names (Wine,
    // which cannot see such a link, replaces it).
    {"links_40", "i.wav o 0", {.err = said("o.wav", "0", as("i.wav")), .out = cut0, .name = "e.wav",
     .hook = "c() { t=$1; for i in $(seq 39); do ln -s $t $2$i; t=$2$i; done; ln -s $t $2.wav; } "
     "&& c in.wav i && c e.wav o", .posix = true}},
    {"link_to_pipe", "in.wav so 0 | cat >got", whole("so.wav", {.name = "got", .hook = "ln -s "
     "/dev/stdout so.wav", .posix = true})},
    {"protected_link", "in.wav t/out 0", fails(rep + "cannot open file : t/out.wav\n", {.out = e100,
     .name = "e.wav", .view = 'P', .hook = "mkdir -m 1777 t && $R ln -s ../e.wav t/out.wav && R="
     })},
    {"dangling_link", "in.wav out 0", {.err = sys(said("out.wav", "0"), rep + "cannot open file : "
     "out.wav\n"), .status = !on_windows, .name = "none", .hook = "ln -s none out.wav"}},
    // The new file carries the old one's owner, ACL and attributes; where the ACL cannot go, the
    // group's bits are its group entry, not its wider mask. Where the owner and the group cannot go
    // (the runner may write the file of another), the old file takes the cut in place.
    {"acl_xattr", "in.wav e 0", {.err = said("e.wav", "0") + "nobody:nogroup\nuser::rw-\nuser:"
     "nobody:rw-\ngroup::r--\nmask::rw-\nother::---\n\n1", .out = cut0, .name = "e.wav", .view =
     'A', .hook = acl + " && setfattr -n user.take -v 1 e.wav && setfattr -n user.none e.wav", .after
     = "stat -c %U:%G e.wav; getfacl -c e.wav; getfattr --only-values -n user.take e.wav; "
     "getfattr --only-values -n user.none e.wav", .posix = true}},
    {"acl_refused", "in.wav e 0", whole("e.wav", {.name = "e.wav", .mode = 0640, .view = 'A',
     .hook = "chmod 640 e.wav && setfacl -m g:nogroup:rw e.wav && export LEADCUT_LACKS=acl",
     .posix = true})},
    // No one gains: a folder's default ACL, which the old file had not, is not carried; what the
    // system drops from a file written (a capability; a user's own set-user-ID bit) goes.
    {"default_acl", "in.wav e 0", {.err = said("e.wav", "0") + "user::rw-\ngroup::r--\nother::---"
     "\n\n", .out = cut0, .name = "e.wav", .mode = 0640, .view = 'A', .hook = "chmod 640 e.wav && "
     "setfacl -d -m u:nobody:rwx .", .after = "getfacl -c e.wav", .posix = true}},
    {"capability", "in.wav e 0", whole("e.wav", {.name = "e.wav", .view = 'A', .hook = "setfattr -n "
     "security.capability -v 0sAQAAAgAgAAAAAAAAAAAAAAAAAAA= e.wav", .after = "getfattr -dm- e.wav"})},
    {"set_user_id", "in.wav w/e 0", whole("w/e.wav", {.name = "w/e.wav", .mode = 0755, .view = 'U',
     .hook = "mkdir w && cp e.wav w && chown -R nobody:nogroup w && chmod 4755 w/e.wav"})},
    // Another's file, written through its group, keeps its owner, taking the cut in place; a
    // signal then waits for the cut to be whole. Where the disk has room for the cut beside it but
    // not in it too, the old file stays whole.
    // Where the system sets no room aside, zeros past the old end stand for it.
    {"in_place", "in.wav w/e 0", {.err = said("w/e.wav", "0") + "root:nogroup\n", .out = cut0,
     .name = "w/e.wav", .view = 'U', .hook = group_file + " && export LEADCUT_LACKS=allocate "
     "LEADCUT_SIGNAL='" + to_string(SIGRTMIN) + " old'", .after = "stat -c %U:%G w/e.wav"}},
    {"in_place_calls", "in.wav w/e 0", whole("w/e.wav", {.name = "w/e.wav", .view = 'U', .hook =
     group_file, .faults = true})},
    {"in_place_shorter", "in.wav w/e 0", {.input = wav(1, 0, 8, "a"), .err = said("w/e.wav", "0",
     report(1, 0, 8, 1)), .out = wav(1, 0, 8, "a"), .name = "w/e.wav", .view = 'U', .hook =
     group_file}},
    {"in_place_full", "in.wav w/e 0", fails(rep3 + "write error : 0\n100\n0\ne.wav\n", {.input =
     wav(2, 44100, 16, d3), .name = "none", .view = 'U', .hook = "mkdir w && mount -t tmpfs -o "
     "size=5m,mode=777 tmpfs w && cp e.wav w && chmod 666 w/e.wav && export LEADCUT_LACKS="
     "allocate", .after = "wc -c <w/e.wav; tr -d e <w/e.wav | wc -c; ls -A w"})},
    {"read_only", "in.wav e 0", fails(rep + "cannot open file : e.wav\n", {.out = e100, .name =
     "e.wav", .view = 'U', .hook = "chmod 444 e.wav"})},
    // A hidden file stays hidden (Wine keeps a file's attributes as this one); one held open by
    // another program, sharing its deletion, stays whole where Windows will not replace it.
    {"attributes", "in.wav e 0", {.err = said("e.wav", "0") + "0x2", .out = cut0, .name = "e.wav",
     .view = 'A', .hook = "setfattr -n user.DOSATTRIB -v '\"0x2\"' e.wav", .after = "getfattr "
     "--only-values -n user.DOSATTRIB e.wav"}},
    {"held_output", "in.wav e 0", on_windows ? fails(rep + "cannot replace file : e.wav\n", {.out =
     e100, .name = "e.wav", .hook = "export HELD=e.wav"}) : whole("e.wav", {.name = "e.wav"})},
    // Another's file takes the cut in place, where it has room for it all, and is cut to the
    // cut's size first, which a program that maps it refuses (Windows), the old output whole.
    {"in_place_mapped", "in.wav e 0", {.input = wav(1, 0, 8, "a"), .err = sys(report(1, 0, 8, 1) +
     "cannot replace file : e.wav\n", said("e.wav", "0", report(1, 0, 8, 1))), .status =
     on_windows, .out = sys(e100, wav(1, 0, 8, "a")), .name = "e.wav", .hook = "chown nobody e.wav"
     " && chmod 666 e.wav && export MAPPED=e.wav"}},
    {"in_place_room", "in.wav F/e 0", {.input = wav(2, 44100, 16, d3), .err = sys(rep3 + "write "
     "error : 0\n100\n", said("F/e.wav", "0", rep3) + "3145772\n") + "e.wav\n", .status =
     on_windows, .name = "none", .view = 'F', .after = "wc -c <F/e.wav; ls -A F"}},
    {"unlisted_folder", "in.wav w/e 0", whole("w/e.wav", {.name = "w/e.wav", .view = 'U', .hook =
     "mkdir w && cp e.wav w && chown -R nobody:nogroup w && chmod 300 w"})},
    // Nothing is written on the input's side: a full card is cut, and its folder's time stays; so
    // is an input in a read-only folder. Two files of two volumes alike are two.
    {"ro_input_folder", "B/in.wav e 0", {.err = said("e.wav", "0", as("B/in.wav")), .out = cut0,
     .name = "e.wav", .view = 'B'}},
    {"two_volumes", "A/in.wav B/e 0", {.err = said("B/e.wav", "0", as("A/in.wav")) + "0\n",
     .name = "none", .view = 'T', .after = "cmp -s A/in.wav B/e.wav; echo $?"}},
    // The file a link leads to, named as a device, takes the cut: not the device.
    {"device_target", "in.wav out 0", {.err = said("out.wav", "0") + "c", .out = cut0, .name =
     "com1.wav", .hook = "touch com1.wav && ln -s com1.wav out.wav && printf c >c1 && D=$WINEPREFIX"
     "/dosdevices && { [ -z \"$WINEPREFIX\" ] || { L=$(readlink $D/com1); ln -sfn $PWD/c1 $D/com1"
     " && trap \"ln -sfn $L $D/com1\" 0; }; }", .after = "cat c1"}},
    {"full_card", "C/in.wav out 0", {.err = said("out.wav", "0", as("C/in.wav")) + "1\n", .out =
     cut0, .view = 'C', .after = "stat -c %Y C"}},
    // A rename the folder refuses (onto a mount point; another's file in a sticky folder, which is
    // not written in place either) leaves the old output whole, and says so.
    {"refused_rename", "in.wav e 0", fails(rep + "cannot replace file : e.wav\n", {.out = e100,
     .name = "e.wav", .view = 'M'})},
    {"sticky_folder", "in.wav t/e 0", fails(rep + "cannot replace file : t/e.wav\n", {.out = e100,
     .name = "t/e.wav", .view = 'U', .hook = "mkdir -m 1777 t && cp e.wav t && chmod 666 t/e.wav"
     })},
    // The runner's own file there does, in place where its group cannot go.
    {"sticky_own", "in.wav t/e 0", whole("t/e.wav", {.name = "t/e.wav", .view = 'U', .hook = "mkdir"
     " -m 1777 t && cp e.wav t && chown nobody t/e.wav"})},
    // A folder of root's put in the place of the program's own, which the runner cannot look
    // into, is another's: it stays.
    {"swapped_root", "in.wav w/out 0", fails(rep + "cannot open file : w/out.wav\n1\n", {.name =
     "none", .view = 'U', .hook = "mkdir -m 777 w && mkdir -m 700 w/r && export LEADCUT_AT='open "
     "own: cd w && for f in .leadcut-*; do mv $f ../aside && mv r $f; done'", .after = "ls -d "
     "w/.leadcut-* | wc -l; rm -r aside w/.leadcut-*"})},
    // Cuts drop whole frames; their times are plain decimals in range, with a digit. The
    // system copies aligned audio; the rest goes through the block, several times here.
    {"kernel_copy", "-c in.wav out.raw 0 extra", {.input = wav(2, 44100, 16, d3), .err = said("out."
     "wav", "0", rep3), .out = h3 + d3, .faults = true}},
    {"block_copy", "in.wav out 7000", {.input = wav(2, 44100, 16, d3), .err = said("out.wav",
     "-7000", rep3), .out = h3 + shifted(d3, 1234800), .faults = true}},
    {"time_text", "-l in.wav out. ' \t\n\v\f\r+1000ms'", {.input = wav(1, 11025, 8, d8), .err =
     said("out.wav", "-1000", report(1, 11025, 8, 20001)), .out = header(20001, 1, 11025, 8) +
     shifted(d8, 11025)}},
    {"time_negative", "in.wav out -500", fails("invalid time : -500\n")},
    {"time_huge", "in.wav out 18446744073709551617", fails("invalid time : "
     "18446744073709551617\n")},
    // Data the file does not hold is a read error, known before any output is touched.
    {"data_past_end", "in.wav e 0", fails(huge_rep + "read error : 1044\n", {.input = huge, .out =
     e100, .name = "e.wav"})},
    {"time_past_end", "in.wav out 2147483647", fails(huge_rep + "read error : 4294967339\n", {.input
     = huge})},
    {"no_fmt", "in.wav out 0", fails("in.wav :\n  <data> (4 bytes)\nin.wav : no 'fmt ' chunk\n",
     {.input = riff(chunk("data", "abcd"))})},
    {"no_data", "in.wav out 0", fails(fmt_rep + "in.wav : no 'data' chunk\n", {.input =
     riff(fmt)})},
    // No time can be cut without a sample rate (0 ms can, as `replaced` does).
    {"rate_0", "in.wav out 1", fails(report(1, 0, 8, 2) + "in.wav : samples/sec = 0\n", {.input =
     wav(1, 0, 8, "ab")})},
    // An operand that ends in a separator names ".wav" in that folder. A slash separates
    // folders everywhere, a backslash on Windows; for the name, so does a colon. A dot in a
    // folder's name is no extension, nor is one that begins a name.
    {"folder_operand", "in.wav no/ 0", fails(rep + "cannot open file : no/.wav\n")},
    {"colon_dot", "in.wav :.t 0", whole(":.t.wav", {.name = ":.t.wav", .posix = true})},
    {"dot_name", "in.wav sub/../sub/.t 0", whole("sub/../sub/.t.wav", {.name = "sub/.t.wav"})},
    {"backslash", "in.wav 'sub\\x.y' 0", whole("sub\\x.wav", {.name = on_windows ? "sub/x.wav" :
     "sub\\x.wav"})},
    // Names are UTF-8 inside: each leads to its own file, and no character holds a separator.
    {"kanji", "表.wav é¥ソ.raw 500", {.err = said(sys(string(2, '?') + "\x83\\", "é¥ソ") + ".wav",
     "-500", as(sys("\x95\\", "表") + ".wav")), .out = h + shifted(d, 88200), .name = "é¥ソ.wav"}},
    {"far_name", "in.wav '" + far("音") + "' 0", {.err = sys(said(far("\x89\xb9") + ".wav", "0"),
     "file name too long : " + far("音") + "\n"), .status = !on_windows, .out = sys(cut0, ""), .name
     = "sub/" + far("音").substr(11) + ".wav"}},
    // A name in another case is another file but where the folder ignores case (Windows), and
    // where it holds both spellings.
    {"case_both", "other.wav Other 0", {.err = said("Other.wav", "0", as("other.wav")), .out = cut0,
     .name = "Other.wav", .hook = "cp in.wav other.wav && cp e.wav Other.wav"}},
    {"case", "in.wav IN 0", {.err = sys(rep + no + "IN.wav\n", said("IN.wav", "0")), .status =
     on_windows, .out = sys("", cut0), .name = "IN.wav"}},
    // Other programs act on the files as leadcut opens its output: a file renamed over the
    // input's name (in.wav stays the reported file), or the output's name made a link to it.
    {"input_renamed", "é.wav out 0", {.err = said("out.wav", "0", as(sys("?", "é") + ".wav")), .out
     = cut0, .hook = "export LEADCUT_AT='lookup old: mv e.wav é.wav' LEADCUT_DIRTY=1"}},
    {"output_linked", "in.wav e 0", refused(rep, "e.wav", {.out = in, .name = "e.wav", .hook =
     "export LEADCUT_AT='open old: mv link.wav e.wav'"})},
    // Or once its cut is on the way: the name holds another file, which is not replaced.
    {"output_swapped", "in.wav e 0", fails(rep + "cannot open file : e.wav\n", {.out = in, .name =
     "e.wav", .hook = "export LEADCUT_AT='create output: mv link.wav e.wav'"})},
    // A signal the caller ignores stays ignored.
    {"ignored_signal", "in.wav e 0", whole("e.wav", {.name = "e.wav", .hook = "trap '' USR1 && "
     "export LEADCUT_SIGNAL=" + to_string(SIGUSR1)})},
    // Where inode numbers lie, the output is the input when the folder holds both names as one
    // entry; a hard link's name takes the cut and the input keeps its bytes (Windows will not
    // rename onto a name of the file it reads). Equal inode numbers on two devices are two files.
    {"alias_self", "in.wav in 0", refused(rep, "in.wav", {.hook = alias + "1"})},
    {"alias_link", "in.wav link 0", on_windows ? fails(rep + "cannot replace file : link.wav\n",
     {.out = in, .name = "link.wav", .hook = alias + "1", .faults = true}) : whole("link.wav",
     {.name = "link.wav", .hook = alias + "1", .faults = true})},
    {"alias_device", "in.wav e 0", whole("e.wav", {.name = "e.wav", .hook = alias + "dev"})},
    // Where indexes tell no file apart, another file with the input's is another file.
    {"alias_none", "in.wav e 0", whole("e.wav", {.name = "e.wav", .hook = alias + "none"})},
    // The output is never standard error's file, but a device may be both; a FIFO or a device
    // takes the whole output, unless it takes no header. With standard output and error
    // closed, the output would take the place of standard error and receive the closing line;
    // Wine's own start-up takes both, so there standard error alone is closed.
    {"closed_streams", "in.wav out 0", {.out = cut0, .hook = sys("exec 2>&-", "exec >&- 2>&-"),
     .faults = true}},
    {"stderr_output", "in.wav out 0", {.status = 1, .out = rep + "cannot overwrite standard error "
     ": out.wav\n", .hook = "exec 2>out.wav", .posix = true}},
    {"null_device", "in.wav out 0", {.name = "d", .hook = device("3", "null") + " && exec 2>d",
     .posix = true}},
    {"full_device", "in.wav out 0", fails(rep + "out.wav : wav header write error\n", {.name = "d",
     .hook = device("7", "full"), .posix = true})},
    // More time than audio: the audio all dropped.
    {"fifo", "in.wav out 9000", {.err = said("out.wav", "-9000"), .out = h + string(600000, 0),
     .name = "got", .hook = "mkfifo out.wav && { timeout 15 cat out.wav >got & }", .posix = true}},
    // A FIFO that becomes a link to the input as it is opened is judged as what was opened.
    {"fifo_swapped", "in.wav out 0", refused(rep, "out.wav", {.out = in, .hook = "mkfifo out.wav && export "
     "LEADCUT_AT='open old: rm out.wav && ln in.wav out.wav'", .posix = true})},
    // A reader that leaves, a report that cannot be printed: status 1, not a signal.
    {"fifo_reader_leaves", "in.wav out 0", fails(rep + "write error : #\n", {.name = "none", .hook =
     "mkfifo out.wav && { timeout 15 head -c 9 out.wav >/dev/null & }", .posix = true})},
    {"stderr_full", "in.wav out 0", {.status = 1, .out = cut0, .hook = "exec 2>/dev/full", .posix =
     true}},
    // A late failure (a file-size limit, SIGINT in the copy) leaves an existing output as it
    // was.
    {"size_limit", "in.wav e 500", fails(rep + "write error : 550400\n", {.out = e100, .name =
     "e.wav", .blocks = 1075})},
    // A size of 2^31 is negative in a file under 2^31 bytes; in a longer one it is the size RIFF
    // means, and the walk goes on to the end of the file.
    {"size_2g_short", "in.wav", {.input = junk + le(g2, 4), .err = fmt_rep + "  <JUNK> "
     "(-2147483648 bytes)\n", .more = {{g2 - 2, "."}}}},
    {"size_2g_long", "in.wav", {.input = junk + le(g2, 4), .err = fmt_rep + "  <JUNK> (2147483648 "
     "bytes)\n", .more = {{g2 - 1, "."}}}},
    // A placeholder size, as a writer leaves it that cannot seek back, in a long recording.
    {"placeholder", "in.wav out 0", fails(report(2, 44100, 16, ~0u) + "read error : 3221225472\n",
     {.input = header(~0u, 2, 44100, 16), .more = {{g3 - 1, "."}}})},
    // The longest file RIFF can hold, 4 GiB + 7 bytes, is read as a long recording; one a byte
    // longer is refused. The fault library shows in.wav that long.
    {"riff_limit", "in.wav", {.err = rep, .hook = "export LEADCUT_SIZE=4294967303"}},
    {"too_large", "in.wav", fails("file too large : in.wav\n", {.hook = "export "
     "LEADCUT_SIZE=4294967304"})},
    // An input shorter than the system says (cut short meanwhile) is found short by the copy,
    // though errno be left EINTR; one whose size shows as 0 (as on some views) holds no audio.
    {"short_input", "in.wav out 0", fails(fmt_rep + "  <data> (20000 bytes)\nread error : 10044\n",
     {.input = riff(fmt + chunk("data", d.substr(0, 10000), 20000)), .hook = "export "
     "LEADCUT_SIZE=99999 LEADCUT_DIRTY=1"})},
    {"zero_size", "in.wav out 0", fails(rep + "read error : 44\n", {.hook = "export "
     "LEADCUT_SIZE=0"})},
    // One file under every view: FUSE gives it other inode numbers and times.
    {"bindfs_output", "in.wav V/in 500", refused(rep, "V/in.wav", {.view = 'V'})},
    {"sshfs_output", "in.wav S/in 500", refused(rep, "S/in.wav", {.view = 'S'})},
    {"sshfs_input", "S/in.wav in 500", refused(as("S/in.wav"), "in.wav", {.view = 'S'})},
    {"sshfs_other", "in.wav S/e 0", whole("S/e.wav", {.name = "e.wav", .view = 'S'})},
    // A name looked at once, then other bytes of the same length written over the file.
    {"exfat_stale", "X/take.wav X/TAKE 500", refused(as("X/take.wav"), "X/TAKE.wav", {.out =
     string(in).replace(99, 2, "zz"), .name = "x/take.wav", .view = 'X', .hook = "cp in.wav "
     "X/take.wav && $B -l X/TAKE.wav 2>/dev/null && printf zz | dd of=X/take.wav bs=1 seek=99 "
     "conv=notrunc 2>/dev/null"})},
    // Through a read-only view of its own folder the input is refused; through one of another
    // folder it cannot be told from an existing output, but a new output is written.
    {"bindfs_ro_input", "R/in.wav in 500", refused(as("R/in.wav"), "in.wav", {.view = 'R'})},
    // Through a view of its folder on another mount (under Wine, drive, by its short name).
    {"short_name", sys("'G:\\recording-session.wav' 'E:\\RECO~ZNX'", "g/recording-session.wav e/"
     "recording-session") + " 500", refused(as(sys("G:\\", "g/") + "recording-session.wav"),
     sys("E:\\RECO~ZNX", "e/recording-session") + ".wav", {.out = in, .name =
     "g/recording-session.wav", .view = 'W'})},
    {"ro_view_other", "R/sub/in.wav e 0", fails(as("R/sub/in.wav") + "cannot tell input from "
     "output : e.wav\n", {.out = e100, .name = "e.wav", .view = 'R', .hook = "cp in.wav sub"})},
    {"ro_view_new", "R/sub/in.wav new 0", {.err = said("new.wav", "0", as("R/sub/in.wav")), .out =
     cut0, .name = "new.wav", .view = 'R', .hook = "cp in.wav sub"}},
    // Without /proc, a new output and an existing one are cut; a link, whose target only the
    // system could name, is refused.
    {"no_proc_new", "in.wav out 0", whole("out.wav", {.view = 'N'})},
    {"no_proc_old", "in.wav e 0", whole("e.wav", {.name = "e.wav", .view = 'N'})},
    {"no_proc_link", "in.wav sub/l 0", fails(rep + "cannot open file : sub/l.wav\n", {.out = e100,
     .name = "e.wav", .view = 'N', .hook = "ln -s ../e.wav sub/l.wav"})},
    // Names too long to be put after the new file's own are compared as the folder does, by case:
    // ASCII's and Latin-1's.
    {"exfat_long_case", "X/" + a230 + "ZÞ.wav X/" + a230 + "zþ 0", refused(as("X/" + a230 +
     "ZÞ.wav"), "X/" + a230 + "zþ.wav", {.view = 'X', .hook = "cp in.wav X/" + a230 + "ZÞ.wav"})},
    // Two takes of the same size, first page and second are two files.
    {"exfat_alike", "X/TRACK1.WAV X/TRACK2 5", {.err = said("X/TRACK2.wav", "-5", as("X/TRACK1.WA"
     "V")), .out = h + shifted(d, 880), .name = "x/TRACK2.WAV", .view = 'X', .hook = "cp in.wav "
     "X/TRACK2.WAV && cp in.wav X/TRACK1.WAV && touch -r X/TRACK1.WAV X/TRACK2.WAV"}},
};
// clang-format on

// Where each run starts: its streams to files and, as from a shell, no other descriptor below 10
// (ctest leaves its log open); the input's other names, e.wav, the sanitizers' statuses, and $B
// the program.
const string prelude =
    "exec 3>&- 4>&- 5>&- 6>&- 7>&- 8>&- 9>&- >.out 2>.err && for n in link 表 é; do ln in.wav "
    "$n.wav; done && "
    "printf %100s '' | tr ' ' e >e.wav && export ASAN_OPTIONS=exitcode=86:detect_leaks=0 "
    "UBSAN_OPTIONS=exitcode=87:halt_on_error=1 B=" LEADCUT_BINARY " F=" LEADCUT_FAULTS " && ulimit "
    "-c 0";

// Runs the program as "leadcut" in a fresh folder that holds the row's input as in.wav (also
// linked as link.wav, 表.wav and é.wav) beside an e.wav of 100 'e's and a folder sub, under its
// file-size limit (Wine, which cannot ignore the signal, with SIGXFSZ ignored), after its hook and
// `env`, as the tests' build where either exports a LEADCUT_ variable (faults.cpp), and its output
// copied to .was before. Status 124 after 15 seconds (15 minutes for gigabytes), 128 + N after
// signal N. A hook that mounts or starts a server ends it at the exit; $B is the program.
result run(const row &c, const string &env = "") {
	fs::remove_all(dir);
	fs::create_directories(dir / "sub");
	auto pieces = c.f.more;
	pieces.emplace(pieces.begin(), 0, c.f.input);
	std::ofstream file(dir / "in.wav", std::ios::binary);
	for (const auto &[at, bytes] : pieces) file.seekp(std::streamoff(at)) << bytes;
	const auto length = std::uintmax_t(file.seekp(0, std::ios::end).tellp());
	file.close();
	const string &n = c.f.name;
	string line = "cd '" + dir.string() + "' && " + prelude + " && ulimit -f " +
		      to_string(c.f.blocks) + (on_windows ? " && trap '' XFSZ" : "");
	for (const string &s : {views.at(c.f.view).second, c.f.hook, env})
		line += s.empty() ? "" : " && " + s;
	const bool faulty = (c.f.hook + env).find("LEADCUT_") != string::npos;
	line += " && { [ ! -f '" + n + "' ] || cp '" + n +
		"' .was; } && export LEADCUT_PROGRAM=leadcut" + (faulty ? "_faults" : "") +
		" && timeout " + (c.f.blocks > 1 << 17 ? "900 " : "15 ") +
		(test_command ? test_command
			      : "$R bash -c 'exec -a leadcut \"$0\" \"$@\"' " +
				    string(faulty ? "$F" : "$B"));
	line += " " + c.words + "; s=$?; { :; " + c.f.after + "\n} >&2";
	// The wait is for what the hook started, a FIFO's reader.
	line += "; wait; exit $s";
	// Where LEADCUT_SHELLCHECK is set, each row's shell is first checked as sh reads it, for
	// warnings: a trap's command is meant to expand as it is set.
	if (std::getenv("LEADCUT_SHELLCHECK") && env.empty()) {
		std::ofstream(dir / ".sh") << line << "\n";
		EXPECT_EQ(std::system(("shellcheck -s dash -S warning -e SC2064 -f gcc " +
				       (dir / ".sh").string())
					  .c_str()),
			  0)
		    << c.id << ": shellcheck";
	}
	result r{.status = WEXITSTATUS(std::system(line.c_str()))};
	r.kept = fs::file_size(dir / "in.wav") == length;
	for (const auto &[at, b] : pieces) r.kept &= part(dir / "in.wav", at, b.size()) == b;
	r.err = get(dir / ".err"), r.out = get(dir / ".out"), r.file = get(dir / n);
	// The emulator's word on a signal that dumps core is not the program's.
	if (const auto q = r.err.find("qemu: uncaught"); q != string::npos)
		r.err.erase(q, r.err.find('\n', q) + 1 - q);
	r.mode = int(fs::status(dir / n).permissions() & fs::perms::mask);
	for (const auto &f : fs::recursive_directory_iterator(dir))
		if (f.path().filename().string().starts_with(".leadcut-"))
			r.left += " " + f.path().string();
	return r;
}

// What differs between the bytes wanted and those got, "" if nothing: their sizes and the first
// byte that differs, and both when short. In a text, '#' in `want` stands for a number.
string differ(const string &what, const string &want, const string &got, bool text = false) {
	std::size_t i = 0, j = 0;
	for (; i < want.size() && j < got.size(); ++i, ++j)
		if (text && want[i] == '#' && std::isdigit(got[j]))
			while (j + 1 < got.size() && std::isdigit(got[j + 1])) ++j;
		else if (text && want[i] == '*')
			while (j + 1 < got.size() && got[j + 1] != '\n') ++j;
		else if (want[i] != got[j])
			break;
	if (i == want.size() && j == got.size()) return "";
	string s = what + ": " + to_string(got.size()) + " bytes, not " + to_string(want.size()) +
		   ", first differing at byte " + to_string(j) + "\n";
	if (want.size() + got.size() < 3000)
		s += "  want " + testing::PrintToString(want) + "\n  got  " +
		     testing::PrintToString(got) + "\n";
	return s;
}

// Fails the test with all that a run did and the row did not say, after `what`.
void check(const string &what, const row &c, const result &r, const string &err, int status,
	   const string &out) {
	string s = differ("standard error", err, r.err, true) +
		   differ("standard output", "", r.out) + differ(c.f.name, out, r.file);
	if (r.status != status)
		s += "status " + to_string(r.status) + ", not " + to_string(status) + "\n";
	if (!r.kept) s += "in.wav changed\n";
	if (!r.left.empty()) s += "left behind:" + r.left + "\n";
	if (c.f.mode >= 0 && r.mode != c.f.mode) s += "mode " + to_string(r.mode) + "\n";
	if (!s.empty()) ADD_FAILURE() << what << s;
}

// Calls whose failure cannot change the result, the row's own outcome standing: the closes of what
// was only read or acted in, the system's copy (the copy through the block takes over), and the
// name of the input (the one it was opened by stands).
const std::set<string> ok = {"close old", "close folder", "close own", "copy output", "name input"};

// The message that a run must end with when `call` failed, naming the output as the closing line
// does (else as the row); "" for a print, whose failure makes the status 1 of a run that did its
// work.
string message(const row &c, const string &kind, const string &file) {
	const auto to = c.f.err.rfind(" -> ") + 4;
	const string out = to < 4 ? c.f.name : c.f.err.substr(to, c.f.err.rfind(" (") - to),
		     cannot = "cannot open file : ";
	// The lookups of what the run made, once the cut is in place, are part of their removal; a
	// failure once the old file was being written in place leaves the cut beside it.
	const bool removal = kind == "remove" ||
			     (kind == "lookup" && (file == "own" || file == "output")),
		   torn =
		       (file == "old" && (kind == "write" || kind == "size" || kind == "sync")) ||
		       (file == "own" && kind == "read");
	return kind == "identity" ? cannot + out + "\n"
	       : file == "input"  ? (kind == "open" ? cannot + "in.wav\n" : "read error : #\n")
	       : kind == "header" ? out + " : wav header write error\n"
	       : kind == "rename" || kind == "reopen" ? "cannot replace file : " + out + "\n"
	       : removal                              ? "cannot remove folder : *\n"
	       : torn                                 ? "the whole cut is in : *\n"
	       : kind == "allocate" || (kind == "seek" && file != "output") ? "write error : 0\n"
	       : kind == "print"                                            ? ""
	       : file == "output" && (kind == "write" || kind == "close" || kind == "sync")
		   ? "write error : #\n"
		   : cannot + out + "\n";
}

// The row's run; then, for a row that says so, each of its calls failing in turn, the 1st, the
// 2nd, ... until a run meets no fault. Each such run must end as its call's failure says: status
// 1, its message last (unless standard error is closed), the input whole and an existing output
// as it was, none new and nothing left behind. The runs of a row must meet every kind of call its
// work makes.
class Run : public testing::TestWithParam<row> {};
TEST_P(Run, Row) {
	struct ends {
		~ends() { fs::remove_all(dir); }
	} const ended; // passed, failed or skipped
	row c = GetParam();
	if (c.f.posix && on_windows) GTEST_SKIP() << "Windows has no FIFOs, and other names";
#ifdef __SANITIZE_ADDRESS__
	if (c.f.view == 'N') GTEST_SKIP() << "the sanitizers' runtime reads /proc";
#endif
	if (c.id.starts_with("sigrt") && test_command)
		GTEST_SKIP() << "the emulator gives real-time signals other numbers, or none";
	if (on_windows && (c.f.hook.find("LEADCUT_AT") != string::npos ||
			   c.f.hook.find("LEADCUT_SIGNAL") != string::npos))
		GTEST_SKIP() << "a POSIX shell's command or signal";
	// The views and devices are made by root, and only the program here can be looked at in
	// them.
	if (!views.at(c.f.view).second.empty() &&
	    (test_command ? !on_windows || wine_views.find(c.f.view) == string::npos
			  : ::getuid() != 0))
		GTEST_SKIP() << "needs root";
	std::istringstream tools(views.at(c.f.view).first);
	for (string t, v; tools >> t;)
		if (t.find('=') != string::npos
			? !(std::ifstream("/proc/sys/" + t.substr(0, t.find('='))) >> v) ||
			      v != t.substr(t.find('=') + 1)
			: std::system(("command -v " + t + " >/dev/null").c_str()))
			GTEST_SKIP() << "needs " << t;
	check("", c, run(c), c.f.err, c.f.status, c.f.out);
	if (!c.f.faults) return;
	c.f.mode = -1; // which a failed call may leave as it was made
	std::set<string> met, kinds = {"open input", "read input", "seek input", "print stderr"};
	if (c.f.status == 0 && !c.f.out.empty())
		kinds.insert({"open folder", "make own", "open own", "create output",
			      "header output", "write output", "remove own"});
	// Audio that lies alike in both files, pages of it, goes through the system's copy.
	if (c.f.err.ends_with("(0ms)\n") && c.f.out.size() > 1 << 16) kinds.insert("copy output");
	for (int n = 1;; ++n) {
		result r = run(c, "export LEADCUT_FAULT=" + to_string(n));
		string call, file; // the kind of call, then its file
		if (!(std::ifstream(dir / ".fault") >> call >> file)) break;
		const string m = message(c, call, file);
		met.insert(call += " " + file);
		// Once the old file took part of the cut in place, the whole cut stays beside it.
		const bool torn = m.starts_with("the whole");
		if (torn) {
			r.file = get(fs::path(r.left.substr(1)) / fs::path(c.f.name).filename());
			r.left.clear();
		}
		// A harmless call's run ends as the row's; a print's did its work; any other ends
		// with its message as the last line and the old output as it was.
		const auto last = r.err.rfind('\n', r.err.size() - 2) + 1; // 0 for one line
		// A run whose output took its name but whose folder stayed has done its work too.
		const bool same = ok.contains(call), print = call == "print stderr",
			   done = print || m.starts_with("cannot remove"),
			   mute = c.f.hook.find("2>&-") != string::npos;
		const string err = same            ? c.f.err
				   : print || mute ? r.err
						   : r.err.substr(0, last) + m;
		check("fault run " + to_string(n) + ", the " + call + " failed:\n", c, r, err,
		      same ? c.f.status : 1, same || done || torn ? c.f.out : get(dir / ".was"));
		// A run fails without a word only where a closed stream cannot take the null
		// device.
		EXPECT_TRUE(mute || file != "null")
		    << "fault run " << n << " opened the null device";
	}
	// A cut takes the output's place by a rename, or in place.
	if (c.f.status == 0 && !c.f.out.empty())
		kinds.insert(met.contains("write old")
				 ? std::initializer_list<string>{"reopen old", "allocate old"}
				 : std::initializer_list<string>{"close output", "rename output"});
	for (const string &k : kinds) EXPECT_TRUE(met.contains(k)) << "no run failed the " << k;
}
void PrintTo(const row &c, std::ostream *os) { *os << c.id; }
string name(const testing::TestParamInfo<row> &i) { return i.param.id; }
// Each signal whose default ends the process leaves the output as it was, and ends it so (the
// shell then names it, but for SIGINT).
std::vector<row> all_rows() {
	std::vector<row> all(std::begin(rows), std::end(rows));
	std::vector<std::pair<string, int>> signals;
	for (const int n : {SIGHUP,  SIGINT,    SIGQUIT, SIGILL,  SIGTRAP, SIGABRT, SIGBUS,
			    SIGFPE,  SIGUSR1,   SIGSEGV, SIGUSR2, SIGALRM, SIGTERM, SIGSTKFLT,
			    SIGXCPU, SIGVTALRM, SIGPROF, SIGPOLL, SIGPWR,  SIGSYS}) {
		string id = string("sig") + sigabbrev_np(n);
		for (char &ch : id) ch = char(std::tolower(ch));
		signals.emplace_back(id, n);
	}
	for (int n = SIGRTMIN; n <= SIGRTMAX; ++n) signals.emplace_back("sigrt" + to_string(n), n);
	// Whoever may write the output's folder can make a cut fail, never steer it. What is put in
	// the place of the program's own folder before it is opened (a link to another, s, root's;
	// another's folder; a folder open to others; one holding a file), or as the cut is written
	// (a link to s; a folder holding a file to take the cut's place), is left as it is, and so
	// is s; what the run made where it was put (aside) is all that is made.
	// clang-format off
	for (const auto &[id, put] : {std::pair{"link", "ln -s ../s $f"},
				      {"others", "mkdir $f && chown nobody $f"},
				      {"open", "mkdir -m 755 $f"}, {"full", "mkdir -m 700 $f && touch $f/x"},
				      {"late_link", "ln -s ../s $f"},
				      {"late_folder", "mkdir $f && echo evil >$f/out.wav"}}) {
		const bool late = string(id).starts_with("late");
		all.push_back({string("swapped_") + id, "in.wav w/out 0", fails(rep + (late ? "cannot "
		    "remove folder : w/.leadcut-*\n" : "cannot open file : w/out.wav\n") + "private\n1\n",
		    {.out = late ? cut0 : "", .name = "w/out.wav", .hook = swap + (late ? "write output"
		    : "open own") + ": cd w && for f in .leadcut-*; do mv $f ../aside && " + put +
		    "; done'", .after = "cat s/out.wav; ls -d w/.leadcut-* | wc -l; rm -r aside "
		    "w/.leadcut-*"})});
	}
	// clang-format on
	for (const auto &[id, n] : signals)
		all.push_back({id,
			       "in.wav e 7000",
			       {.input = wav(2, 44100, 16, d3),
				.err = rep3 + (n == SIGINT ? "" : strsignal(n) + string("\n")),
				.status = 128 + n,
				.out = e100,
				.name = "e.wav",
				.hook = "export LEADCUT_SIGNAL=" + to_string(n)}});
	return all;
}
INSTANTIATE_TEST_SUITE_P(Table, Run, testing::ValuesIn(all_rows()), name);

// A cut of the longest recording RIFF can hold, 4 GiB + 7 bytes, a sparse file with marks in
// its audio: it writes 4 GiB, so it runs only when LEADCUT_LONG_TESTS is set, best on tmpfs
// (TMPDIR).
TEST(Long, CutsTheLongestRecording) {
	if (!std::getenv("LEADCUT_LONG_TESTS")) GTEST_SKIP() << "set LEADCUT_LONG_TESTS";
	const string head = header(riff_max - 44, 2, 44100, 16);
	row c{"long", "in.wav out 500", {.input = head, .name = "none", .blocks = 1 << 24}};
	// Marks in its audio, the last one ending the file.
	c.f.more = {{88244, "one"}, {g3, "two"}, {riff_max - 16, "its last 16 byte"}};
	check("", c, run(c), said("out.wav", "-500", report(2, 44100, 16, riff_max - 44)), 0, "");
	const fs::path out = dir / "out.wav";
	ASSERT_EQ(fs::file_size(out), riff_max);
	EXPECT_EQ(part(out, 0, 44), head);
	for (const auto &[at, m] : c.f.more) EXPECT_EQ(part(out, at - 88200, m.size()), m);
	EXPECT_EQ(part(out, riff_max - 88200, 88200), string(88200, '\0'));
	fs::remove_all(dir);
}

// Under Wine, once a gigabyte of the cut is written beside the output: Ctrl-C ends the run with
// the status Windows gives it (its low byte), nothing said after the report, the old output whole
// and nothing left; SIGTERM, which a Windows program cannot hold, leaves the old output whole
// (Wine gives the run no status of its own). Once a gigabyte of it is in another owner's file,
// which takes it in place, Ctrl-C waits for the run to end whole. Ctrl-C in a long report ends it
// with Windows' status, never 0.
// clang-format off
TEST(Long, EndingsUnderWine) {
	if (!on_windows || !std::getenv("LEADCUT_LONG_TESTS")) GTEST_SKIP() << "Wine's, and long";
	const auto poll = [](const string &grown, const string &size, const string &signal) {
		return "{ { for i in $(seq 600); do [ -z \"$(find . -path '" + grown + "' -size " + size +
		       ")\" ] || break; sleep 0.1; done; pkill -" + signal + " -s 0 -x leadcut; } & }"; };
	for (const string signal : {"INT", "TERM", "in place"}) {
		const bool in_place = signal == "in place";
		const row c{"ending", "in.wav e 0", {.input = header(g2, 2, 44100, 16), .name = in_place ?
		    "none" : "e.wav", .blocks = 1 << 24, .more = {{g2 + 43, "."}}, .hook = (in_place ?
		    "chown nobody e.wav && chmod 666 e.wav && " + poll("./e.wav", "+1G", "INT") :
		    poll("./.leadcut-*", "+1G", signal)) + "; true", .after = in_place ? "" : "rm -rf "
		    ".leadcut-*"}};
		const result r = run(c);
		check(signal + ": ", c, r, in_place ? said("e.wav", "0", report(2, 44100, 16, g2)) :
		      report(2, 44100, 16, g2), signal == "TERM" ? r.status : in_place ? 0 : 58,
		      in_place ? "" : e100);
		const fs::path e = dir / "e.wav";
		EXPECT_TRUE(!in_place || (fs::file_size(e) == g2 + 44 && part(e, g2 + 43, 1) == "."));
	}
	string many = fmt;
	for (int i = 0; i < 2000000; ++i) many += chunk("JUNK", "");
	const row c{"report", "in.wav", {.input = riff(many), .hook = poll("./.err", "+1M", "INT")}};
	const result r = run(c);
	EXPECT_EQ(r.status, 58) << r.err.size() << " bytes reported";
	fs::remove_all(dir);
}
// clang-format on

// Replays the inputs the fuzzer kept, as the cut it fuzzes (which reports them first):
// whatever a file holds, the run ends with status 0 or 1, prints nothing on standard output
// and leaves the input as it was.
TEST(Corpus, Replays) {
	for (const auto &e : fs::directory_iterator(LEADCUT_CORPUS)) {
		const result r = run({"corpus", "in.wav o 37", {.input = get(e.path())}});
		EXPECT_TRUE(r.status <= 1 && r.out.empty() && r.kept && r.left.empty())
		    << e.path() << r.err;
	}
	fs::remove_all(dir);
}

// What no run reaches: options that take an argument, and frames of no whole byte.
// clang-format off
struct { std::vector<const char *> argv; const char *opts; string got; } const scans[] = {
    // Each return ('.' for -1), then opt_index, opt_arg and what was printed.
    {{"leadcut", "-"}, "cl", ".1"}, {{"leadcut", "-ofile", "x"}, "o:", "o.2file"},
    {{"leadcut", "-co", "f"}, "o:c", "co.3f"},
    {{"leadcut", "-o"}, "o:", "?.2leadcut : option requires an argument -- o\n"},
};
// clang-format on

TEST(Units, AsTabled) {
	for (const auto &c : scans) {
		auto *const argv = const_cast<char *const *>(c.argv.data());
		reset_option_scanner();
		testing::internal::CaptureStderr();
		string got;
		for (std::int32_t r = 0; r != -1; got += r == -1 ? '.' : char(r))
			r = get_option(int(c.argv.size()), argv, c.opts);
		got += to_string(opt_index) + (opt_arg ? opt_arg : "");
		EXPECT_EQ(got + testing::internal::GetCapturedStderr(), c.got);
	}
	EXPECT_EQ(compute_cut_bytes(1, 8000, 4, 500, 1000), 0u); // a frame of no whole byte
}

} // namespace
