#include <cstdio>

#include "../compat/compat.h"
#include "../wav/header_reader.h"
#include "../wav/trimmed_writer.h"
#include "cli.h"
#include "fatal.h"
#include "print.h"

namespace {

constexpr std::int64_t time_max = 2147483647;

bool is_space(char c)
{
	return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

// Leading white space, one sign, then digits up to the first non-digit,
// which ends the number. A time without a digit is a mistake, not 0, and
// values that would not survive a 32-bit signed conversion unchanged are
// refused instead of wrapping.
bool parse_decimal(const char *text, std::int32_t &value)
{
	while (is_space(*text))
		++text;
	const bool negative = *text == '-';
	if (*text == '+' || *text == '-')
		++text;
	const char *digits = text;
	std::int64_t magnitude = 0;
	for (; *text >= '0' && *text <= '9'; ++text) {
		magnitude = magnitude * 10 + (*text - '0');
		if (magnitude > time_max)
			magnitude = time_max + 1; // saturate; the digits still have to be eaten
	}
	if (text == digits || magnitude > time_max || (negative && magnitude != 0))
		return false;
	value = static_cast<std::int32_t>(magnitude);
	return true;
}

// Dropping part of a frame would mix bytes of neighbouring samples, so the
// count is rounded down to whole frames; 64 bits cannot overflow here.
std::uint32_t compute_cut_bytes(std::uint16_t channels, std::uint32_t samples_per_sec,
				std::uint16_t bits_per_sample, std::int32_t time_ms,
				std::uint32_t data_size)
{
	const std::uint64_t frames =
	    std::uint64_t{samples_per_sec} * static_cast<std::uint64_t>(time_ms) / 1000;
	const std::uint64_t frame_bytes = std::uint64_t{channels} * bits_per_sample / 8;
	if (frame_bytes == 0)
		return 0;
	if (frames > data_size / frame_bytes)
		return data_size;
	return static_cast<std::uint32_t>(frames * frame_bytes);
}

void prepare_cut(const char *out_operand, const char *time_operand, name_buffer &out_path,
		 std::int32_t &time_ms)
{
	name_buffer out_base;
	if (!strip_extension(out_base, out_operand) ||
	    std::snprintf(out_path.data(), out_path.size(), "%s.wav", out_base.data()) >=
		static_cast<int>(out_path.size()) ||
	    name_too_long(out_path.data()))
		name_exit("file name too long : ", out_operand, "\n");
	if (!parse_decimal(time_operand, time_ms))
		name_exit("invalid time : ", time_operand, "\n");
}

void cut_lead_in(std::FILE *in, const char *in_path, const char *out_path, std::int32_t time_ms,
		 unsigned chunks_seen, std::uint16_t channels, std::uint32_t samples_per_sec,
		 std::uint16_t bits_per_sample, std::int64_t data_offset, std::uint32_t data_size)
{
	if ((chunks_seen & seen_fmt) == 0)
		name_exit("", in_path, " : no 'fmt ' chunk\n");
	if ((chunks_seen & seen_data) == 0)
		name_exit("", in_path, " : no 'data' chunk\n");
	// Without a rate no time becomes samples: the cut would drop nothing and
	// still claim the time.
	if (samples_per_sec == 0 && time_ms > 0)
		name_exit("", in_path, " : samples/sec = 0\n");
	const std::uint32_t cut_bytes =
	    compute_cut_bytes(channels, samples_per_sec, bits_per_sample, time_ms, data_size);
	write_trimmed_wav(in, in_path, data_offset, data_size, out_path, samples_per_sec, channels,
			  bits_per_sample, cut_bytes);
	say_name(in_path);
	say(" -> ");
	say_name(out_path);
	say(" (%dms)\n", -time_ms);
}
