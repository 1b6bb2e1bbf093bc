// The Windows side of compat.h: the C runtime's descriptors and the wide
// (UTF-16) calls, so that no name passes through the ANSI code page.
#include "compat.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <shellapi.h>

namespace {

// One call moves less than 2^31 bytes.
constexpr std::size_t call_max = std::size_t{1} << 30;

// The longest name that bears a terminating zero after it, in UTF-16 units.
constexpr int name_room = 260;

// The longest command line, in UTF-16 units.
constexpr int line_max = 32768;
using wide_text = std::array<wchar_t, line_max>;

// The UTF-16 form of a UTF-8 text, as the wide calls take it.
bool to_wide(const char *text, wide_text &wide)
{
	return MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), line_max) > 0;
}

// The handle under a descriptor, and whether it is a file on a disk rather
// than a device such as NUL, which has no identity and is written in place.
HANDLE disk_file(int fd, bool &on_disk)
{
	const auto h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
	on_disk = GetFileType(h) == FILE_TYPE_DISK;
	return h;
}

// The name the system gives the file open on h, its links resolved, as the
// older calls take it: without the "\\?\" before it.
bool final_name(HANDLE h, wide_text &name)
{
	wchar_t *text = name.data();
	const DWORD n = GetFinalPathNameByHandleW(h, text, line_max, FILE_NAME_NORMALIZED);
	if (n == 0 || n >= line_max)
		return false;
	const bool unc = std::wcsncmp(text, L"\\\\?\\UNC\\", 8) == 0;
	if (unc || std::wcsncmp(text, L"\\\\?\\", 4) == 0)
		std::memmove(text + (unc ? 2 : 0), text + (unc ? 8 : 4),
			     (n - (unc ? 8 : 4) + 1) * sizeof(wchar_t));
	return true;
}

} // namespace

bool open_standard_streams()
{
	for (int fd = 0; fd < 3; ++fd) {
		if (_get_osfhandle(fd) == -1 && _open("NUL", _O_RDWR) != fd)
			return false;
	}
	return true;
}

void binary_stderr()
{
	_setmode(_fileno(stderr), _O_BINARY);
}

void ignore_write_signals()
{
}

void utf8_arguments(int &argc, char **&argv)
{
	// Each unit of the line takes at most three bytes, each word one more.
	static char text[4 * line_max];
	static char *words[line_max];
	int count = 0;
	wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count);
	if (wide == nullptr)
		return;
	int used = 0;
	for (int i = 0; i < count; ++i) {
		words[i] = text + used;
		used += WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, words[i],
					    static_cast<int>(sizeof text) - used, nullptr, nullptr);
	}
	LocalFree(wide);
	words[count] = nullptr;
	argc = count;
	argv = words;
}

bool name_too_long(const char *name)
{
	return MultiByteToWideChar(CP_UTF8, 0, name, -1, nullptr, 0) > name_room;
}

// No character takes more bytes in an ANSI code page than in UTF-8. A UTF-8
// code page takes no default character and fails: the text then stays.
void console_text(char *text)
{
	wide_text wide;
	const int room = static_cast<int>(std::strlen(text)) + 1;
	if (!to_wide(text, wide))
		return;
	// A character the code page lacks is one '?', though it take two units.
	wchar_t *to = wide.data();
	for (const wchar_t *from = to; *from != L'\0'; ++from) {
		const bool pair = IS_HIGH_SURROGATE(from[0]) && IS_LOW_SURROGATE(from[1]);
		*to++ = pair && !console_utf8() ? L'?' : *from;
		if (pair && console_utf8())
			*to++ = from[1];
		from += pair ? 1 : 0;
	}
	*to = L'\0';
	static char shown[4 * line_max];
	if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), -1, shown, room, "?",
				nullptr) > 0)
		std::memcpy(text, shown, std::strlen(shown) + 1);
}

bool console_utf8()
{
	return GetACP() == CP_UTF8;
}

std::FILE *open_input(const char *path)
{
	wide_text wide;
	return to_wide(path, wide) ? _wfopen(wide.data(), L"rb") : nullptr;
}

namespace {

constexpr int open_flags = _O_BINARY | _O_NOINHERIT;

} // namespace

