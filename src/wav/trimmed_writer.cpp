#include "trimmed_writer.h"

#include <algorithm>
#include <cstring>

#include "../cli/fatal.h"
#include "../compat/compat.h"
#include "format.h"

namespace {

// One block moves the data and the fill: the heap is never used, and 1 MiB
// takes few calls.
constexpr std::size_t block_size = std::size_t{1} << 20;
unsigned char block[block_size];

// Positions that differ by a multiple of this lie alike in their pages.
constexpr std::int64_t page_size = 4096;

// Writes below the stream, which holds nothing unwritten once the header
// is flushed, so a failure still reports the stream's true position.
void write_all(std::FILE *out, const unsigned char *bytes, std::size_t count)
{
	while (count > 0) {
		const std::int64_t n = write_some(stream_descriptor(out), bytes, count);
		if (n <= 0)
			write_error_exit(out);
		bytes += n;
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

void copy_through_block(int in, std::FILE *out, std::int64_t &at, std::uint64_t remaining)
{
	while (remaining > 0) {
		const std::int64_t n = read_some(in, block, next_span(at, remaining));
		if (n <= 0)
			read_error_exit(in); // the data ends before its declared size
		write_all(out, block, static_cast<std::size_t>(n));
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
void copy_data(int in, std::FILE *out, std::int64_t from, std::int64_t &at, std::uint64_t remaining)
{
	if ((from - at) % page_size == 0) {
		const auto head =
		    std::min(remaining, static_cast<std::uint64_t>(-at & (page_size - 1)));
		copy_through_block(in, out, at, head);
		remaining -= head;
		for (std::int64_t n;
		     remaining > 0 &&
		     (n = copy_range(in, stream_descriptor(out), next_range(at, remaining))) > 0;) {
			at += n;
			remaining -= static_cast<std::uint64_t>(n);
		}
	}
	copy_through_block(in, out, at, remaining);
}

void write_zeros(std::FILE *out, std::int64_t at, std::uint64_t count)
{
	std::memset(block, 0, static_cast<std::size_t>(std::min<std::uint64_t>(count, block_size)));
	for (std::size_t n; count > 0; at += static_cast<std::int64_t>(n), count -= n) {
		n = next_span(at, count);
		write_all(out, block, n);
	}
}

} // namespace

// The output is opened without truncation and emptied only once it is known
// not to be the input, by the identity of the two open files: a name checked
// earlier may lead elsewhere by now (a link made, a file renamed over it).
void write_trimmed_wav(std::FILE *input, std::int64_t data_offset, std::uint32_t data_size,
		       const char *out_path, std::uint32_t samples_per_sec, std::uint16_t channels,
		       std::uint16_t bits_per_sample, std::uint32_t cut_bytes)
{
	std::FILE *out = open_output(out_path);
	if (out == nullptr)
		open_error_exit(out_path);
	const int in = stream_descriptor(input);
	bool same;
	if (!same_file(in, stream_descriptor(out), same))
		open_error_exit(out_path);
	if (same)
		name_exit("cannot overwrite input file : %s\n", out_path);
	if (!truncate_file(stream_descriptor(out)))
		open_error_exit(out_path);
	if (write_wav_header(out, data_size, channels, samples_per_sec, bits_per_sample) !=
	    wav_header_size)
		name_exit("%s : wav header write error\n", out_path);
	if (std::fflush(out) != 0)
		write_error_exit(out);

	// The copy reads below the report's stream, which is not read again.
	const std::int64_t start = data_offset + cut_bytes;
	// Even when the whole audio is dropped, data the file does not hold is a
	// short input, not silence.
	std::int64_t size;
	if (seek_to(in, start) != start || !file_size(in, size) || (size >= 0 && start > size))
		read_error_exit(in);

	std::int64_t at = wav_header_size;
	copy_data(in, out, start, at, data_size - cut_bytes);
	write_zeros(out, at, cut_bytes);
	const std::int64_t written = stream_position(out);
	if (std::fclose(out) != 0)
		fail_exit("write error : %lld\n", static_cast<long long>(written));
}
