#include "own_name.h"

#include <cstdio>

#include "made.h"

bool own_name(path_buffer &name, std::uint64_t stamp, const char *tag, const char *inside)
{
	const int n = std::snprintf(name.data(), name.size(), ".leadcut-%016llx%s%s%s",
				    static_cast<unsigned long long>(stamp), tag,
				    inside != nullptr ? "/" : "", inside != nullptr ? inside : "");
	return n >= 0 && static_cast<std::size_t>(n) < name.size();
}

bool joined(path_buffer &path, const char *prefix, const char *name, const char *inside)
{
	const int n = std::snprintf(path.data(), path.size(), "%s%s%s%s", prefix, name,
				    inside != nullptr ? "/" : "", inside != nullptr ? inside : "");
	return n >= 0 && static_cast<std::size_t>(n) < path.size();
}

namespace {

constexpr std::uint32_t private_mode = 0700;

// The folder made: the runner's, private and empty. A mode that a call can
// change is one the filesystem keeps, so not that of the folder made; where
// it keeps none (exFAT), no one's access can be told anyway.
bool is_private(int fd, const file_facts &facts, role r)
{
	file_facts again;
	if (facts.kind != file_kind::folder || (facts.modes && facts.owner != runner()))
		return false;
	if (facts.modes && facts.mode != private_mode && set_mode(fd, private_mode, r) &&
	    (!facts_of(fd, r, again) || again.mode == private_mode))
		return false;
	bool listed;
	bool found = true;
	path_buffer entry;
	if (!open_listing(fd, r, listed) || !listed)
		return false;
	const bool read = next_entry(r, entry, found);
	close_listing();
	return read && !found;
}

// Removes a folder made that could not be held, where its name still shows
// the runner's private folder.
void abandon(int folder, const char *name, role r)
{
	file_facts facts;
	if (facts_at(folder, name, r, facts) && facts.kind == file_kind::folder &&
	    (!facts.modes || (facts.owner == runner() && facts.mode == private_mode)))
		static_cast<void>(remove_at(folder, name, true, r)); // the run fails either way
}

} // namespace

int make_own_folder(int folder, const char *name, role r, int slot)
{
	if (!make_folder_at(folder, name, r))
		return -1;
	const int fd = open_folder_at(folder, name, r);
	file_facts facts;
	if (fd >= 0 && facts_of(fd, r, facts) && is_private(fd, facts, r)) {
		made(slot, folder, name, facts, fd, r);
		return fd;
	}
	if (fd >= 0)
		static_cast<void>(close_file(fd, r)); // only opened
	abandon(folder, name, r);
	return -1;
}
