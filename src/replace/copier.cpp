#include "copier.h"

#include <algorithm>
#include <cstring>

namespace {

// One block moves the data, the fill and the copy back in place: the heap
// is never used, and 1 MiB takes few calls.
constexpr std::size_t block_size = std::size_t{1} << 20;
unsigned char block[block_size];

// Positions that differ by a multiple of this lie alike in their pages.
constexpr std::int64_t page_size = 4096;

// The next write from output position `at`: it ends on a block boundary,
// so that after the first one every write covers whole pages, which no
// filesystem has to read back or merge.
std::size_t next_span(std::int64_t at, std::uint64_t remaining)
{
	const auto room =
	    static_cast<std::uint64_t>(block_size - static_cast<std::size_t>(at) % block_size);
	return static_cast<std::size_t>(std::min(remaining, room));
}

// The system's next copy from output position `at`: to a block boundary
// first, then all that is left. ext4 copies a third faster from there than
// from any page boundary.
std::uint64_t next_range(std::int64_t at, std::uint64_t remaining)
{
	return static_cast<std::size_t>(at) % block_size == 0 ? remaining
							      : next_span(at, remaining);
}

} // namespace

bool write_all(int out, role to, const unsigned char *bytes, std::size_t count, std::int64_t &at)
{
	while (count > 0) {
		const std::int64_t n = write_some(out, bytes, count, to);
		if (n <= 0)
			return false;
		bytes += n;
		at += n;
		count -= static_cast<std::size_t>(n);
	}
	return true;
}

bool write_zeros(int out, role to, std::int64_t &at, std::uint64_t count)
{
	std::memset(block, 0, static_cast<std::size_t>(std::min<std::uint64_t>(count, block_size)));
	while (count > 0) {
		const std::size_t n = next_span(at, count);
		if (!write_all(out, to, block, n, at))
			return false;
		count -= n;
	}
	return true;
}

copy_end copy_blocks(int in, role from, int out, role to, std::int64_t &at, std::uint64_t count)
{
	while (count > 0) {
		const std::int64_t n = read_some(in, block, next_span(at, count), from);
		if (n <= 0)
			return copy_end::input;
		if (!write_all(out, to, block, static_cast<std::size_t>(n), at))
			return copy_end::output;
		count -= static_cast<std::uint64_t>(n);
	}
	return copy_end::whole;
}

// Where input and output lie alike in their pages the system moves the
// data, as cp does, from the output's next page boundary on: a filesystem
// shares blocks only from aligned positions, so the bytes before go through
// the block. Elsewhere its copy splits every page in two and the block is
// faster. Where it will not, or stops early, the block takes over and tells
// a short input from a failed write.
copy_end copy_data(int in, int out, std::int64_t from, std::int64_t &at, std::uint64_t count)
{
	if ((from - at) % page_size == 0) {
		const auto head =
		    std::min(count, static_cast<std::uint64_t>(-at & (page_size - 1)));
		const copy_end end = copy_blocks(in, role::input, out, role::output, at, head);
		if (end != copy_end::whole)
			return end;
		count -= head;
		for (std::int64_t n;
		     count > 0 && (n = copy_range(in, out, next_range(at, count))) > 0;) {
			at += n;
			count -= static_cast<std::uint64_t>(n);
		}
	}
	return copy_blocks(in, role::input, out, role::output, at, count);
}
