#include <gtest/gtest.h>

#include "support.h"

namespace {

namespace fs = std::filesystem;

// The data without its first n bytes, then n zero bytes.
std::string shifted(const std::string &data, std::size_t n)
{
	return data.substr(n) + std::string(n, '\0');
}

const std::string d = pattern(600000), in16 = wav(2, 44100, 16, d),
		  h16 = header(600000, 2, 44100, 16);
const std::string rep16 = report(2, 44100, 16, d.size());
const std::string d8 = pattern(10001), dm = pattern(30001), a251(251, 'a'), a252(252, 'a');
const std::string odd_fmt = le16(1) + le16(2) + le32(44100) + le32(1) + le16(9) + le16(16) + "xy";
const std::string odd =
    riff(chunk("fmt ", odd_fmt) + chunk("LIST", "abcd") + chunk("data", d) + chunk("junk", ""));
const std::string short_data =
    riff(chunk("fmt ", fmt_body(1, 2, 44100, 16)) + chunk("data", 4294967295u, d.substr(0, 1000)));
const std::string rep_fmt = rep16.substr(0, rep16.find("  <data>")),
		  rep_short = rep_fmt + "  <data> (-1 bytes)\n";
const std::string closing = "in.wav -> out.wav (";

// clang-format off
struct { std::vector<std::string> words; std::string input, err; int status; std::string out_name, out; } const cases[] = {
    {{"in.wav", "out", "500"}, in16, rep16 + closing + "-500ms)\n", 0, "out.wav", h16 + shifted(d, 88200)},
    {{"-c", "in.wav", "out.raw", "0", "extra"}, in16, rep16 + closing + "0ms)\n", 0, "out.wav", h16 + d},
    {{"-l", "in.wav", "out.", "500ms"}, in16, rep16 + closing + "-500ms)\n", 0, "out.wav", h16 + shifted(d, 88200)},
    {{"in.wav", "out", "abc"}, in16, rep16 + closing + "0ms)\n", 0, "out.wav", h16 + d},
    {{"in.wav", "out", " +250"}, in16, rep16 + closing + "-250ms)\n", 0, "out.wav", h16 + shifted(d, 44100)},
    {{"in.wav", "out", "3"}, in16, rep16 + closing + "-3ms)\n", 0, "out.wav", h16 + shifted(d, 528)},
    {{"in.wav", "out", "3044"}, in16, rep16 + closing + "-3044ms)\n", 0, "out.wav", h16 + shifted(d, 536960)},
    {{"in.wav", "out", "4000"}, in16, rep16 + closing + "-4000ms)\n", 0, "out.wav", h16 + shifted(d, 600000)},
    {{"in.wav", "out", "-500"}, in16, "invalid time : -500\n", 1, "", ""},
    {{"in.wav", "out", "2147483648"}, in16, "invalid time : 2147483648\n", 1, "", ""},
    {{"in.wav", "out", "4294967796"}, in16, "invalid time : 4294967796\n", 1, "", ""},
    {{"in.wav", "out", "1000"}, wav(1, 8000, 8, d8), report(1, 8000, 8, d8.size()) + closing + "-1000ms)\n", 0, "out.wav", header(10001, 1, 8000, 8) + shifted(d8, 8000)},
    {{"in.wav", "out", "250"}, wav(1, 22050, 16, dm), report(1, 22050, 16, dm.size()) + closing + "-250ms)\n", 0, "out.wav", header(30001, 1, 22050, 16) + shifted(dm, 11024)},
    {{"in.wav", "out", "5"}, wav(1, 44100, 16, dm), report(1, 44100, 16, dm.size()) + closing + "-5ms)\n", 0, "out.wav", header(30001, 1, 44100, 16) + shifted(dm, 440)},
    // Only the three kept values of "fmt " reach the output; other chunks do not.
    {{"in.wav", "out", "500"}, odd, "in.wav :\n  <fmt > (18 bytes)\n    format tag     = 1 (1 = PCM)\n    channels       = 2\n    samples/sec    = 44100\n"
     "    avg. bytes/sec = 1\n    block align    = 9\n    bits/sample    = 16\n  <LIST> (4 bytes)\n  <data> (600000 bytes)\n  <junk> (0 bytes)\n" + closing + "-500ms)\n", 0, "out.wav", h16 + shifted(d, 88200)},
    {{"in.wav", "out", "0"}, in16 + chunk("data", d8), rep16 + "  <data> (10001 bytes)\n" + closing + "0ms)\n", 0, "out.wav", header(10001, 2, 44100, 16) + d8},
    // A data chunk the file does not hold fails, partial output kept.
    {{"in.wav", "out", "0"}, short_data, rep_short + "read error : 1044\n", 1, "out.wav", header(4294967295u, 2, 44100, 16) + d.substr(0, 1000)},
    {{"in.wav", "out", "500"}, short_data, rep_short + "read error : 88244\n", 1, "out.wav", header(4294967295u, 2, 44100, 16)},
    {{"in.wav", "out", "9999"}, riff(chunk("fmt ", fmt_body(1, 2, 44100, 16)) + chunk("data", 2000, d.substr(0, 1000))), rep_fmt + "  <data> (2000 bytes)\nread error : 2044\n", 1, "out.wav", header(2000, 2, 44100, 16)},
    {{"in.wav", "out", "0"}, riff(chunk("data", "abcd")), "in.wav :\n  <data> (4 bytes)\nin.wav : no 'fmt ' chunk\n", 1, "", ""},
    {{"in.wav", "out", "0"}, riff(chunk("fmt ", fmt_body(1, 2, 44100, 16))), rep_fmt + "in.wav : no 'data' chunk\n", 1, "", ""},
    {{"in.wav", "in", "500"}, in16, rep16 + "cannot overwrite input file : in.wav\n", 1, "", ""},
    {{"in.wav", "./in.wav", "0"}, in16, rep16 + "cannot overwrite input file : ./in.wav\n", 1, "", ""},
    {{"in.wav", "link", "0"}, in16, rep16 + "cannot overwrite input file : link.wav\n", 1, "", ""},
    {{"in.wav", "sym", "0"}, in16, rep16 + "cannot overwrite input file : sym.wav\n", 1, "", ""},
    {{"in.wav", "full", "0"}, in16, rep16 + "write error : 0\n", 1, "", ""},
    {{"in.wav", "nodir/out", "0"}, in16, rep16 + "cannot open file : nodir/out.wav\n", 1, "", ""},
    {{"in.wav", "sub/" + a252, "0"}, in16, "file name too long : sub/" + a252 + "\n", 1, "", ""},
    {{"in.wav", "sub/" + a251, "0"}, in16, rep16 + "in.wav -> sub/" + a251 + ".wav (0ms)\n", 0, "sub/" + a251 + ".wav", h16 + d},
};
// clang-format on

TEST(Cut, WritesExactlyAsTabled)
{
	for (const auto &c : cases) {
		Scratch s;
		s.write("in.wav", c.input);
		fs::create_directory(s.dir / "sub");
		fs::create_hard_link(s.dir / "in.wav", s.dir / "link.wav");
		fs::create_symlink("in.wav", s.dir / "sym.wav");
		fs::create_symlink("/dev/full", s.dir / "full.wav");
		const Outcome r = run_leadcut(s.dir, c.words);
		EXPECT_EQ(r.err, c.err);
		EXPECT_EQ(r.status, c.status) << r.err;
		EXPECT_EQ(r.out, "");
		EXPECT_EQ(s.read("in.wav"), c.input) << r.err;
		if (c.out_name.empty())
			EXPECT_EQ(std::distance(fs::directory_iterator(s.dir), {}), 5) << r.err;
		else
			EXPECT_TRUE(s.read(c.out_name) == c.out) << r.err; // too long to print
	}
}

} // namespace
