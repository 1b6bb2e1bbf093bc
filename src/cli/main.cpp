#include "../compat/compat.h"
#include "../wav/header_reader.h"
#include "cli.h"
#include "fatal.h"
#include "print.h"

namespace {

enum : std::int32_t { report_only = 0, report_listed = 1, report_and_cut = 2 };

} // namespace

// Scans the options, checks the operands, prints the report and, with an
// output name and a time, writes the trimmed copy.
int main(int argc, char *argv[])
{
	if (!open_standard_streams())
		return 1; // a file opened later could take a stream's place
	binary_stderr();
	ignore_write_signals();
	utf8_arguments(argc, argv);
	std::int32_t mode = report_only;
	for (std::int32_t c; (c = get_option(argc, argv, "cl")) != -1;) {
		if (c == 'c')
			mode = report_and_cut;
		else if (c == 'l')
			mode = report_listed;
		else
			usage_exit();
	}
	const int operands = argc - opt_index;
	if (operands < 1)
		usage_exit();

	name_buffer in_path;
	if (!copy_name(in_path, argv[opt_index]))
		name_exit("file name too long : ", argv[opt_index], "\n");

	std::int32_t action = mode;
	name_buffer out_path;
	std::int32_t time_ms = 0;
	if (operands >= 3) {
		action = report_and_cut;
		prepare_cut(argv[opt_index + 1], argv[opt_index + 2], out_path, time_ms);
	} else if (action == report_and_cut) {
		usage_exit(); // -c without an output name and a time
	}

	std::uint16_t channels = 0;
	std::uint32_t samples_per_sec = 0;
	std::uint16_t bits_per_sample = 0;
	std::int64_t data_offset = 0;
	std::uint32_t data_size = 0;
	unsigned chunks_seen = 0;
	std::FILE *in; // open to the end of the run, which closes it
	read_wav_header(in_path.data(), channels, samples_per_sec, bits_per_sample, data_offset,
			data_size, chunks_seen, in);
	if (action == report_and_cut)
		cut_lead_in(in, in_path.data(), out_path.data(), time_ms, chunks_seen, channels,
			    samples_per_sec, bits_per_sample, data_offset, data_size);
	return final_status();
}
