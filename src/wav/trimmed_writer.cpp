#include "trimmed_writer.h"

#include <algorithm>
#include <cstring>

#include "../cli/fatal.h"
#include "../compat/compat.h"
#include "../replace/replacement.h"
#include "format.h"

namespace {

// One block moves the data and the fill: the heap is never used, and 1 MiB
// takes few calls.
constexpr std::size_t block_size = std::size_t{1} << 20;
unsigned char block[block_size];

// Positions that differ by a multiple of this lie alike in their pages.
constexpr std::int64_t page_size = 4096;

// Writes count bytes at output position `at`. A failure reports the
// output's position, which holds what a failed write still wrote (Wine's
// writes do not count it), or in a FIFO, which has none, the copy's count.
void write_all(int out, const unsigned char *bytes, std::size_t count, std::int64_t at)
{
	while (count > 0) {
		const std::int64_t n = write_some(out, bytes, count, role::output);
		if (n <= 0) {
			const std::int64_t position = file_position(out, role::output);
			fail_exit("write error : %lld\n",
				  static_cast<long long>(position >= 0 ? position : at));
		}
		bytes += n;
		at += n;
		count -= static_cast<std::size_t>(n);
	}
}

// The next write from output position `at`: it ends on a block boundary,
// so that after the first one every write covers whole pages, which no
// filesystem has to read back or merge.
std::size_t next_span(std::int64_t at, std::uint64_t remaining)
{
	const auto room =
	    static_cast<std::uint64_t>(block_size - static_cast<std::size_t>(at) % block_size);
	return static_cast<std::size_t>(std::min(remaining, room));
}

void copy_through_block(int in, int out, std::int64_t &at, std::uint64_t remaining)
{
	while (remaining > 0) {
		const std::int64_t n = read_some(in, block, next_span(at, remaining), role::input);
		if (n <= 0)
			read_error_at(file_position(
			    in, role::input)); // the data ends before its declared size
		write_all(out, block, static_cast<std::size_t>(n), at);
		at += n;
		remaining -= static_cast<std::uint64_t>(n);
	}
}

// The system's next copy from output position `at`: to a block boundary
// first, then all that is left. ext4 copies a third faster from there than
// from any page boundary.
std::uint64_t next_range(std::int64_t at, std::uint64_t remaining)
{
	return static_cast<std::size_t>(at) % block_size == 0 ? remaining
							      : next_span(at, remaining);
}

// Where input and output lie alike in their pages the system moves the
// data, as cp does, from the output's next page boundary on: a filesystem
// shares blocks only from aligned positions, so the bytes before go through
// the block. Elsewhere its copy splits every page in two and the block is
// faster. Where it will not, or stops early, the block takes over and tells
// a short input from a failed write.
void copy_data(int in, int out, std::int64_t from, std::int64_t &at, std::uint64_t remaining)
{
	if ((from - at) % page_size == 0) {
		const auto head =
		    std::min(remaining, static_cast<std::uint64_t>(-at & (page_size - 1)));
		copy_through_block(in, out, at, head);
		remaining -= head;
		for (std::int64_t n;
		     remaining > 0 && (n = copy_range(in, out, next_range(at, remaining))) > 0;) {
			at += n;
			remaining -= static_cast<std::uint64_t>(n);
		}
	}
	copy_through_block(in, out, at, remaining);
}

void write_header(int out, const wav_header_bytes &header, const char *out_path)
{
	for (std::size_t at = 0; at < header.size();) {
		const std::int64_t n =
		    write_some(out, header.data() + at, header.size() - at, role::output);
		if (n <= 0)
			name_exit("", out_path, " : wav header write error\n");
		at += static_cast<std::size_t>(n);
	}
}

void write_zeros(int out, std::int64_t &at, std::uint64_t count)
{
	std::memset(block, 0, static_cast<std::size_t>(std::min<std::uint64_t>(count, block_size)));
	for (std::size_t n; count > 0; at += static_cast<std::int64_t>(n), count -= n) {
		n = next_span(at, count);
		write_all(out, block, n, at);
	}
}

} // namespace

// Every check that needs no output comes before the output is touched:
// data the input does not hold is known from its size.
void write_trimmed_wav(std::FILE *input, const char *in_path, std::int64_t data_offset,
		       std::uint32_t data_size, const char *out_path, std::uint32_t samples_per_sec,
		       std::uint16_t channels, std::uint16_t bits_per_sample,
		       std::uint32_t cut_bytes)
{
	// The copy reads below the report's stream, which is not read again.
	const int in = stream_descriptor(input);
	const std::int64_t start = data_offset + cut_bytes;
	file_facts facts;
	if (!facts_of(in, role::input, facts))
		read_error_at(file_position(in, role::input));
	const std::int64_t size = facts.kind == file_kind::regular ? facts.size : -1;
	// Even when the whole audio is dropped, data the file does not hold is a
	// short input, not silence; the copy would stop at the end of the file.
	if (size >= 0 && data_offset + data_size > size)
		read_error_at(std::max(start, size));

	wav_header_bytes header;
	encode_wav_header(header, data_size, channels, samples_per_sec, bits_per_sample);
	replacement out;
	open_replacement(in, in_path, out_path, out);
	write_header(out.fd, header, out_path);
	// The header's bytes are counted, as no position can be asked of a FIFO.
	std::int64_t at = wav_header_size;
	if (seek_to(in, start, role::input) != start)
		read_error_at(file_position(in, role::input));
	copy_data(in, out.fd, start, at, data_size - cut_bytes);
	write_zeros(out.fd, at, cut_bytes);
	finish_replacement(out, at);
}
