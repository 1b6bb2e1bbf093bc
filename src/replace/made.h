// What the run makes beside the user's files, and its removal.
#ifndef LEADCUT_REPLACE_MADE_H
#define LEADCUT_REPLACE_MADE_H

#include "../compat/compat.h"

// One slot a thing the run makes, in the order they are removed: a file
// before the folder that holds it.
enum : int { new_file, own_folder, mark_file, mark_folder, made_slots };

// Arms `slot` for the entry `name` of the folder open on `folder`, which
// holds what `facts` tell of (a folder, or a file open on fd, or -1): it is
// removed at the end of the run, by any failure or ending signal, unless
// kept, and only where the name still holds it.
void made(int slot, int folder, const char *name, const file_facts &facts, int fd, role r);

// Disarms `slot` (arms it again, with `keep` false): what it holds stays,
// though remove_made may still remove it.
void kept(int slot, bool keep = true);

// Forgets the descriptor of `slot`, which its caller closed.
void closed(int slot);

// Removes what the slot holds now, armed or not, where its name still holds
// it, and closes its descriptor; false where it cannot, and the slot is
// then armed, to be tried again at the end.
bool remove_made(int slot);

#endif
