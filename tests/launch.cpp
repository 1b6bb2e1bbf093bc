// Starts $LEADCUT_PROGRAM.exe (leadcut unless given) with the command line this program was
// given, but named "leadcut" as a shell would name it: Wine hands a program its DOS path instead.
// The exit status passes through. HELD names a file held open for reading meanwhile, sharing its
// writing and deletion, as indexers hold one; MAPPED one mapped into memory, its handle closed,
// as viewers leave one. SURROGATE puts a lone surrogate in place of each U+FFFD of the line,
// which no shell can pass.
#include <string>
#include <windows.h>

namespace {

HANDLE named(const wchar_t *variable) {
	wchar_t name[MAX_PATH];
	return GetEnvironmentVariableW(variable, name, MAX_PATH) > 0
		   ? CreateFileW(name, GENERIC_READ,
				 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
				 OPEN_EXISTING, 0, nullptr)
		   : INVALID_HANDLE_VALUE;
}

} // namespace

int wmain() {
	std::wstring line = GetCommandLineW(), program = L"leadcut";
	wchar_t name[MAX_PATH];
	if (GetEnvironmentVariableW(L"LEADCUT_PROGRAM", name, MAX_PATH) > 0) program = name;
	const std::size_t name_end = line[0] == L'"' ? line.find(L'"', 1) + 1 : line.find(L' ');
	line.replace(0, name_end, program);
	if (GetEnvironmentVariableW(L"SURROGATE", name, MAX_PATH) > 0)
		for (wchar_t &c : line) c = c == 0xFFFD ? wchar_t(0xD800) : c;
	STARTUPINFOW startup{};
	startup.cb = sizeof startup;
	PROCESS_INFORMATION child;
	DWORD status = 126;
	const HANDLE hold = named(L"HELD"), mapped = named(L"MAPPED");
	const HANDLE section =
	    mapped == INVALID_HANDLE_VALUE
		? nullptr
		: CreateFileMappingW(mapped, nullptr, PAGE_READONLY, 0, 0, nullptr);
	const void *view = section ? MapViewOfFile(section, FILE_MAP_READ, 0, 0, 0) : nullptr;
	if (section) CloseHandle(section);
	if (mapped != INVALID_HANDLE_VALUE) CloseHandle(mapped);
	// Named by its command line alone, the program is looked for beside this one first.
	if ((mapped == INVALID_HANDLE_VALUE || view) &&
	    CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
			   &startup, &child)) {
		WaitForSingleObject(child.hProcess, INFINITE);
		GetExitCodeProcess(child.hProcess, &status);
	}
	if (view) UnmapViewOfFile(view);
	if (hold != INVALID_HANDLE_VALUE) CloseHandle(hold);
	return static_cast<int>(status);
}
