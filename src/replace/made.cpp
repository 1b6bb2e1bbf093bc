#include "made.h"

#include <csignal>
#include <cstdio>

namespace {

// Written before they are armed, so that a signal handler reads them whole.
struct slot {
	file_facts facts{};
	int folder = -1;
	int fd = -1;
	role r = role::output;
	volatile std::sig_atomic_t armed = 0;
	path_buffer name{};
};
slot slots[made_slots];
bool removal_set = false;

// Runs at exit and in a signal handler: what it calls is safe there.
void remove_armed()
{
	for (int s = 0; s < made_slots; ++s) {
		if (slots[s].armed != 0)
			static_cast<void>(remove_made(s)); // the run ends either way
	}
}

} // namespace

void made(int s, int folder, const char *name, const file_facts &facts, int fd, role r)
{
	if (!removal_set) {
		removal_set = true;
		on_ending(remove_armed);
	}
	slot &it = slots[s];
	it.armed = 0;
	it.folder = folder;
	static_cast<void>(std::snprintf(it.name.data(), it.name.size(), "%s", name)); // it fits
	it.facts = facts;
	it.fd = fd;
	it.r = r;
	it.armed = 1;
}

void kept(int s, bool keep)
{
	slots[s].armed = keep ? 0 : 1;
}

void closed(int s)
{
	slots[s].fd = -1;
}

// Another user who may write the folder may have put something else under
// the name since: only the very file or folder made goes.
bool remove_made(int s)
{
	slot &it = slots[s];
	file_facts now;
	const bool there = facts_at(it.folder, it.name.data(), it.r, now) &&
			   now.kind == it.facts.kind && now.device == it.facts.device &&
			   now.index == it.facts.index;
	const int fd = it.fd;
	it.fd = -1;
	if (!there && fd >= 0)
		static_cast<void>(close_file(fd, it.r)); // what the name holds is not removed
	const bool gone = there && remove_at(it.folder, it.name.data(), fd,
					     it.facts.kind == file_kind::folder, it.r);
	it.armed = gone ? 0 : 1;
	return gone;
}
