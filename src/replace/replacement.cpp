// How a file is replaced, in the order a cut does it; each step's routine
// says why. A name may lead elsewhere at the next call, and the inode
// numbers, times and cached pages of FUSE and network views do not tell
// files apart, so every decision is made on open files, and on names no
// cache has seen.
// 1. The output is opened as the system's open reaches it (links followed
//    with the kernel's protections) and judged by what was opened. Its
//    folder is opened once, with the last part that must hold that very
//    file; where that part is a link, the name the system gives the open
//    file is taken, and without one the output is refused (locate).
// 2. Another user may write that folder. The program's own folder is made
//    in it and held without following a link, and must be a folder, the
//    runner's, private and empty (own_name.cpp). The new file is made in
//    it once and never opened by name again; the rename and each removal
//    act at those handles. What the run makes has a slot with its identity,
//    removed at the end, on a failure or on an ending signal only where its
//    name still shows it (made.cpp).
// 3. The new file holds a byte while its name with the input's last part
//    is looked up from the input's folder: only a folder that holds both
//    names as one entry finds it, by its own rules of case. Where the
//    input's filesystem may answer from a listing it keeps, a mark made
//    through the input's folder is sought from the output's; nowhere else
//    is anything made on the input's side (same_entry.cpp).
// 4. The new file gets the old one's owner, group, attributes, ACL and
//    mode before the first byte of the cut, so the system drops from it
//    what it drops from any file written. Where owner or group cannot go,
//    the old file takes the cut in place (write_in_place), unless a sticky
//    folder would refuse the rename (may_take_name).
#include "replacement.h"

#include <cstdio>

#include "../cli/fatal.h"
#include "../cli/print.h"
#include "copier.h"
#include "made.h"
#include "own_name.h"
#include "same_entry.h"

