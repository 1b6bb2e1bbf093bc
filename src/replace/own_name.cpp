#include "own_name.h"

#include <cstdio>

#include "made.h"

void own_name(path_buffer &name, std::uint64_t stamp, const char *tag, const char *inside)
{
	static_cast<void>(std::snprintf(name.data(), name.size(), ".leadcut-%016llx%s%s%s",
					static_cast<unsigned long long>(stamp), tag,
					inside != nullptr ? "/" : "",
					inside != nullptr ? inside : "")); // far shorter
}

bool joined(path_buffer &path, const char *prefix, const char *name, const char *inside)
{
	const int n = std::snprintf(path.data(), path.size(), "%s%s%s%s", prefix, name,
				    inside != nullptr ? "/" : "", inside != nullptr ? inside : "");
	return static_cast<std::size_t>(n) < path.size(); // a failure is no size
}

namespace {

constexpr std::uint32_t private_mode = 0700;

// Whether the folder is the one made, with its facts: the runner's, empty
// and private; `told` false where a call failed, so that the system did not
// tell. Its mode is asked last, of an empty folder of the runner's: a mode
// that a call can change is one the filesystem keeps, so not that of the
// folder made; where it keeps none (exFAT, a CIFS share), no one's access
// can be told anyway.
bool is_private(int fd, role r, file_facts &facts, bool &told)
{
	file_facts again;
	bool listed = false;
	bool found = true;
	path_buffer entry;
	told = facts_of(fd, r, facts) && open_listing(fd, r, listed);
	if (!told || !listed || (facts.modes && facts.owner != runner())) // a folder, opened so
		return false;
	told = next_entry(r, entry, found);
	close_listing();
	if (!told || found || !facts.modes || facts.mode == private_mode ||
	    !set_mode(fd, private_mode, r))
		return told && !found;
	told = facts_of(fd, r, again);
	return told && again.mode != private_mode;
}

} // namespace

// A folder made that cannot be opened, or whose facts the system does not
// tell, is removed where its name still shows the runner's private folder;
// one found to be another is left as it is.
int make_own_folder(int folder, const char *name, role r, int slot)
{
	file_facts facts;
	bool told = false;
	if (!make_folder_at(folder, name, r))
		return -1;
	const int fd = open_folder_at(folder, name, r);
	if (fd >= 0 && is_private(fd, r, facts, told)) {
		made(slot, folder, name, facts, fd, r);
		return fd;
	}
	if (fd >= 0)
		static_cast<void>(close_file(fd, r)); // only looked at
	if (!told && facts_at(folder, name, r, facts) && facts.kind == file_kind::folder &&
	    (!facts.modes || (facts.owner == runner() && facts.mode == private_mode)))
		static_cast<void>(remove_at(folder, name, -1, true, r)); // the run fails either way
	return -1;
}
