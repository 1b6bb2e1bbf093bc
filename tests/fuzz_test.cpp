// Thousands of malformed files, each run as a report and as a cut, and the
// files the report accepts as three cuts.
// Whatever they hold, leadcut must end with status 0 or 1 in time, print
// nothing on standard output and no sanitizer report, leave the input as it
// was, and a cut that succeeds must have written a header that tells the truth.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "support.h"

namespace {

constexpr int shards = 4;
const std::uint32_t hostile_sizes[] = {0, 1, 3, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFF8u, 0xFFFFFFFFu};
const char *const cut_times[] = {"1", "500", "7", "3044", "100000", "2147483647"};

std::vector<std::string> hostile_inputs()
{
	const std::string body[] = {fmt_body(1, 2, 44100, 16), pattern(64), "abc"};
	const std::string ids[] = {"fmt ", "data", "LIST"};
	const std::string valid = riff(chunk(ids[0], body[0]) + chunk(ids[1], body[1]));
	std::vector<std::string> files;
	for (std::size_t n = 0; n < valid.size(); ++n)
		files.push_back(valid.substr(0, n));
	// Every order of the three chunks, and of the first two of each order
	// (so "fmt " or "data" is missing), with each chunk given each size.
	int order[] = {0, 1, 2};
	do {
		for (int kept = 2; kept <= 3; ++kept)
			for (int odd = 0; odd < kept; ++odd)
				for (const std::uint32_t size : hostile_sizes) {
					std::string chunks;
					for (int i = 0; i < kept; ++i)
						chunks +=
						    i == odd
							? chunk(ids[order[i]], size, body[order[i]])
							: chunk(ids[order[i]], body[order[i]]);
					files.push_back(riff(chunks));
				}
	} while (std::next_permutation(order, order + 3));
	std::mt19937 rng(20261206);
	const auto below = [&](std::size_t n) { return static_cast<std::uint32_t>(rng() % n); };
	const auto pick = [&](auto &&list) { return list[below(std::size(list))]; };
	using u16s = std::array<std::uint16_t, 4>;
	while (files.size() < 2000) {
		std::string f;
		if (files.size() % 3 == 0) { // a valid file with a few bytes changed
			f = valid;
			for (unsigned n = 1 + below(4); n > 0; --n)
				f[below(52)] = static_cast<char>(rng());
		} else if (files.size() % 3 == 1) { // a random run of chunks
			for (unsigned n = below(5); n > 0; --n) {
				const std::string fields = fmt_body(
				    pick(u16s{1, 3, 65534, 1}), pick(u16s{0, 1, 2, 3}),
				    static_cast<std::uint32_t>(rng()), pick(u16s{0, 8, 16, 24}));
				const unsigned kind = below(3);
				const std::string b = kind == 0 ? fields : pattern(below(40));
				f += rng() % 2 ? chunk(ids[kind], b)
					       : chunk(ids[kind], pick(hostile_sizes), b);
			}
			f = riff(f);
		} else { // random bytes, half of them behind a RIFF/WAVE header
			for (unsigned n = below(100); n > 0; --n)
				f += static_cast<char>(rng());
			if (rng() % 2)
				f = riff(f);
		}
		files.push_back(f);
	}
	return files;
}

// The value of the last report line that starts with `label`.
std::uint32_t last_value(const std::string &report, const std::string &label)
{
	const std::size_t at = report.rfind(label);
	return static_cast<std::uint32_t>(std::stoll(report.substr(at + label.size())));
}

class Hostile : public testing::TestWithParam<int> {};

TEST_P(Hostile, InputsEndCleanly)
{
	const std::vector<std::string> files = hostile_inputs();
	Scratch s;
	for (std::size_t i = static_cast<std::size_t>(GetParam()); i < files.size(); i += shards) {
		// A file the report rejects never reaches the time, so one cut of it
		// shows all there is; the others are cut three times.
		const std::vector<std::vector<std::string>> runs = {
		    {"in.wav"},
		    {"in.wav", "out", "0"},
		    {"in.wav", "out", cut_times[i % 6]},
		    {"in.wav", "out", cut_times[i / 6 % 6]}};
		int report_status = 0;
		for (const auto &words : runs) {
			if (report_status != 0 && words.back() != "0")
				break;
			s.write("in.wav", files[i]);
			std::filesystem::remove(s.dir / "out.wav");
			const Outcome r = run_leadcut(s.dir, words, 10);
			const std::string what = "input " + std::to_string(i) + " " +
						 testing::PrintToString(files[i]) + ", time " +
						 words.back();
			ASSERT_TRUE(r.status == 0 || r.status == 1) << what << "\n" << r.err;
			ASSERT_EQ(r.out, "") << what;
			ASSERT_EQ(s.read("in.wav"), files[i]) << what;
			if (words.size() == 1)
				report_status = r.status;
			if (words.size() == 1 || r.status != 0)
				continue;
			const std::uint32_t size = last_value(r.err, "  <data> (");
			ASSERT_EQ(
			    s.read("out.wav").substr(0, 44),
			    header(
				size,
				static_cast<std::uint16_t>(last_value(r.err, "channels       = ")),
				last_value(r.err, "samples/sec    = "),
				static_cast<std::uint16_t>(last_value(r.err, "bits/sample    = "))))
			    << what;
			ASSERT_EQ(std::filesystem::file_size(s.dir / "out.wav"), 44u + size)
			    << what;
		}
	}
}

INSTANTIATE_TEST_SUITE_P(Shard, Hostile, testing::Range(0, shards));

} // namespace
