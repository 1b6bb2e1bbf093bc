#include "same_entry.h"

#include <cstdio>
#include <cstring>

#include "../cli/fatal.h"
#include "../compat/compat.h"
#include "made.h"
#include "own_name.h"

namespace {

// Whether a name exists in a folder; the system must tell.
bool found(int folder, const path_buffer &name, const char *out_path)
{
	file_facts facts;
	if (!facts_at(folder, name.data(), role::folder, facts))
		open_error_exit(out_path);
	return facts.kind != file_kind::none;
}

// A mark, holding data and closed (some views make a name only then), in
// a folder of the program's own in the input's, `folder`: that own folder,
// open, or -1 where it cannot be made. What was made is removed at exit,
// or at once by the caller.
int made_mark(int folder, const path_buffer &name, const char *in_name)
{
	constexpr unsigned char data = 0;
	const int own = make_own_folder(folder, name.data(), role::mark, mark_folder);
	const int fd = own < 0 ? -1 : create_at(own, in_name, role::mark);
	file_facts facts;
	if (fd >= 0 && !facts_of(fd, role::mark, facts)) {
		// In the program's own folder, which no one else writes.
		static_cast<void>(remove_at(own, in_name, fd, false, role::mark));
		return -1;
	}
	if (fd >= 0)
		made(mark_file, own, in_name, facts, -1, role::mark);
	const bool written = fd >= 0 && write_some(fd, &data, 1, role::mark) == 1;
	// What could not be made whole stays armed, to go at exit.
	return fd >= 0 && close_file(fd, role::mark) && written ? own : -1;
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
bool names_input(int in, const char *in_path, int folder, const char *name, const char *spelled,
		 std::uint64_t stamp, bool existing, const char *out_path)
{
	path_buffer in_name;
	path_buffer sought;
	path_buffer mark;
	path_buffer back;
	// Where the system keeps no name of the open input, the one it was
	// opened by stands: but for a link, whose target only the system finds.
	const bool named = file_name(in, role::input, in_name);
	if (!named) // a name of the command line fits
		static_cast<void>(std::snprintf(in_name.data(), in_name.size(), "%s", in_path));
	const std::size_t start = name_start(in_name.data());
	const char *in_base = in_name.data() + start;
	path_buffer prefix{'.'};
	if (start > 0) // a part of it
		static_cast<void>(std::snprintf(prefix.data(), prefix.size(), "%.*s",
						static_cast<int>(start), in_name.data()));
	own_name(sought, stamp, "", in_base);
	own_name(mark, stamp, "+");
	own_name(back, stamp, "+", name);
	const int in_folder = open_folder(prefix.data(), role::folder);
	if (in_folder < 0)
		open_error_exit(out_path);
	file_facts entry;
	if (!facts_at(in_folder, in_base, role::folder, entry))
		open_error_exit(out_path);
	const bool lost = !named && entry.kind == file_kind::link;
	// A folder that holds two spellings of the name tells them apart,
	// whatever its lookups say.
	const bool there = !lost && found(in_folder, sought, out_path);
	bool same = there && !(existing && two_entries(in_name.data(), spelled));
	const int own =
	    there || lost || !may_keep_listing(in) ? -1 : made_mark(in_folder, mark, in_base);
	if (own >= 0) {
		same = found(folder, back, out_path);
		path_buffer shown;
		if (!joined(shown, start > 0 ? prefix.data() : "", mark.data(), nullptr))
			shown[0] = '\0'; // no longer than the names the system took
		if (!remove_made(mark_file) || !remove_made(mark_folder))
			name_exit("cannot remove folder : ", shown.data(), "\n");
	} else if (existing && !there && may_keep_listing(in)) {
		name_exit("cannot tell input from output : ", out_path, "\n");
	}
	static_cast<void>(close_file(in_folder, role::folder)); // only acted in
	return same;
}
