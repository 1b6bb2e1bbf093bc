// The program's seam: no call fails, and the system is seen as it is.
#include "seam.h"

int fault_at(const char *, role)
{
	return 0;
}

void fault_facts(role, file_facts &)
{
}

std::size_t fault_count(role, std::size_t count)
{
	return count;
}