// A file on a disk is opened only to be identified; a device, such as NUL,
// or a pipe is written in place.
bool open_old_output(const char *path, int &fd, output_kind &kind)
{
	wide_text wide;
	fd = -1;
	kind = output_kind::absent;
	if (!to_wide(path, wide))
		return false;
	const DWORD attributes = GetFileAttributesW(wide.data());
	if (attributes == INVALID_FILE_ATTRIBUTES) {
		const DWORD error = GetLastError();
		if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
			return true;
	}
	// Opened to be identified and its security read, not its bytes, so
	// that where it takes the cut in place this program alone holds it.
	const HANDLE h = CreateFileW(wide.data(), FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE,
				     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
				     nullptr, OPEN_EXISTING, 0, nullptr);
	fd = h == INVALID_HANDLE_VALUE ? -1
				       : _open_osfhandle(reinterpret_cast<intptr_t>(h), open_flags);
	if (fd < 0 && h != INVALID_HANDLE_VALUE)
		CloseHandle(h);
	if (fd < 0)
		fd = _wopen(wide.data(), _O_RDONLY | open_flags);
	if (fd < 0)
		fd = _wopen(wide.data(), _O_WRONLY | open_flags);
	if (fd < 0)
		return false;
	bool on_disk;
	disk_file(fd, on_disk);
	kind = on_disk ? output_kind::regular : output_kind::stream;
	if (on_disk)
		return (attributes & FILE_ATTRIBUTE_READONLY) == 0;
	_close(fd);
	fd = _wopen(wide.data(), _O_WRONLY | open_flags);
	return fd >= 0;
}

bool name_was_too_long()
{
	const DWORD error = GetLastError();
	return error == ERROR_FILENAME_EXCED_RANGE || error == ERROR_INVALID_NAME;
}

// Asked of the open file, so that a replacement takes the place of the
// file a link leads to, not of the link, and through a short name or any
// drive finds the file's own name.
bool open_file_name(int fd, const char *, path_buffer &name)
{
	wide_text wide;
	return final_name(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), wide) &&
	       WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, name.data(),
				   static_cast<int>(name.size()), nullptr, nullptr) > 0;
}

bool names_file(const char *path, int fd, bool &same)
{
	wide_text wide;
	const int named = to_wide(path, wide) ? _wopen(wide.data(), _O_RDONLY | open_flags) : -1;
	const bool told = named >= 0 && same_file(named, fd, same);
	if (named >= 0)
		_close(named);
	return told;
}

// Which volumes answer from a listing they keep cannot be told here.
bool may_keep_listing(int)
{
	return true;
}

bool two_entries(const char *a, const char *b)
{
	return std::strcmp(a + name_start(a), b + name_start(b)) != 0;
}

std::size_t name_start(const char *path)
{
	std::size_t start = 0;
	for (std::size_t i = 0; path[i] != '\0'; ++i) {
		if (path[i] == '/' || path[i] == '\\' || path[i] == ':')
			start = i + 1;
	}
	return start;
}

std::uint64_t unique_number()
{
	LARGE_INTEGER counter;
	QueryPerformanceCounter(&counter);
	return std::uint64_t{GetCurrentProcessId()} << 32 ^
	       static_cast<std::uint64_t>(counter.QuadPart);
}

bool make_folder(const char *path)
{
	wide_text wide;
	return to_wide(path, wide) && CreateDirectoryW(wide.data(), nullptr);
}

bool remove_folder(const char *path)
{
	wide_text wide;
	return to_wide(path, wide) && RemoveDirectoryW(wide.data());
}

// Wine makes a file whose name is longer than its Unix folder holds under
// that name cut short, without a word: the file made must bear the whole
// name, else it goes and the name is too long.
int create_file(const char *path)
{
	static wide_text wide;
	static wide_text made;
	const int fd = to_wide(path, wide)
			   ? _wopen(wide.data(), _O_WRONLY | _O_CREAT | _O_EXCL | open_flags,
				    _S_IREAD | _S_IWRITE)
			   : -1;
	if (fd < 0 || !final_name(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), made))
		return fd;
	const wchar_t *asked = wide.data();
	for (const wchar_t *c = wide.data(); *c != L'\0'; ++c) {
		if (*c == L'/' || *c == L'\\' || *c == L':')
			asked = c + 1;
	}
	const wchar_t *bears = std::wcsrchr(made.data(), L'\\');
	if (bears != nullptr && CompareStringOrdinal(bears + 1, -1, asked, -1, TRUE) == CSTR_EQUAL)
		return fd;
	_close(fd);
	DeleteFileW(made.data());
	SetLastError(ERROR_FILENAME_EXCED_RANGE);
	return -1;
}