namespace {

[[noreturn]] void open_error(const char *out_path)
{
	name_exit(name_was_too_long(out_path) ? "file name too long : " : "cannot open file : ",
		  out_path, "\n");
}

[[noreturn]] void replace_error(const replacement &out)
{
	name_exit("cannot replace file : ", out.out_path, "\n");
}

// One file, as far as the system tells; one of them is a regular file, so
// a device or a pipe, of another device, is never it.
bool same(const file_facts &a, const file_facts &b)
{
	return a.device == b.device && a.index == b.index;
}

// Splits `path` into the folder it names, opened, and its last part.
int open_folder_of(const char *path, path_buffer &prefix, path_buffer &name)
{
	// Parts of a path that fits.
	const std::size_t start = name_start(path);
	static_cast<void>(
	    std::snprintf(prefix.data(), prefix.size(), "%.*s", static_cast<int>(start), path));
	static_cast<void>(std::snprintf(name.data(), name.size(), "%s", path + start));
	return open_folder(start > 0 ? prefix.data() : ".", role::folder);
}

// Whether the output's name in its folder holds the old file itself, not
// a link to it nor a file put there since.
bool holds_old(const replacement &out)
{
	file_facts facts;
	if (!facts_at(out.folder, out.name.data(), role::folder, facts))
		open_error_exit(out.out_path);
	return facts.kind == file_kind::regular && same(facts, out.old);
}

// The folder of the file the output's open reached and its name there:
// the output's own, unless its last part is a link (or holds another file
// by now); then the name the system gives the open file, where it keeps
// one (a link's target, a short name's long one).
void locate(replacement &out, bool replacing)
{
	out.folder = open_folder_of(out.out_path, out.prefix, out.name);
	if (out.folder < 0)
		open_error(out.out_path);
	if (!replacing || holds_old(out))
		return;
	path_buffer reached;
	static_cast<void>(close_file(out.folder, role::folder)); // only looked in
	if (!file_name(out.old_fd, role::old, reached) ||
	    (out.folder = open_folder_of(reached.data(), out.prefix, out.name)) < 0 ||
	    !holds_old(out))
		open_error_exit(out.out_path);
}

// The path of what the run made, as it is shown: from the output's folder.
void shown(const replacement &out, const char *inside, path_buffer &path)
{
	if (!joined(path, out.prefix.data(), out.own_name.data(), inside))
		path[0] = '\0'; // no longer than the name the system took
}

// As the system decides it for a rename: the sticky bit protects each
// user's names, but for the folder's owner and root.
bool may_take_name(const replacement &out)
{
	file_facts folder;
	const std::uint32_t me = runner();
	if (!facts_of(out.folder, role::folder, folder))
		open_error_exit(out.out_path);
	return !folder.modes || (folder.mode & 01000) == 0 || me == 0 || out.old.owner == me ||
	       folder.owner == me;
}

// Where the new file cannot carry the old one's owner and group, the old
// file takes the cut in place, so that nobody's access changes: once the
// new file is whole on the disk and the old one has room for it all, and
// with the signals that would end the run held back from then on, as once
// the old bytes change the run ends a whole one. Should it fail, the new
// file holds the cut; the old file is on the disk before the new one goes.
void write_in_place(replacement &out, std::int64_t size)
{
	const int old = open_in_place(out.old_fd, role::old);
	if (old < 0)
		replace_error(out);
	if (!sync_file(out.fd, role::output))
		fail_exit("write error : %lld\n", static_cast<long long>(size));
	if (seek_to(out.fd, 0, role::own) != 0 || seek_to(old, 0, role::old) != 0)
		fail_exit("write error : 0\n");
	// Room set aside by writing zeros past the old end changes the file: it
	// is taken back where it fails, and nothing may end the run meanwhile.
	hold_endings();
	if (!reserve_size(old, size, role::old)) {
		if (held_elsewhere())
			replace_error(out);
		fail_exit("write error : 0\n");
	}
	kept(new_file);
	kept(own_folder);
	// Both files stand at their starts: the new file is the program's own
	// copy by now, and the old one takes it whole.
	std::int64_t at = 0;
	if (copy_blocks(out.fd, role::own, old, role::old, at, static_cast<std::uint64_t>(size)) !=
		copy_end::whole ||
	    !sync_file(old, role::old)) {
		path_buffer path;
		shown(out, out.name.data(), path);
		say("write error : %lld\n", static_cast<long long>(at));
		name_exit("the whole cut is in : ", path.data(), "\n");
	}
	static_cast<void>(close_file(old, role::old)); // on the disk already
	closed(new_file);
	static_cast<void>(close_file(out.fd, role::own)); // only read back
	kept(new_file, false);                            // no longer the only whole cut
	kept(own_folder, false);
	if (!remove_made(new_file) || !remove_made(own_folder)) {
		path_buffer path;
		shown(out, nullptr, path);
		name_exit("cannot remove folder : ", path.data(), "\n");
	}
}

} // namespace

