#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "support.h"

namespace {

const std::string fmt16 = chunk("fmt ", fmt_body(1, 2, 44100, 16)),
		  lines16 = fmt_lines(1, 2, 44100, 16);
const std::string good = wav(2, 44100, 16, std::string(1000, '\x11'));
const std::string good_report = report(2, 44100, 16, 1000);
const std::string fmt_report = good_report.substr(0, good_report.find("  <data>"));
const std::string a259(259, 'a'), a260(260, 'a');

std::string rejected(const std::string &fields, const std::string &why, const std::string &value)
{
	return "in.wav :\n  <fmt > (16 bytes)\n" + fields + "\nThis program supported " + why +
	       " wav file\nin.wav : " + value + "\n";
}

// clang-format off
struct { std::vector<std::string> words; std::string input, err; int status; } const cases[] = {
    {{"in.wav"}, good, good_report, 0},
    {{"-l", "in.wav"}, good, good_report, 0},
    {{"-c", "-l", "in.wav"}, good, good_report, 0},
    {{"-lc", "-l", "in.wav"}, good, good_report, 0},
    {{"in.wav", "out"}, good, good_report, 0},
    {{"in.wav", "-c"}, good, good_report, 0},
    {{"--", "in.wav"}, good, good_report, 0},
    {{"--help", "in.wav"}, good, good_report, 0},
    {{}, good, usage_text, 1},
    {{"-c"}, good, usage_text, 1},
    {{"-c", "in.wav", "out"}, good, usage_text, 1},
    {{"-x", "in.wav"}, good, "leadcut : illegal option -- x\n" + usage_text, 1},
    {{"-cx", "in.wav"}, good, "leadcut : illegal option -- x\n" + usage_text, 1},
    {{"none.wav"}, good, "cannot open file : none.wav\n", 1},
    {{"-"}, good, "cannot open file : -\n", 1},
    {{a260}, good, "file name too long : " + a260 + "\n", 1},
    {{a259}, good, "cannot open file : " + a259 + "\n", 1},
    {{"in.wav"}, "", "in.wav :\nread error : 0\n", 1},
    {{"in.wav"}, riff(""), "in.wav :\n", 0},
    {{"in.wav"}, "RIFX" + good.substr(4), "in.wav :\nNot a 'RIFF' format\n", 1},
    {{"in.wav"}, good.substr(0, 8) + "WAVF" + good.substr(12), "in.wav :\nNot a 'WAVE' format\n", 1},
    {{"in.wav"}, riff(chunk("fmt ", fmt_body(1, 2, 44100, 16) + "xy") + chunk("data", "abcd")),
     "in.wav :\n  <fmt > (18 bytes)\n" + lines16 + "  <data> (4 bytes)\n", 0},
    {{"in.wav"}, riff(chunk("fmt ", fmt_body(65534, 2, 44100, 16))),
     rejected(fmt_lines(65534, 2, 44100, 16), "\"PCM format\"", "format tag = -2"), 1},
    {{"in.wav"}, riff(chunk("fmt ", fmt_body(1, 3, 8000, 8))),
     rejected(fmt_lines(1, 3, 8000, 8), "monoral/stereo", "channels = 3"), 1},
    {{"in.wav"}, riff(chunk("fmt ", fmt_body(1, 2, 48000, 24))),
     rejected(fmt_lines(1, 2, 48000, 24), "16bit or 8bit", "bits/sample = 24"), 1},
    {{"in.wav"}, riff(chunk("fmt ", fmt_body(3, 0, 8000, 32))),
     rejected(fmt_lines(3, 0, 8000, 32), "\"PCM format\"", "format tag = 3"), 1},
    // No pad byte is skipped: the next identifier starts at it.
    {{"in.wav"}, riff(fmt16 + chunk("LIST", "abc") + '\0' + chunk("data", "wxyz")),
     fmt_report + "  <LIST> (3 bytes)\n  <> (1121 bytes)\n", 0},
    {{"in.wav"}, riff(chunk(std::string("ab\0\0", 4), "q") + fmt16), "in.wav :\n  <ab> (1 bytes)\n" + fmt_report.substr(9), 0},
    {{"in.wav"}, good + "xyz", good_report, 0},
    {{"in.wav"}, good + chunk("data", "12345"), good_report + "  <data> (5 bytes)\n", 0},
    // Sizes that reach past any position a file can have end the walk.
    {{"in.wav"}, riff(fmt16 + chunk("LIST", 0x80000000u, "") + chunk("data", "ab")), fmt_report + "  <LIST> (-2147483648 bytes)\n", 0},
    {{"in.wav"}, riff(fmt16 + chunk("data", 4294967288u, "abcdefgh")), fmt_report + "  <data> (-8 bytes)\n", 0},
    {{"in.wav"}, riff(chunk("junk", 4294967288u, "") + fmt16), "in.wav :\n  <junk> (-8 bytes)\n", 0},
    {{"in.wav"}, riff(fmt16 + chunk("LIST", 0x7FFFFFFFu, "") + chunk("data", "a")), fmt_report + "  <LIST> (2147483647 bytes)\n", 0},
    {{"in.wav"}, riff(chunk("fmt ", 0xFFFFFFFFu, fmt_body(1, 2, 8000, 12))),
     rejected(fmt_lines(1, 2, 8000, 12), "16bit or 8bit", "bits/sample = 12").replace(19, 2, "-1"), 1},
};
// clang-format on

TEST(Report, PrintsExactlyAsTabled)
{
	for (const auto &c : cases) {
		Scratch s;
		s.write("in.wav", c.input);
		const Outcome r = run_leadcut(s.dir, c.words);
		EXPECT_EQ(r.err, c.err);
		EXPECT_EQ(r.status, c.status) << r.err;
		EXPECT_EQ(r.out, "");
		EXPECT_EQ(s.read("in.wav"), c.input);
	}
}

// A short identifier ends the walk cleanly; any other short field is a
// read error at the end of the file.
TEST(Report, EveryTruncatedPrefix)
{
	const std::string whole = wav(2, 44100, 16, "abcd");
	const std::string complete = fmt_report + "  <data> (4 bytes)\n";
	const std::size_t line_ends[] = {0,  20, 22, 24, 28,
					 32, 34, 36, 44}; // bytes each line needs
	for (std::size_t n = 0; n < whole.size(); ++n) {
		std::string expected;
		for (std::size_t i = 0, at = 0; i < std::size(line_ends); ++i) {
			const std::size_t next = complete.find('\n', at) + 1;
			if (line_ends[i] <= n)
				expected += complete.substr(at, next - at);
			at = next;
		}
		const bool clean = (n >= 12 && n < 16) || (n >= 36 && n < 40) || n >= 44;
		if (!clean)
			expected += "read error : " + std::to_string(n) + "\n";
		Scratch s;
		s.write("in.wav", whole.substr(0, n));
		const Outcome r = run_leadcut(s.dir, {"in.wav"});
		EXPECT_EQ(r.err, expected);
		EXPECT_EQ(r.status, clean ? 0 : 1) << n;
	}
}

TEST(Report, RefusesFilesOfTwoGibibytes)
{
	Scratch s;
	for (const off_t size : {off_t{2147483647}, off_t{2147483648}}) {
		// Sparse; the data chunk reaches the end so the walk reads no hole.
		const std::string head = header(2147483647 - 44, 2, 44100, 16);
		const int fd =
		    ::open((s.dir / "big.wav").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
		ASSERT_EQ(::write(fd, head.data(), 44), 44);
		ASSERT_EQ(::ftruncate(fd, size), 0);
		::close(fd);
		const Outcome r = run_leadcut(s.dir, {"big.wav"});
		EXPECT_EQ(r.err, size < 2147483648 ? report(2, 44100, 16, 2147483603, "big.wav")
						   : "file too large : big.wav\n");
		EXPECT_EQ(r.status, size < 2147483648 ? 0 : 1);
	}
}

} // namespace
