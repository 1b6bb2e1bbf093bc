#include "output.h"

#include <cstring>

#include "../cli/fatal.h"

namespace {

// The longest name a folder holds, in bytes (Windows counts UTF-16 units,
// never more than the bytes).
constexpr std::size_t entry_max = 255;

// What the new file's name begins with: a dot, as it is no file of the
// user's, and the program that left it, should one ever be left.
constexpr const char *prefix = ".leadcut-";

// The files a cut makes: its new output, and for a moment a mark in the
// input's folder.
constexpr int output_slot = 0;
constexpr int mark_slot = 1;

void write_header(int fd, const wav_header_bytes &header, const char *out_path)
{
	for (std::size_t at = 0; at < header.size();) {
		const std::int64_t n = write_some(fd, header.data() + at, header.size() - at);
		if (n <= 0)
			name_exit("", out_path, " : wav header write error\n");
		at += static_cast<std::size_t>(n);
	}
}

// Puts name in the folder of `of`: false when the path would not fit.
bool in_folder(path_buffer &path, const char *of, const char *name)
{
	const std::size_t folder = name_start(of);
	const std::size_t length = std::strlen(name);
	if (folder + length >= path_max)
		return false;
	std::memmove(path.data(), of, folder);
	std::memcpy(path.data() + folder, name, length + 1);
	return true;
}

// A name of the program's own for `file`: ".leadcut-DIGITS-FILE" for a new
// output, with '+' for a mark, or where that would be too long
// ".leadcut-DIGITS-.tmp", and then false. The digits of the stamp tell the
// process and the moment: no cache of a view of any folder has seen them.
bool own_name(char (&name)[entry_max + 1], std::uint64_t stamp, char tag, const char *file)
{
	const auto number = static_cast<unsigned long long>(stamp);
	if (std::snprintf(name, sizeof name, "%s%016llx%c%s", prefix, number, tag, file) <
	    static_cast<int>(sizeof name))
		return true;
	static_cast<void>(std::snprintf(name, sizeof name, "%s%016llx%c.tmp", prefix, number, tag));
	return false;
}

// Whether `sought` is found in the folder of `of`; the system must tell.
bool found_in(const char *of, const char *sought, const char *out_path)
{
	path_buffer path;
	bool found;
	if (!in_folder(path, of, sought) || !name_exists(path.data(), found))
		open_error_exit(out_path);
	return found;
}

// Whether a mark made in the folder of `made_in`, named after `made_for`, is
// found from the folder of `sought_in` under the name of `sought_for`. The
// mark holds data and is closed before it is sought: some views make a name
// only then. Where the folder lets nothing be made, nothing is found.
bool mark_found(const char *made_in, const char *made_for, const char *sought_in,
		const char *sought_for, std::uint64_t stamp, const char *out_path)
{
	char mark[entry_max + 1];
	char sought[entry_max + 1];
	static_cast<void>(own_name(mark, stamp, '+', made_for));
	static_cast<void>(own_name(sought, stamp, '+', sought_for));
	path_buffer path;
	bool refused;
	constexpr unsigned char data = 0;
	if (!in_folder(path, made_in, mark))
		open_error_exit(out_path);
	const int fd = create_file(path.data(), true, refused);
	if (fd < 0 && refused)
		return false;
	if (fd < 0)
		open_error_exit(out_path);
	remove_at_exit(mark_slot, path.data(), fd);
	if (write_some(fd, &data, 1) != 1 || !close_file(fd))
		open_error_exit(out_path);
	remove_at_exit(mark_slot, path.data(), -1);
	const bool found = found_in(sought_in, sought, out_path);
	if (!remove_file(path.data()))
		open_error_exit(out_path);
	keep_file(mark_slot);
	return found;
}

// Whether the output names the input's own entry, decided on names no cache
// has seen. The new file, named after the output, was made in the output's
// folder; the same name with the input's name in its place is sought from
// the input's folder. The folder finds it only if the two folders are one
// and it holds both names as one entry: the same bytes, or the same but for
// case where it ignores case (a view of it may not). A view that answers
// for names it did not make from a listing it keeps is asked the other way
// round: a mark made through the input's folder is sought from the output's.
// Where such names would be too long, the programs' own names show only
// whether the folders are one, and the names are compared as a folder that
// ignores case would.
bool names_input(const char *in_path, const cut_output &out, std::uint64_t stamp,
		 const char *out_path)
{
	path_buffer in_target;
	if (!final_target(in_path, in_target))
		open_error_exit(out_path);
	const char *in_name = in_target.data() + name_start(in_target.data());
	const char *out_name = out.target.data() + name_start(out.target.data());
	char sought[entry_max + 1];
	char made[entry_max + 1];
	const bool in_fits = own_name(sought, stamp, '-', in_name);
	const bool named = own_name(made, stamp, '-', out_name) && in_fits; // made: the new file's
	const char *made_for = named ? in_name : "";
	const char *sought_for = named ? out_name : "";
	const bool found =
	    found_in(in_target.data(), named ? sought : made, out_path) ||
	    mark_found(in_target.data(), made_for, out.target.data(), sought_for, stamp, out_path);
	return found && (named || same_but_case(in_name, out_name));
}

} // namespace

