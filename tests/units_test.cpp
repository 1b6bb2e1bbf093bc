#include <gtest/gtest.h>

#include "cli/cli.h"
#include "support.h"

namespace {

// clang-format off
struct { std::vector<std::string> words; std::string opts, results; int index; std::string err, arg; } const scans[] = {
    // results: each return as a character, '.' for -1
    {{"-cl", "in.wav"}, "cl", "cl.", 2, "", ""},
    {{"-l", "-c", "x"}, "cl", "lc.", 3, "", ""},
    {{"-cx"}, "cl", "c?.", 2, "leadcut : illegal option -- x\n", ""},
    {{"-:"}, "c:l", "?.", 2, "leadcut : illegal option -- :\n", ""},
    {{"-c-"}, "cl", "c?.", 2, "leadcut : illegal option -- -\n", ""},
    {{"-"}, "cl", ".", 1, "", ""},
    {{"-ofile", "x"}, "o:", "o.", 2, "", "file"},
    {{"-o", "file", "x"}, "o:", "o.", 3, "", "file"},
    {{"-o", "-c"}, "o:c", "o.", 3, "", "-c"},
    {{"-co", "f"}, "o:c", "co.", 3, "", "f"},
    {{"-o"}, "o:", "?.", 2, "leadcut : option requires an argument -- o\n", ""},
};
// clang-format on

TEST(GetOption, ScansAsTabled)
{
	for (const auto &c : scans) {
		std::vector<char *> argv{const_cast<char *>("leadcut")};
		for (const auto &w : c.words)
			argv.push_back(const_cast<char *>(w.c_str()));
		reset_option_scanner();
		testing::internal::CaptureStderr();
		std::string results;
		while (results.size() < c.results.size()) {
			const auto r =
			    get_option(static_cast<int>(argv.size()), argv.data(), c.opts.c_str());
			results += r == -1 ? '.' : static_cast<char>(r);
		}
		EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err) << c.results;
		EXPECT_EQ(results, c.results);
		EXPECT_EQ(opt_index, c.index) << c.results;
		EXPECT_EQ(opt_arg ? opt_arg : "", c.arg) << c.results;
	}
}

TEST(GetOption, NewOptionStringRescansTheWord)
{
	char *argv[] = {const_cast<char *>("leadcut"), const_cast<char *>("-cl")};
	const std::string first = "cl", second = "cl";
	reset_option_scanner();
	std::string results{static_cast<char>(get_option(2, argv, first.c_str()))};
	while (results.size() < 3)
		results += static_cast<char>(get_option(2, argv, second.c_str()));
	EXPECT_EQ(results, "ccl");
	EXPECT_EQ(get_option(2, argv, second.c_str()), -1);
}

// clang-format off
struct { std::string operand, stripped; int result; } const names[] = {
    {"out", "out", 1}, {"out.wav", "out", 1}, {"out.", "out", 1},
    {"dir\\take.1.raw", "dir\\take.1", 1}, {"dir.old\\take", "dir.old\\take", 1},
    {".wav", ".wav", 1}, {"a\\.wav", "", 0}, {"dir\\", "", 0}, {"C:", "", 0}, {"", "", 0},
    {"/u/a.b", "/u/a", 1}, {"my.dir/out", "my", 1}, {"C:x.y", "C:x", 1},
    {std::string(259, 'n') + ".wav", std::string(259, 'n'), 1},
    {std::string(260, 'n') + ".wav", "", -1}, {std::string(300, 'n') + "\\.x", "", 0},
};
// clang-format on

TEST(StripExtension, StripsAsTabled)
{
	for (const auto &c : names) {
		name_buffer dst;
		dst.fill('#');
		EXPECT_EQ(strip_extension(dst, c.operand.c_str()), c.result) << c.operand;
		EXPECT_EQ(dst.data(), c.stripped) << c.operand;
	}
	name_buffer dst;
	EXPECT_TRUE(copy_name(dst, std::string(259, 'a').c_str()));
	EXPECT_FALSE(copy_name(dst, std::string(260, 'b').c_str()));
	EXPECT_EQ(dst.data(), std::string(259, 'a'));
}

// clang-format off
struct { const char *text; bool valid; std::int32_t value; } const times[] = {
    {"500", true, 500}, {"500ms", true, 500}, {"abc", true, 0}, {"", true, 0}, {"-0", true, 0},
    {" \t\n\v\f\r+250", true, 250}, {"+", true, 0}, {"--5", true, 0}, {"12 34", true, 12},
    {"0000000000000000000500", true, 500}, {"2147483647", true, 2147483647},
    {"2147483648", false, 0}, {"4294967796", false, 0}, {"99999999999999999999999", false, 0},
    {"-500", false, 0}, {"-2147483648", false, 0},
};
// clang-format on

TEST(ParseDecimal, ReadsAsTabled)
{
	for (const auto &c : times) {
		std::int32_t value = -7;
		EXPECT_EQ(parse_decimal(c.text, value), c.valid) << '"' << c.text << '"';
		EXPECT_EQ(value, c.valid ? c.value : -7) << '"' << c.text << '"';
	}
}

// clang-format off
struct { std::uint16_t channels, bits; std::uint32_t rate; std::int32_t time; std::uint32_t data_size, cut; } const cuts[] = {
    {2, 16, 44100, 500, 9999999, 88200}, {2, 16, 44100, 3, 9999999, 528},
    {2, 16, 44100, 3043, 9999999, 536784}, {2, 16, 44100, 3044, 9999999, 536960},
    {2, 16, 44100, 4000, 9999999, 705600}, {1, 8, 8000, 1000, 9999999, 8000},
    {1, 16, 22050, 250, 9999999, 11024}, {1, 16, 44100, 5, 9999999, 440},
    {2, 16, 44100, 0, 9999999, 0}, {2, 16, 44100, 500, 1001, 1001},
    {2, 16, 4294967295u, 2147483647, 4294967295u, 4294967295u}, {2, 16, 0, 500, 1000, 0},
};
// clang-format on

TEST(ComputeCutBytes, DropsWholeFramesWithoutWrapping)
{
	for (const auto &c : cuts)
		EXPECT_EQ(compute_cut_bytes(c.channels, c.rate, c.bits, c.time, c.data_size), c.cut)
		    << c.channels << "x" << c.bits << " at " << c.rate << ", " << c.time << " ms";
}

// The header the end-to-end tests expect, checked byte by byte once.
TEST(WavHeader, TestHelperIsTheCanonicalHeader)
{
	EXPECT_EQ(header(1000, 2, 44100, 16),
		  std::string("RIFF\x0c\x04\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0\x44\xac\0\0"
			      "\x10\xb1\x02\0\x04\0\x10\0data\xe8\x03\0\0",
			      44));
}

} // namespace
