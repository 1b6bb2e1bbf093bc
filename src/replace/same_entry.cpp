#include "same_entry.h"

#include "../cli/fatal.h"
#include "../compat/compat.h"
#include "own_name.h"

namespace {

constexpr int mark_slot = 1;

// Whether a name exists; the system must tell.
bool found(const path_buffer &path, const char *out_path)
{
	bool there;
	if (!name_exists(path.data(), there))
		open_error_exit(out_path);
	return there;
}

// A mark, holding data and closed (some views make a name only then), in
// the program's own folder beside `beside`; false where it cannot be made.
// What was made is removed at exit, or at once by the caller.
bool made_mark(const path_buffer &folder, const path_buffer &mark)
{
	constexpr unsigned char data = 0;
	if (!make_folder(folder.data()))
		return false;
	remove_at_exit(mark_slot, mark.data(), -1);
	const int fd = create_file(mark.data());
	remove_at_exit(mark_slot, mark.data(), fd);
	const bool written = fd >= 0 && write_some(fd, &data, 1) == 1;
	const bool closed = fd >= 0 && close_file(fd);
	remove_at_exit(mark_slot, mark.data(), -1);
	return written && closed;
}

} // namespace

// Decided on names no cache has seen: the new file's name with the input's
// name in place of the output's is sought from the input's folder. The
// folder finds it only if the two folders are one and it holds both names
// as one entry, by its own rules of case. Where the input's folder may
// answer from a listing it keeps (rclone's view of the output's folder
// does), it is asked the other way round: a mark made through it is sought
// from the output's folder. Only then is anything made on the input's
// side, and where nothing can be made there, only a new name is written.
bool names_input(int in, const char *in_path, const char *target, std::uint64_t stamp,
		 bool existing, const char *out_path)
{
	path_buffer in_name;
	path_buffer sought;
	path_buffer folder;
	path_buffer mark;
	path_buffer back;
	if (!open_file_name(in, in_path, in_name))
		open_error_exit(in_path);
	if (!own_name(sought, in_name.data(), stamp, "", true) ||
	    !own_name(folder, in_name.data(), stamp, "+", false) ||
	    !own_name(mark, in_name.data(), stamp, "+", true) ||
	    !own_name(back, target, stamp, "+", true))
		open_error_exit(out_path);
	// A folder that holds two spellings of the name tells them apart,
	// whatever its lookups say.
	const bool there = found(sought, out_path);
	if (there || !may_keep_listing(in))
		return there && !(existing && two_entries(in_name.data(), target));
	if (!made_mark(folder, mark)) {
		if (existing)
			name_exit("cannot tell input from output : ", out_path, "\n");
		return false;
	}
	const bool same = found(back, out_path);
	if (!remove_file(mark.data()) || !remove_folder(folder.data()))
		name_exit("cannot remove folder : ", folder.data(), "\n");
	keep_file(mark_slot);
	return same;
}