void open_cut_output(int in, const char *in_path, const char *out_path,
		     const wav_header_bytes &header, cut_output &out)
{
	output_kind kind;
	if (!final_target(out_path, out.target) ||
	    !open_output(out.target.data(), out.old_fd, kind))
		open_error_exit(out_path);
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
		write_header(out.fd, header, out_path);
		return;
	}

	out.beside = true;
	const char *out_name = out.target.data() + name_start(out.target.data());
	const std::uint64_t stamp = unique_number();
	char name[entry_max + 1];
	static_cast<void>(own_name(name, stamp, '-', out_name));
	if (!in_folder(out.temp, out.target.data(), name))
		open_error_exit(out_path);
	const bool replacing = kind == output_kind::regular;
	bool refused;
	int fd = create_file(out.temp.data(), replacing, refused);
	if (fd < 0)
		open_error_exit(out_path);
	remove_at_exit(output_slot, out.temp.data(), fd);
	write_header(fd, header, out_path);
	if (!close_file(fd))
		name_exit("", out_path, " : wav header write error\n");
	remove_at_exit(output_slot, out.temp.data(), -1);
	if (names_input(in_path, out, stamp, out_path))
		name_exit("cannot overwrite input file : ", out_path, "\n");
	// On a folder that ignores case the output takes the spelling it has:
	// a rename onto another one can fail where that name is held open.
	path_buffer spelling;
	if (replacing && (!entry_spelling(out.target.data(), spelling) ||
			  !in_folder(out.target, out.target.data(), spelling.data())))
		open_error_exit(out_path);
	// Some views write an existing file only from its start.
	fd = open_truncated(out.temp.data());
	if (fd < 0)
		open_error_exit(out_path);
	out.fd = fd;
	remove_at_exit(output_slot, out.temp.data(), fd);
	write_header(fd, header, out_path);
}

void finish_cut_output(cut_output &out, std::int64_t size)
{
	const bool replacing = out.old_fd >= 0;
	if (out.beside && replacing)
		copy_owner_and_mode(out.old_fd, out.fd);
	if (!close_file(out.fd))
		fail_exit("write error : %lld\n", static_cast<long long>(size));
	if (!out.beside)
		return;
	remove_at_exit(output_slot, out.temp.data(), -1);
	if (replacing)
		static_cast<void>(close_file(out.old_fd)); // only read
	// Where the old name is gone and the new file could not take it, the new
	// file stays under its own name: it is then the only copy.
	bool removed;
	const bool replaced = replace_file(out.temp.data(), out.target.data(), replacing, removed);
	if (replaced || removed)
		keep_file(output_slot);
	if (!replaced)
		fail_exit("write error : %lld\n", static_cast<long long>(size));
}
