#include "trimmed_writer.h"

#include <algorithm>
#include <array>

#include "../cli/fatal.h"
#include "../compat/compat.h"
#include "format.h"

namespace {

constexpr std::size_t block_size = 64 * 1024;

constexpr std::array<unsigned char, block_size> zero_block{};

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

void copy_through_buffer(int in, std::FILE *out, std::uint64_t remaining)
{
	std::array<unsigned char, block_size> block;
	while (remaining > 0) {
		const std::size_t want =
		    static_cast<std::size_t>(std::min<std::uint64_t>(remaining, block.size()));
		const std::int64_t n = read_some(in, block.data(), want);
		if (n <= 0)
			read_error_exit(in); // the data ends before its declared size
		write_all(out, block.data(), static_cast<std::size_t>(n));
		remaining -= static_cast<std::uint64_t>(n);
	}
}

// Lets the system move the data where it can, as cp does. Where it will
// not, or stops early, the plain copy takes over and tells a short input
// from a failed write.
void copy_data(int in, std::FILE *out, std::uint64_t remaining)
{
	const int out_fd = stream_descriptor(out);
	for (std::int64_t n; remaining > 0 && (n = copy_range(in, out_fd, remaining)) > 0;)
		remaining -= static_cast<std::uint64_t>(n);
	copy_through_buffer(in, out, remaining);
}

void write_zeros(std::FILE *out, std::uint64_t count)
{
	while (count > 0) {
		const auto n =
		    static_cast<std::size_t>(std::min<std::uint64_t>(count, zero_block.size()));
		write_all(out, zero_block.data(), n);
		count -= n;
	}
}

} // namespace

void write_trimmed_wav(const char *in_path, std::int32_t data_offset, std::uint32_t data_size,
		       const char *out_path, std::uint32_t samples_per_sec, std::uint16_t channels,
		       std::uint16_t bits_per_sample, std::uint32_t cut_bytes)
{
	// Opening the output would truncate the input when both are one file.
	if (same_file(in_path, out_path))
		fail_exit("cannot overwrite input file : %s\n", out_path);
	std::FILE *out = std::fopen(out_path, "wb");
	if (out == nullptr)
		open_error_exit(out_path);
	if (write_wav_header(out, data_size, channels, samples_per_sec, bits_per_sample) !=
	    wav_header_size)
		fail_exit("%s : wav header write error\n", out_path);
	if (std::fflush(out) != 0)
		write_error_exit(out);

	const int in = open_input(in_path);
	if (in < 0)
		open_error_exit(in_path);
	const std::int64_t start = std::int64_t{data_offset} + cut_bytes;
	seek_to(in, start);
	// Even when the whole audio is dropped, data the file does not hold is a
	// short input, not silence.
	std::int64_t size;
	if (regular_file_size(in, size) && start > size)
		read_error_exit(in);

	copy_data(in, out, data_size - cut_bytes);
	write_zeros(out, cut_bytes);
	close_descriptor(in);
	const std::int64_t written = stream_position(out);
	if (std::fclose(out) != 0)
		fail_exit("write error : %lld\n", static_cast<long long>(written));
}
