#include "header_reader.h"

#include <cstring>

#include "../cli/fatal.h"
#include "../cli/print.h"
#include "../compat/compat.h"
#include "format.h"

namespace {

// A file shorter than this is read as it always was, in signed 32-bit
// positions: its sizes print signed, and a chunk that ends past this ends
// the walk.
constexpr std::int64_t position_max = 2147483647;

// The most a RIFF file can hold: its 8-byte header and 0xFFFFFFFF bytes.
constexpr std::int64_t riff_max = 8 + std::int64_t{0xFFFFFFFF};

// A longer file can only be read with its sizes as RIFF defines them.
long long shown_size(std::uint32_t size, bool long_file)
{
	return long_file ? static_cast<long long>(size) : static_cast<std::int32_t>(size);
}

bool is_id(const char *id, const char *expected)
{
	return std::memcmp(id, expected, 4) == 0;
}

// The end of the file, also after one to three stray bytes, is the clean
// end of the walk; a read that fails is never taken for it.
bool read_id(std::FILE *in, char (&id)[5])
{
	id[4] = '\0';
	if (read_item(in, id, 4))
		return true;
	if (std::feof(in) == 0)
		read_error_closing(in);
	return false;
}

// No walk goes on from a position the program does not know.
void seek_input(std::FILE *in, std::int64_t position)
{
	if (!seek_stream(in, position))
		read_error_closing(in);
}

// A crafted identifier could hold bytes a terminal obeys (ESC, CR, LF):
// each byte outside printable ASCII shows as '?', up to the first zero.
const char *printable(char (&id)[5])
{
	for (char &c : id) {
		if (c != '\0' && (c < 0x20 || c > 0x7E))
			c = '?';
	}
	return id;
}

void expect_id(std::FILE *in, const char *expected, const char *message)
{
	char id[5];
	if (!read_id(in, id))
		read_error_closing(in);
	if (!is_id(id, expected)) {
		static_cast<void>(std::fclose(in)); // the status is 1 either way
		fail_exit("%s", message);
	}
}

} // namespace

// All six fields are read and printed before any is judged, so the report
// is complete even for a file that is then rejected.
void read_fmt_fields(const char *in_path, std::FILE *in, std::uint16_t &channels,
		     std::uint32_t &samples_per_sec, std::uint16_t &bits_per_sample)
{
	const auto format_tag = static_cast<std::int16_t>(read_le16(in));
	say("    format tag     = %u (1 = PCM)\n", static_cast<unsigned>(std::int32_t{format_tag}));
	channels = read_le16(in);
	say("    channels       = %u\n", unsigned{channels});
	samples_per_sec = read_le32(in);
	say("    samples/sec    = %lu\n", static_cast<unsigned long>(samples_per_sec));
	const std::uint32_t avg_bytes_per_sec = read_le32(in);
	say("    avg. bytes/sec = %lu\n", static_cast<unsigned long>(avg_bytes_per_sec));
	const std::uint16_t block_align = read_le16(in);
	say("    block align    = %u\n", unsigned{block_align});
	bits_per_sample = read_le16(in);
	say("    bits/sample    = %u\n", unsigned{bits_per_sample});

	if (format_tag != 1)
		name_exit("\nThis program supported \"PCM format\" wav file\n", in_path,
			  " : format tag = %d\n", int{format_tag});
	if (channels != 1 && channels != 2)
		name_exit("\nThis program supported monoral/stereo wav file\n", in_path,
			  " : channels = %d\n", int{channels});
	if (bits_per_sample != 8 && bits_per_sample != 16)
		name_exit("\nThis program supported 16bit or 8bit wav file\n", in_path,
			  " : bits/sample = %d\n", int{bits_per_sample});
}

// Walks the chunks in file order, each after the last, so no size can lead
// it backwards; in a file under 2^31 bytes a chunk whose end lies past any
// position the file can have ends the walk, in a longer one the end of the
// file does.
void read_wav_header(const char *in_path, std::uint16_t &channels, std::uint32_t &samples_per_sec,
		     std::uint16_t &bits_per_sample, std::int64_t &data_offset,
		     std::uint32_t &data_size, unsigned &chunks_seen, std::FILE *&in)
{
	in = open_input(in_path);
	if (in == nullptr)
		open_error_exit(in_path);
	file_facts facts;
	if (!facts_of(stream_descriptor(in), role::input, facts))
		read_error_closing(in);
	const std::int64_t length = facts.kind == file_kind::regular ? facts.size : -1;
	if (length > riff_max)
		name_exit("file too large : ", in_path, "\n");
	const bool long_file = length > position_max;
	say_name(in_path);
	say(" :\n");

	expect_id(in, "RIFF", "Not a 'RIFF' format\n");
	read_le32(in); // the RIFF size is never trusted
	expect_id(in, "WAVE", "Not a 'WAVE' format\n");

	char id[5];
	while (read_id(in, id)) {
		const std::uint32_t size = read_le32(in);
		const std::int64_t body = stream_position(in);
		if (body < 0)
			read_error_closing(in);
		say("  <%s> (%lld bytes)\n", printable(id), shown_size(size, long_file));
		if (is_id(id, "fmt ")) {
			read_fmt_fields(in_path, in, channels, samples_per_sec, bits_per_sample);
			chunks_seen |= seen_fmt;
		} else if (is_id(id, "data")) {
			data_size = size;
			data_offset = body;
			chunks_seen |= seen_data;
		}
		const std::int64_t next = body + size;
		if (next > position_max && !long_file)
			break;
		seek_input(in, next);
		if (size % 2 == 0)
			continue;
		// A zero after an odd body is its pad byte; writers that leave the pad
		// out have their next identifier there instead, and at the end of the
		// file there is none.
		const int pad = read_byte(in);
		if (pad == EOF && std::feof(in) == 0)
			read_error_closing(in);
		if (pad != 0)
			seek_input(in, next);
	}
}
