// Starts leadcut.exe with the command line this program was given, but named
// "leadcut" as a shell would name it: Wine hands a program its DOS path
// instead. The exit status passes through. HELD names a file held open for
// reading meanwhile, sharing its writing and deletion, as indexers hold one.
#include <string>
#include <windows.h>

int wmain() {
	std::wstring line = GetCommandLineW();
	const std::size_t name_end = line[0] == L'"' ? line.find(L'"', 1) + 1 : line.find(L' ');
	line.replace(0, name_end, L"leadcut");
	STARTUPINFOW startup{};
	startup.cb = sizeof startup;
	PROCESS_INFORMATION child;
	DWORD status = 126;
	wchar_t held[MAX_PATH];
	const HANDLE hold =
	    GetEnvironmentVariableW(L"HELD", held, MAX_PATH) > 0
		? CreateFileW(held, GENERIC_READ,
			      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
			      OPEN_EXISTING, 0, nullptr)
		: INVALID_HANDLE_VALUE;
	// Named by its command line alone, leadcut.exe is looked for beside this program first.
	if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
			   &startup, &child)) {
		WaitForSingleObject(child.hProcess, INFINITE);
		GetExitCodeProcess(child.hProcess, &status);
	}
	if (hold != INVALID_HANDLE_VALUE) CloseHandle(hold);
	return static_cast<int>(status);
}
