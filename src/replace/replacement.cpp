#include "replacement.h"

#include <algorithm>
#include <cstdio>

#include "../cli/fatal.h"
#include "../cli/print.h"
#include "own_name.h"
#include "same_entry.h"

namespace {

// The new file and its folder, removed on any failure until the new file
// has taken the output's name or holds the only whole copy.
constexpr int output_slot = 0;

// A block for copying the new file back into the old one.
unsigned char block[std::size_t{1} << 20];

[[noreturn]] void open_error(const char *out_path)
{
	name_exit(name_was_too_long() ? "file name too long : " : "cannot open file : ", out_path,
		  "\n");
}

[[noreturn]] void replace_error(const replacement &out)
{
	name_exit("cannot replace file : ", out.out_path, "\n");
}

// Removes the folder that holds the new file, and the new file where it
// is still there.
void remove_own_folder(const replacement &out, bool with_file)
{
	path_buffer folder = out.temp;
	folder[name_start(folder.data()) - 1] = '\0';
	if ((with_file && !remove_file(out.temp.data())) || !remove_folder(folder.data()))
		name_exit("cannot remove folder : ", folder.data(), "\n");
}

// Writes the new file's size bytes over the old file open on `to` from its
// start; false on failure, with `at` where the old file's bytes end.
bool copy_back(int from, int to, std::int64_t size, std::int64_t &at)
{
	at = 0;
	if (seek_to(from, 0) != 0)
		return false;
	for (std::int64_t n; at < size; at += n) {
		n = read_some(
		    from, block,
		    static_cast<std::size_t>(std::min<std::int64_t>(size - at, sizeof block)));
		if (n <= 0 || write_some(to, block, static_cast<std::size_t>(n)) != n)
			return false;
	}
	return truncate_file(to, size);
}

// Where the new file cannot carry the old one's owner and group, the old
// file takes the cut in place, so that nobody's access changes: once the
// new file is whole on the disk, and with the signals that would end the
// run held back from then on, as once the old bytes change the run ends a
// whole one. Should it fail, the new file holds the cut.
void write_in_place(replacement &out, std::int64_t size)
{
	const int old = open_in_place(out.target.data());
	bool same = false;
	if (old < 0 || !same_file(old, out.old_fd, same) || !same || !sync_file(out.fd))
		replace_error(out);
	hold_signals();
	keep_file(output_slot);
	std::int64_t at;
	if (!copy_back(out.fd, old, size, at) || !close_file(old)) {
		say("write error : %lld\n", static_cast<long long>(at));
		name_exit("the whole cut is in : ", out.temp.data(), "\n");
	}
	static_cast<void>(close_file(out.fd));     // read back whole
	static_cast<void>(close_file(out.old_fd)); // only read
	remove_own_folder(out, true);
}

} // namespace

void open_replacement(int in, const char *in_path, const char *out_path, replacement &out)
{
	output_kind kind;
	out.out_path = out_path;
	if (!open_old_output(out_path, out.old_fd, kind))
		open_error(out_path);
	// A device may be standard error too, as the null device may.
	if (kind == output_kind::regular) {
		bool same = false;
		if (!same_file(in, out.old_fd, same))
			open_error_exit(out_path);
		if (same)
			name_exit("cannot overwrite input file : ", out_path, "\n");
		if (!same_file(2, out.old_fd, same))
			open_error_exit(out_path);
		if (same)
			name_exit("cannot overwrite standard error : ", out_path, "\n");
	}
	if (kind == output_kind::stream) {
		out.fd = out.old_fd;
		out.old_fd = -1;
		return;
	}

	// The new file goes beside the file the system's open reached, which
	// takes its place, a link staying a link; it is named as the output
	// in a folder of its own, which is a name no cache has seen.
	out.beside = true;
	const bool replacing = kind == output_kind::regular;
	const std::uint64_t stamp = unique_number();
	path_buffer folder;
	if (!(replacing ? open_file_name(out.old_fd, out_path, out.target)
			: std::snprintf(out.target.data(), out.target.size(), "%s", out_path) <
			      static_cast<int>(out.target.size())) ||
	    !own_name(folder, out.target.data(), stamp, "", false) ||
	    !own_name(out.temp, out.target.data(), stamp, "", true))
		open_error_exit(out_path);
	if (!make_folder(folder.data()))
		open_error(out_path);
	remove_at_exit(output_slot, out.temp.data(), -1);
	constexpr unsigned char data = 0;
	int fd = create_file(out.temp.data());
	if (fd < 0)
		open_error(out_path);
	remove_at_exit(output_slot, out.temp.data(), fd);
	if (write_some(fd, &data, 1) != 1 || !close_file(fd))
		open_error_exit(out_path);
	remove_at_exit(output_slot, out.temp.data(), -1);
	if (names_input(in, in_path, out.target.data(), stamp, replacing, out_path))
		name_exit("cannot overwrite input file : ", out_path, "\n");
	// Some views write an existing file only from its start.
	fd = open_truncated(out.temp.data());
	if (fd < 0)
		open_error_exit(out_path);
	out.fd = fd;
	remove_at_exit(output_slot, out.temp.data(), fd);
}

void finish_replacement(replacement &out, std::int64_t size)
{
	const bool replacing = out.old_fd >= 0;
	bool owned = true;
	if (out.beside && replacing && !carry_attributes(out.old_fd, out.fd, owned))
		open_error_exit(out.out_path);
	// Where the folder would let no new file take the name, neither does
	// the cut written in place.
	if (!owned && !may_take_name(out.target.data(), out.old_fd))
		replace_error(out);
	if (!owned)
		return write_in_place(out, size);
	if (!close_file(out.fd))
		fail_exit("write error : %lld\n", static_cast<long long>(size));
	if (!out.beside)
		return;
	remove_at_exit(output_slot, out.temp.data(), -1);
	// The name must still hold the file identified, not one put there since.
	// On a folder that ignores case the output takes the spelling it has:
	// a rename onto another one can fail where that name is held open.
	bool same = true;
	path_buffer spelling;
	path_buffer &name = out.target;
	const std::size_t start = name_start(name.data());
	if (replacing &&
	    (!names_file(name.data(), out.old_fd, same) || !same ||
	     !entry_spelling(name.data(), spelling) ||
	     static_cast<std::size_t>(std::snprintf(name.data() + start, name.size() - start, "%s",
						    spelling.data())) >= name.size() - start))
		open_error_exit(out.out_path);
	if (replacing)
		static_cast<void>(close_file(out.old_fd)); // only read
	// Once the cut has the name, the run ends as a whole one.
	hold_signals();
	if (!rename_file(out.temp.data(), name.data()))
		replace_error(out);
	remove_own_folder(out, false);
	keep_file(output_slot);
}