void open_replacement(int in, const char *in_path, const char *out_path, replacement &out)
{
	file_kind kind;
	bool writable;
	out.out_path = out_path;
	if (device_name(out_path) || !open_old_output(out_path, out.old_fd, kind, writable))
		open_error(out_path);
	// A file its owner made read-only stays, though its folder would let a
	// new file take its name.
	if (kind != file_kind::none && !writable)
		open_error_exit(out_path);
	if (kind == file_kind::stream) {
		out.fd = out.old_fd;
		out.old_fd = -1;
		return;
	}
	const bool replacing = kind == file_kind::regular;
	if (replacing) {
		// A device may be standard error too, as the null device may.
		file_facts input;
		file_facts err;
		if (!facts_of(out.old_fd, role::old, out.old) ||
		    !facts_of(in, role::input, input) || !facts_of(2, role::err, err))
			open_error_exit(out_path);
		// Where indexes may be alike on two volumes, the lookup below decides.
		if (input.identified && out.old.identified && same(input, out.old))
			name_exit("cannot overwrite input file : ", out_path, "\n");
		if (err.identified && same(err, out.old))
			name_exit("cannot overwrite standard error : ", out_path, "\n");
	}

	// The new file goes beside the file the system's open reached, which
	// takes its place, a link staying a link; it is named as the output
	// in a folder of its own, which is a name no cache has seen.
	out.beside = true;
	locate(out, replacing);
	const std::uint64_t stamp = unique_number();
	own_name(out.own_name, stamp, "");
	out.own = make_own_folder(out.folder, out.own_name.data(), role::own, own_folder);
	if (out.own < 0)
		open_error_exit(out_path);
	out.fd = create_at(out.own, out.name.data(), role::output);
	file_facts made_file;
	if (out.fd < 0)
		open_error(out_path);
	if (!facts_of(out.fd, role::output, made_file)) {
		// In the program's own folder, which no one else writes.
		static_cast<void>(remove_at(out.own, out.name.data(), out.fd, false, role::output));
		open_error_exit(out_path);
	}
	made(new_file, out.own, out.name.data(), made_file, out.fd, role::output);
	// Held open, it is looked up with a byte in it, put on the disk where
	// a view may show a name only then; the cut is then written from its
	// start.
	constexpr unsigned char data = 0;
	if (write_some(out.fd, &data, 1, role::own) != 1 ||
	    (may_keep_listing(out.fd) && !sync_file(out.fd, role::own)))
		open_error_exit(out_path);
	// The output's name as its folder spells it, which a folder holding two
	// spellings tells from the input's.
	path_buffer spelled = out.name;
	if (replacing && !entry_spelling(out.folder, out.name.data(), spelled))
		open_error_exit(out_path);
	if (names_input(in, in_path, out.folder, out.name.data(), spelled.data(), stamp, replacing,
			out_path))
		name_exit("cannot overwrite input file : ", out_path, "\n");
	// The header covers the byte. Emptied instead, the file would be written
	// out to the disk when closed, as ext4 does with a file emptied and
	// written again: twice the time of a copy.
	if (seek_to(out.fd, 0, role::output) != 0)
		open_error_exit(out_path);
	// Given before a byte of the cut is written, so that the system drops
	// what it drops from any file written (file capabilities; the set-ID
	// bits, for a runner without the right to keep them).
	bool owned = true;
	bool exact = true;
	if (replacing && !carry_attributes(out.old_fd, out.fd, owned, exact))
		open_error_exit(out_path);
	if (!exact)
		replace_error(out);
	out.in_place = !owned;
	// Where the folder would let no new file take the name, neither does
	// the cut written in place.
	if (out.in_place && !may_take_name(out))
		replace_error(out);
}

void finish_replacement(replacement &out, std::int64_t size)
{
	if (out.in_place)
		return write_in_place(out, size);
	closed(new_file);
	if (!close_file(out.fd, role::output))
		fail_exit("write error : %lld\n", static_cast<long long>(size));
	if (!out.beside)
		return;
	// The name must still hold the file identified, not one put there since.
	// On a folder that ignores case the output takes the spelling it has:
	// a rename onto another one can fail where that name is held open.
	const bool replacing = out.old_fd >= 0;
	path_buffer target;
	if (replacing && (!holds_old(out) || !entry_spelling(out.folder, out.name.data(), target)))
		open_error_exit(out.out_path);
	if (!replacing)
		target = out.name;
	if (replacing)
		static_cast<void>(close_file(out.old_fd, role::old)); // only read
	// Once the cut has the name, the run ends as a whole one.
	hold_endings();
	if (!rename_at(out.own, out.name.data(), out.folder, target.data(), role::output))
		replace_error(out);
	kept(new_file);
	if (!remove_made(own_folder)) {
		path_buffer path;
		shown(out, nullptr, path);
		name_exit("cannot remove folder : ", path.data(), "\n");
	}
}