bool remove_file(const char *path)
{
	wide_text wide;
	return to_wide(path, wide) && DeleteFileW(wide.data());
}

int open_truncated(const char *path)
{
	wide_text wide;
	return to_wide(path, wide) ? _wopen(wide.data(), _O_RDWR | _O_TRUNC | open_flags) : -1;
}

// Shared with no one: where another program holds the file, as where it
// would keep the name from the new file, the old file stays as it is.
int open_in_place(const char *path)
{
	wide_text wide;
	return to_wide(path, wide) ? _wsopen(wide.data(), _O_WRONLY | open_flags, _SH_DENYRW) : -1;
}

bool truncate_file(int fd, std::int64_t size)
{
	return _chsize_s(fd, size) == 0;
}

bool sync_file(int fd)
{
	return FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(fd)));
}

bool name_exists(const char *path, bool &found)
{
	wide_text wide;
	if (!to_wide(path, wide))
		return false;
	found = GetFileAttributesW(wide.data()) != INVALID_FILE_ATTRIBUTES;
	const DWORD error = found ? 0 : GetLastError();
	return found || error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// The folder tells the spelling of the entry a name finds.
bool entry_spelling(const char *path, path_buffer &spelling)
{
	wide_text wide;
	WIN32_FIND_DATAW found;
	if (!to_wide(path, wide))
		return false;
	const HANDLE search = FindFirstFileW(wide.data(), &found);
	if (search == INVALID_HANDLE_VALUE)
		return false;
	FindClose(search);
	return WideCharToMultiByte(CP_UTF8, 0, found.cFileName, -1, spelling.data(),
				   static_cast<int>(spelling.size()), nullptr, nullptr) > 0;
}

namespace {

// The parts of a file's security that decide who may do what with it.
constexpr SECURITY_INFORMATION access_parts =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

// Room for a file's security as the system hands it over: an access list
// holds at most 64 KiB, the owner and the group far less.
struct security {
	alignas(8) unsigned char bytes[std::size_t{1} << 17];
};
security old_security;
security new_security;

// Wine derives a file's security from its Unix permission bits, which its
// access lists cannot tell apart (no group's bits; to read is to run), nor
// set as they were.
bool under_wine()
{
	const HMODULE system = GetModuleHandleW(L"ntdll.dll");
	return system != nullptr && GetProcAddress(system, "wine_get_version") != nullptr;
}

bool read_security(HANDLE h, security &s)
{
	DWORD needed;
	return GetKernelObjectSecurity(h, access_parts, s.bytes, sizeof s.bytes, &needed);
}

// Whether two descriptors name the same owner and group and hold the same
// access list, with the same protection from inheritance.
bool same_security(security &a, security &b)
{
	PSID owner[2];
	PSID group[2];
	PACL list[2];
	BOOL present[2];
	BOOL defaulted;
	SECURITY_DESCRIPTOR_CONTROL control[2];
	ACL_SIZE_INFORMATION size[2]{};
	DWORD revision;
	unsigned char *sd[2] = {a.bytes, b.bytes};
	for (int i = 0; i < 2; ++i) {
		if (!GetSecurityDescriptorOwner(sd[i], &owner[i], &defaulted) ||
		    !GetSecurityDescriptorGroup(sd[i], &group[i], &defaulted) ||
		    !GetSecurityDescriptorDacl(sd[i], &present[i], &list[i], &defaulted) ||
		    !GetSecurityDescriptorControl(sd[i], &control[i], &revision) ||
		    owner[i] == nullptr || group[i] == nullptr)
			return false;
		if (present[i] && list[i] != nullptr &&
		    !GetAclInformation(list[i], &size[i], sizeof size[i], AclSizeInformation))
			return false;
		present[i] = present[i] && list[i] != nullptr; // no list lets anyone in
	}
	return EqualSid(owner[0], owner[1]) && EqualSid(group[0], group[1]) &&
	       present[0] == present[1] && ((control[0] ^ control[1]) & SE_DACL_PROTECTED) == 0 &&
	       size[0].AceCount == size[1].AceCount &&
	       size[0].AclBytesInUse == size[1].AclBytesInUse &&
	       (!present[0] ||
		std::memcmp(list[0] + 1, list[1] + 1, size[0].AclBytesInUse - sizeof(ACL)) == 0);
}

// Gives the new file the old one's owner, group and access list (read into
// old_security) as they stand, the inherited entries too, as it will sit
// beside them. True only where the system then holds them as given:
// another owner takes a privilege.
bool carry_security(HANDLE to)
{
	if (!read_security(to, new_security))
		return false;
	if (same_security(old_security, new_security))
		return true;
	// A folder may let its users change a file's access list, not its
	// owner: the owner and group then stay, if they are the old ones.
	constexpr DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
	SECURITY_INFORMATION parts = access_parts;
	HANDLE writable = ReOpenFile(to, READ_CONTROL | WRITE_DAC | WRITE_OWNER, sharing, 0);
	if (writable == INVALID_HANDLE_VALUE) {
		parts = DACL_SECURITY_INFORMATION;
		writable = ReOpenFile(to, READ_CONTROL | WRITE_DAC, sharing, 0);
	}
	if (writable == INVALID_HANDLE_VALUE)
		return false;
	const bool kept = SetKernelObjectSecurity(writable, parts, old_security.bytes) &&
			  read_security(writable, new_security) &&
			  same_security(old_security, new_security);
	CloseHandle(writable);
	return kept;
}

} // namespace

// Attributes (hidden, system, archive, ...) are given here, as not every
// system's replacement keeps them; a read-only file is never replaced. The
// security goes too, and where it cannot go as it was (always under Wine),
// the old file takes the cut in place (`owned` false).
bool carry_attributes(int from, int to, bool &owned)
{
	constexpr DWORD settable = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN |
				   FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE |
				   FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_TEMPORARY;
	const auto old = reinterpret_cast<HANDLE>(_get_osfhandle(from));
	const auto made = reinterpret_cast<HANDLE>(_get_osfhandle(to));
	BY_HANDLE_FILE_INFORMATION info;
	FILE_BASIC_INFO basic{}; // times of 0 stay as they are
	if (!GetFileInformationByHandle(old, &info))
		return false;
	basic.FileAttributes = info.dwFileAttributes & settable;
	if (basic.FileAttributes == 0)
		basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
	if (!SetFileInformationByHandle(made, FileBasicInfo, &basic, sizeof basic))
		return false;
	owned = !under_wine() && read_security(old, old_security) && carry_security(made);
	return true;
}

// Windows folders have no sticky bit.
bool may_take_name(const char *, int)
{
	return true;
}

// In one step, never by removing the old name first: ReplaceFileW is no
// such step everywhere (Wine's removes the old file, then renames, and a
// rename that fails then costs the file).
bool rename_file(const char *from, const char *to)
{
	wide_text x;
	wide_text y;
	return to_wide(from, x) && to_wide(to, y) &&
	       MoveFileExW(x.data(), y.data(), MOVEFILE_REPLACE_EXISTING);
}

namespace {

wide_text removal_path[removal_slots];
wide_text removal_folder[removal_slots];
int removal_fd[removal_slots] = {-1, -1};
volatile LONG removal_armed[removal_slots] = {};
bool removal_set = false; // the handlers and the exit's removal

// A file open here cannot be removed: it is closed first.
void remove_armed()
{
	for (int slot = 0; slot < removal_slots; ++slot) {
		if (InterlockedExchange(&removal_armed[slot], 0) != 0) {
			if (removal_fd[slot] >= 0)
				_close(removal_fd[slot]);
			DeleteFileW(removal_path[slot].data());
			RemoveDirectoryW(removal_folder[slot].data());
		}
	}
}

// Held by the thread that ends the run, a console's or the program's own,
// so that one ending excludes the other: the program's never prints once
// the console's began, which closes the new file under it.
CRITICAL_SECTION ending;
bool ending_ready = false;

// Ctrl+C, Ctrl+Break and a closed console end the process with the status
// Windows gives them, the new file removed.
BOOL WINAPI remove_and_end(DWORD)
{
	EnterCriticalSection(&ending);
	remove_armed();
	TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
	return TRUE;
}

} // namespace

void remove_at_exit(int slot, const char *path, int fd)
{
	if (!removal_set) {
		removal_set = true;
		static_cast<void>(std::atexit(remove_armed)); // room for 32 is promised
		if (!ending_ready)
			InitializeCriticalSection(&ending);
		ending_ready = true;
		SetConsoleCtrlHandler(remove_and_end, TRUE);
	}
	removal_armed[slot] = 0;
	removal_fd[slot] = fd;
	const bool named = to_wide(path, removal_path[slot]);
	removal_folder[slot] = removal_path[slot];
	wchar_t *const slash = wcsrchr(removal_folder[slot].data(), L'/'); // before the file's name
	if (slash != nullptr)
		*slash = L'\0';
	removal_armed[slot] = named ? 1 : 0;
}

void keep_file(int slot)
{
	removal_armed[slot] = 0;
}

// A console's events end the process from another thread, which waits
// while the program holds them; the same thread may hold them again.
void hold_signals()
{
	if (!ending_ready)
		InitializeCriticalSection(&ending);
	ending_ready = true;
	EnterCriticalSection(&ending);
}

bool close_file(int fd)
{
	return _close(fd) == 0;
}

int stream_descriptor(std::FILE *stream)
{
	return _fileno(stream);
}

std::int64_t stream_position(std::FILE *stream)
{
	return _ftelli64(stream);
}

bool seek_stream(std::FILE *stream, std::int64_t position)
{
	return _fseeki64(stream, position, SEEK_SET) == 0;
}

bool file_size(int fd, std::int64_t &size)
{
	struct _stat64 st;
	if (_fstat64(fd, &st) != 0)
		return false;
	size = (st.st_mode & _S_IFMT) == _S_IFREG ? st.st_size : -1;
	return true;
}

namespace {

// Whether two handles have one final name. A handle opened for writing
// alone, as a shell redirects standard error, may not read the file's
// index, but its name can be asked; one that cannot be named either (Wine
// names no handle it inherited) is taken for another file. The input never
// is such a handle, and its look-alikes are found by their attributes.
bool same_name(HANDLE a, HANDLE b)
{
	static wide_text x;
	static wide_text y;
	const DWORD n = GetFinalPathNameByHandleW(a, x.data(), line_max, FILE_NAME_NORMALIZED);
	const DWORD m = GetFinalPathNameByHandleW(b, y.data(), line_max, FILE_NAME_NORMALIZED);
	return n > 0 && n < line_max && m > 0 && m < line_max &&
	       CompareStringOrdinal(x.data(), -1, y.data(), -1, TRUE) == CSTR_EQUAL;
}

} // namespace

// Volume serial number and file index name one file, as dev and inode do;
// a device is no file.
bool same_file(int a, int b, bool &same)
{
	BY_HANDLE_FILE_INFORMATION x;
	BY_HANDLE_FILE_INFORMATION y;
	bool a_disk;
	bool b_disk;
	const HANDLE ha = disk_file(a, a_disk);
	const HANDLE hb = disk_file(b, b_disk);
	same = false;
	if (!a_disk || !b_disk)
		return true;
	if (!GetFileInformationByHandle(ha, &x) || !GetFileInformationByHandle(hb, &y))
		same = same_name(ha, hb);
	else
		same = x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
		       x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
	return true;
}

std::int64_t seek_to(int fd, std::int64_t position)
{
	return _lseeki64(fd, position, SEEK_SET);
}

std::int64_t file_position(int fd)
{
	return _lseeki64(fd, 0, SEEK_CUR);
}

std::int64_t read_some(int fd, unsigned char *bytes, std::size_t count)
{
	return _read(fd, bytes, static_cast<unsigned>(std::min(count, call_max)));
}

std::int64_t write_some(int fd, const unsigned char *bytes, std::size_t count)
{
	return _write(fd, bytes, static_cast<unsigned>(std::min(count, call_max)));
}

std::int64_t copy_range(int, int, std::uint64_t)
{
	return 0;
}
