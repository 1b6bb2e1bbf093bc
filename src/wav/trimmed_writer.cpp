#include "trimmed_writer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "../cli/fatal.h"
#include "format.h"

namespace {

constexpr std::size_t block_size = 64 * 1024;
constexpr std::uint64_t kernel_copy_max = 1u << 30;

constexpr std::array<unsigned char, block_size> zero_block{};

// Output and input are the same file when their names lead to one inode,
// whatever the spelling or link; opening the output would then truncate it.
void refuse_input_as_output(const char *in_path, const char *out_path)
{
	struct stat in_st;
	struct stat out_st;
	if (::stat(out_path, &out_st) == 0 && ::stat(in_path, &in_st) == 0 &&
	    in_st.st_dev == out_st.st_dev && in_st.st_ino == out_st.st_ino)
		fail_exit("cannot overwrite input file : %s\n", out_path);
}

void write_all(int out, const unsigned char *bytes, std::size_t count)
{
	while (count > 0) {
		const ssize_t n = ::write(out, bytes, count);
		if (n <= 0) {
			if (n < 0 && errno == EINTR)
				continue;
			write_error_exit(out);
		}
		bytes += n;
		count -= static_cast<std::size_t>(n);
	}
}

void copy_through_buffer(int in, int out, std::uint64_t remaining)
{
	std::array<unsigned char, block_size> block;
	while (remaining > 0) {
		const std::size_t want =
		    static_cast<std::size_t>(std::min<std::uint64_t>(remaining, block.size()));
		const ssize_t n = ::read(in, block.data(), want);
		if (n <= 0) {
			if (n < 0 && errno == EINTR)
				continue;
			read_error_exit(in); // the data ends before its declared size
		}
		write_all(out, block.data(), static_cast<std::size_t>(n));
		remaining -= static_cast<std::uint64_t>(n);
	}
}

// Lets the kernel move the data where it can, as cp does. Where it is
// refused, or stops early, the plain copy takes over and tells a short
// input from a failed write.
void copy_data(int in, int out, std::uint64_t remaining)
{
	while (remaining > 0) {
		const ssize_t n = ::copy_file_range(
		    in, nullptr, out, nullptr,
		    static_cast<std::size_t>(std::min(remaining, kernel_copy_max)), 0);
		if (n > 0)
			remaining -= static_cast<std::uint64_t>(n);
		else if (n < 0 && errno == EINTR)
			continue;
		else
			break;
	}
	copy_through_buffer(in, out, remaining);
}

void write_zeros(int out, std::uint64_t count)
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
	refuse_input_as_output(in_path, out_path);
	std::FILE *out = std::fopen(out_path, "wb");
	if (out == nullptr)
		open_error_exit(out_path);
	if (write_wav_header(out, data_size, channels, samples_per_sec, bits_per_sample) !=
	    wav_header_size)
		fail_exit("%s : wav header write error\n", out_path);
	if (std::fflush(out) != 0)
		write_error_exit(out);

	const int in = ::open(in_path, O_RDONLY | O_CLOEXEC);
	if (in < 0)
		open_error_exit(in_path);
	const off_t start = std::int64_t{data_offset} + cut_bytes;
	::lseek(in, start, SEEK_SET);
	// Even when the whole audio is dropped, data the file does not hold is a
	// short input, not silence.
	struct stat st;
	if (::fstat(in, &st) == 0 && S_ISREG(st.st_mode) && start > st.st_size)
		read_error_exit(in);

	const int out_fd = ::fileno(out);
	copy_data(in, out_fd, data_size - cut_bytes);
	write_zeros(out_fd, cut_bytes);
	::close(in);
	const long written = static_cast<long>(::lseek(out_fd, 0, SEEK_CUR));
	if (std::fclose(out) != 0)
		fail_exit("write error : %ld\n", written);
}
