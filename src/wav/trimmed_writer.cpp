#include "trimmed_writer.h"

#include <algorithm>

#include "../cli/fatal.h"
#include "../compat/compat.h"
#include "../replace/copier.h"
#include "../replace/replacement.h"
#include "format.h"

namespace {

// Ends the run for a copy that failed: a read names where the input
// stands, a write the output's position, which holds what a failed write
// still wrote (Wine's writes do not count it), or in a FIFO, which has
// none, the copy's count.
void copy_failed(copy_end end, int in, int out, std::int64_t at)
{
	if (end == copy_end::input)
		read_error_at(file_position(in, role::input)); // the data ends before its size
	if (end == copy_end::output) {
		const std::int64_t position = file_position(out, role::output);
		fail_exit("write error : %lld\n",
			  static_cast<long long>(position >= 0 ? position : at));
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
	// The header's bytes are counted, as no position can be asked of a FIFO.
	std::int64_t at = 0;
	if (!write_all(out.fd, role::output, header.data(), header.size(), at))
		name_exit("", out_path, " : wav header write error\n");
	if (seek_to(in, start, role::input) != start)
		read_error_at(file_position(in, role::input));
	copy_end end = copy_data(in, out.fd, start, at, data_size - cut_bytes);
	if (end == copy_end::whole && !write_zeros(out.fd, role::output, at, cut_bytes))
		end = copy_end::output;
	copy_failed(end, in, out.fd, at);
	finish_replacement(out, at);
}
