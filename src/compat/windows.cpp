// The Windows side of compat.h: the C runtime's descriptors and the wide
// (UTF-16) calls, so that no name passes through the ANSI code page. Every
// name put together goes to the system whole ("\\?\"), so that no part of
// it is taken for a device (com1.wav, nul.wav) or cut short.
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

#include "seam.h"

namespace {

// One call moves less than 2^31 bytes.
constexpr std::size_t call_max = std::size_t{1} << 30;

// The longest name that bears a terminating zero after it, in UTF-16 units.
constexpr int name_room = 260;

// The longest last part a folder holds: in UTF-16 units on Windows, and
// under Wine in bytes of UTF-8, as its Linux folder holds them.
constexpr int part_max = 255;

// The longest command line, in UTF-16 units.
constexpr int line_max = 32768;
using wide_text = std::array<wchar_t, line_max>;

// The UTF-16 form of a UTF-8 text, as the wide calls take it; false for one
// that is not UTF-8, such as a command-line word with a lone surrogate.
bool to_wide(const char *text, wide_text &wide)
{
	return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, wide.data(), line_max) >
	       0;
}

HANDLE handle_of(int fd)
{
	// The C runtime hands a descriptor's handle over as an integer.
	return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); // NOLINT(performance-no-int-to-ptr)
}

// The handle under a descriptor, and whether it is a file on a disk rather
// than a device such as NUL, which has no identity and is written in place.
HANDLE disk_file(int fd, bool &on_disk)
{
	const HANDLE h = handle_of(fd);
	on_disk = GetFileType(h) == FILE_TYPE_DISK;
	return h;
}

// The name the system gives the file open on h, its links resolved, whole
// ("\\?\" before it).
bool final_name(HANDLE h, wide_text &name)
{
	const DWORD n = GetFinalPathNameByHandleW(h, name.data(), line_max, FILE_NAME_NORMALIZED);
	return n > 0 && n < line_max;
}

// True where the test build fails this call: it then fails as a disk does.
bool failed(const char *operation, role r)
{
	const int error = fault_at(operation, r);
	if (error == 0)
		return false;
	SetLastError(ERROR_IO_DEVICE);
	errno = error;
	return true;
}

// The name `name` in the folder open on `folder`: the folder's final name,
// a separator, then `name` with its separators as Windows writes them.
bool at_name(int folder, const char *name, wide_text &path)
{
	wide_text inside;
	if (!final_name(handle_of(folder), path) || !to_wide(name, inside))
		return false;
	std::size_t n = std::wcslen(path.data());
	if (n > 0 && path[n - 1] != L'\\')
		path[n++] = L'\\';
	for (const wchar_t *c = inside.data(); *c != L'\0' && n + 1 < path.size(); ++c)
		path[n++] = *c == L'/' ? L'\\' : *c;
	path[n] = L'\0';
	return n + 1 < path.size();
}

// A descriptor for a handle, or -1 (the handle closed).
int descriptor(HANDLE h)
{
	if (h == INVALID_HANDLE_VALUE)
		return -1;
	const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_BINARY | _O_NOINHERIT);
	if (fd < 0)
		CloseHandle(h);
	return fd;
}

constexpr DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Wine derives a file's security from its Unix permission bits, which its
// access lists cannot tell apart (no group's bits; to read is to run), nor
// set as they were.
bool under_wine()
{
	const HMODULE system = GetModuleHandleW(L"ntdll.dll");
	return system != nullptr && GetProcAddress(system, "wine_get_version") != nullptr;
}

void (*ending_cleanup)() = nullptr;

// Held by the thread that ends the run, a console's or the program's own,
// so that one ending excludes the other: the program's never prints once
// the console's began, which removes what the run made under it.
CRITICAL_SECTION ending;

// Ctrl+C, Ctrl+Break and a closed console end the process with the status
// Windows gives them, what the run made removed.
// The run ends: the seam is told, and what the run made goes.
void end_run()
{
	static_cast<void>(fault_at("exit", role::null));
	if (ending_cleanup != nullptr)
		ending_cleanup();
}

BOOL WINAPI end_by_console(DWORD)
{
	EnterCriticalSection(&ending);
	end_run();
	TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
	return TRUE;
}

// From before the program's first instruction: the default handler, under
// Wine, ends a run cut short with status 0.
bool hold_console() noexcept
{
	InitializeCriticalSection(&ending);
	return SetConsoleCtrlHandler(end_by_console, TRUE) != 0;
}
const bool console_held = hold_console();

} // namespace

bool open_standard_streams()
{
	for (int fd = 0; fd < 3; ++fd) {
		if (_get_osfhandle(fd) == -1 &&
		    (failed("open", role::null) || _open("NUL", _O_RDWR) != fd))
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

// A word that is not UTF-16 (a lone surrogate) is written as the bytes UTF-8
// would give the unit, which no well-formed UTF-8 holds: no later open takes
// it, nor maps it onto another name, and it prints as '?'s.
void utf8_arguments(int &argc, char **&argv)
{
	// Each unit of the line takes at most three bytes, each word one more.
	static char text[4 * line_max];
	static char *words[line_max];
	int count = 0;
	wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count);
	if (wide == nullptr)
		return;
	std::size_t used = 0;
	for (int i = 0; i < count; ++i) {
		words[i] = text + used;
		for (const wchar_t *c = wide[i]; *c != L'\0'; ++c) {
			std::uint32_t u = *c;
			if (IS_HIGH_SURROGATE(c[0]) && IS_LOW_SURROGATE(c[1]))
				u = 0x10000 + ((u - 0xD800) << 10) + (*++c - 0xDC00u);
			const int n = u < 0x80 ? 1 : u < 0x800 ? 2 : u < 0x10000 ? 3 : 4;
			text[used] =
			    static_cast<char>(n == 1 ? u : (0xF00u >> n & 0xF0) | u >> 6 * (n - 1));
			for (int k = 1; k < n; ++k)
				text[used + static_cast<std::size_t>(k)] =
				    static_cast<char>(0x80 | (u >> 6 * (n - 1 - k) & 0x3F));
			used += static_cast<std::size_t>(n);
		}
		text[used++] = '\0';
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

bool print_error(const char *format, std::va_list args)
{
	return !failed("print", role::err) && std::vfprintf(stderr, format, args) >= 0;
}

std::FILE *open_input(const char *path)
{
	wide_text wide;
	return !failed("open", role::input) && to_wide(path, wide) ? _wfopen(wide.data(), L"rb")
								   : nullptr;
}

bool read_item(std::FILE *in, void *item, std::size_t size)
{
	return !failed("read", role::input) && std::fread(item, size, 1, in) == 1;
}

int read_byte(std::FILE *in)
{
	return failed("read", role::input) ? EOF : std::fgetc(in);
}

std::int64_t stream_position(std::FILE *in)
{
	return failed("seek", role::input) ? -1 : _ftelli64(in);
}

bool seek_stream(std::FILE *in, std::int64_t position)
{
	return !failed("seek", role::input) && _fseeki64(in, position, SEEK_SET) == 0;
}

int stream_descriptor(std::FILE *stream)
{
	return _fileno(stream);
}

namespace {

// A volume without a number (Wine gives none to a mount below a drive's
// own, tmpfs or FUSE) holds files whose indexes another volume's may have.
void take_facts(const BY_HANDLE_FILE_INFORMATION &info, role r, file_facts &facts)
{
	facts.kind = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? file_kind::link
		     : (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0   ? file_kind::folder
									       : file_kind::regular;
	facts.device = info.dwVolumeSerialNumber;
	facts.index = std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
	facts.size =
	    static_cast<std::int64_t>(std::uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow);
	facts.modes = false;
	facts.identified = info.dwVolumeSerialNumber != 0;
	fault_facts(r, facts);
}

// The facts of what a name holds, never through a link; false, with
// found false, where it holds nothing. Wine follows a Linux link all the
// same: a name the open reached under another name is a link's, or a short
// one, no file's own.
bool facts_by_name(const wchar_t *path, role r, file_facts &facts, bool &found)
{
	static wide_text reached;
	const HANDLE h =
	    CreateFileW(path, FILE_READ_ATTRIBUTES, share_all, nullptr, OPEN_EXISTING,
			FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
	const DWORD error = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
	BY_HANDLE_FILE_INFORMATION info;
	found = error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
	const bool told = h != INVALID_HANDLE_VALUE && GetFileInformationByHandle(h, &info);
	const bool own = told && final_name(h, reached) &&
			 CompareStringOrdinal(reached.data(), -1, path, -1, TRUE) == CSTR_EQUAL;
	if (h != INVALID_HANDLE_VALUE)
		CloseHandle(h);
	if (told)
		take_facts(info, r, facts);
	if (told && !own)
		facts.kind = file_kind::link;
	return told;
}

} // namespace

// A handle opened for writing alone, as a shell redirects standard error,
// may not be asked its file's index; the file its final name holds is.
// Wine names no handle it inherited: that one is taken for no file.
bool facts_of(int fd, role r, file_facts &facts)
{
	bool on_disk;
	const HANDLE h = disk_file(fd, on_disk);
	BY_HANDLE_FILE_INFORMATION info;
	wide_text name;
	facts = file_facts{};
	if (failed("status", r))
		return false;
	if (!on_disk) {
		facts.kind = file_kind::stream;
		return true;
	}
	if (GetFileInformationByHandle(h, &info)) {
		take_facts(info, r, facts);
		return true;
	}
	bool found;
	if (!final_name(h, name) || !facts_by_name(name.data(), r, facts, found))
		facts.kind = file_kind::stream;
	return true;
}

bool facts_at(int folder, const char *name, role r, file_facts &facts)
{
	wide_text path;
	bool found;
	facts = file_facts{};
	return !failed("lookup", r) && at_name(folder, name, path) &&
	       (facts_by_name(path.data(), r, facts, found) || !found);
}

std::uint32_t runner()
{
	return 0;
}

namespace {

constexpr int open_flags = _O_BINARY | _O_NOINHERIT;

} // namespace

// A file on a disk is opened to be identified and its security read, not
// its bytes, so that where it takes the cut in place this program alone
// holds it; a device, such as NUL, or a pipe is written in place.
bool open_old_output(const char *path, int &fd, file_kind &kind, bool &writable)
{
	wide_text wide;
	fd = -1;
	kind = file_kind::none;
	writable = false;
	if (failed("lookup", role::old) || !to_wide(path, wide))
		return false;
	const DWORD attributes = GetFileAttributesW(wide.data());
	if (attributes == INVALID_FILE_ATTRIBUTES) {
		const DWORD error = GetLastError();
		if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
			return true;
	}
	if (failed("open", role::old))
		return false;
	fd = descriptor(CreateFileW(wide.data(), FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE,
				    share_all, nullptr, OPEN_EXISTING, 0, nullptr));
	if (fd < 0)
		fd = _wopen(wide.data(), _O_RDONLY | open_flags);
	if (fd < 0)
		fd = _wopen(wide.data(), _O_WRONLY | open_flags);
	if (fd < 0)
		return false;
	bool on_disk;
	disk_file(fd, on_disk);
	kind = on_disk ? file_kind::regular : file_kind::stream;
	writable = (attributes & FILE_ATTRIBUTE_READONLY) == 0;
	if (on_disk)
		return true;
	_close(fd);
	fd = _wopen(wide.data(), _O_WRONLY | open_flags);
	writable = fd >= 0;
	return fd >= 0;
}

// Windows gives one error for a name too long and for a name with a
// character it refuses: the length of the last part tells them apart.
bool name_was_too_long(const char *name)
{
	const char *part = name + name_start(name);
	const DWORD error = GetLastError();
	const int units = under_wine() ? static_cast<int>(std::strlen(part))
				       : MultiByteToWideChar(CP_UTF8, 0, part, -1, nullptr, 0) - 1;
	return error == ERROR_FILENAME_EXCED_RANGE || units > part_max;
}

bool held_elsewhere()
{
	const DWORD error = GetLastError();
	return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
	       error == ERROR_USER_MAPPED_FILE;
}

// The name before its first dot, spaces after it aside, is what Windows
// takes for a device, in any case.
bool device_name(const char *path)
{
	static const char *const devices[] = {
	    "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7",
	    "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
	const char *part = path + name_start(path);
	std::size_t n = std::strcspn(part, ".");
	while (n > 0 && part[n - 1] == ' ')
		--n;
	for (const char *device : devices) {
		if (std::strlen(device) == n && _strnicmp(part, device, n) == 0)
			return true;
	}
	return false;
}

// Asked of the open file, so that a replacement takes the place of the
// file a link leads to, not of the link, and through a short name or any
// drive finds the file's own name.
bool file_name(int fd, role r, path_buffer &name)
{
	wide_text wide;
	return !failed("name", r) && final_name(handle_of(fd), wide) &&
	       WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, name.data(),
				   static_cast<int>(name.size()), nullptr, nullptr) > 0;
}

// A drive alone ("C:") is its current folder there.
int open_folder(const char *path, role r)
{
	wide_text wide;
	if (failed("open", r) || !to_wide(path, wide))
		return -1;
	const std::size_t n = std::wcslen(wide.data());
	if (n == 2 && wide[1] == L':') {
		wide[2] = L'.';
		wide[3] = L'\0';
	}
	return descriptor(CreateFileW(wide.data(), FILE_READ_ATTRIBUTES | SYNCHRONIZE, share_all,
				      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

bool make_folder_at(int folder, const char *name, role r)
{
	wide_text path;
	return !failed("make", r) && at_name(folder, name, path) &&
	       CreateDirectoryW(path.data(), nullptr);
}

// Opened to be removed by its handle, never through a link.
int open_folder_at(int folder, const char *name, role r)
{
	wide_text path;
	if (failed("open", r) || !at_name(folder, name, path))
		return -1;
	const int fd = descriptor(CreateFileW(
	    path.data(), FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY | DELETE | SYNCHRONIZE,
	    share_all, nullptr, OPEN_EXISTING,
	    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
	BY_HANDLE_FILE_INFORMATION info;
	if (fd < 0 || (GetFileInformationByHandle(handle_of(fd), &info) &&
		       (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0))
		return fd;
	_close(fd);
	return -1;
}

// Windows keeps no permission bits: a folder's access is its access list.
bool set_mode(int, std::uint32_t, role)
{
	return true;
}

namespace {

// A listing, read through the folder's handle, a buffer at a time: its
// entries follow one another, each saying where the next begins.
HANDLE listing = INVALID_HANDLE_VALUE;
alignas(8) unsigned char listed[65536];
std::size_t listed_at = 0;
bool listed_more = false;

// Reads the next buffer of entries; false on a failure, not at the end.
bool read_listing(bool restart)
{
	listed_at = 0;
	listed_more = GetFileInformationByHandleEx(listing,
						   restart ? FileIdBothDirectoryRestartInfo
							   : FileIdBothDirectoryInfo,
						   listed, sizeof listed) != 0;
	return listed_more || GetLastError() == ERROR_NO_MORE_FILES;
}

} // namespace

bool open_listing(int folder, role r, bool &was_listed)
{
	was_listed = false;
	if (failed("list", r))
		return false;
	listing = handle_of(folder);
	was_listed = read_listing(true);
	return was_listed || GetLastError() == ERROR_ACCESS_DENIED;
}

bool next_entry(role, path_buffer &name, bool &found)
{
	for (found = listed_more; found; found = listed_more) {
		const auto *entry =
		    reinterpret_cast<const FILE_ID_BOTH_DIR_INFO *>(listed + listed_at);
		const int units = static_cast<int>(entry->FileNameLength / sizeof(wchar_t));
		const bool dots = (units == 1 || units == 2) && entry->FileName[0] == L'.' &&
				  (units == 1 || entry->FileName[1] == L'.');
		const int bytes =
		    dots ? 1
			 : WideCharToMultiByte(CP_UTF8, 0, entry->FileName, units, name.data(),
					       static_cast<int>(name.size()) - 1, nullptr, nullptr);
		if (entry->NextEntryOffset != 0)
			listed_at += entry->NextEntryOffset;
		else if (!read_listing(false))
			return false;
		if (bytes <= 0)
			return false;
		if (!dots) {
			name[static_cast<std::size_t>(bytes)] = '\0';
			return true;
		}
	}
	return true;
}

void close_listing()
{
	listing = INVALID_HANDLE_VALUE;
}

// The folder tells the spelling of the entry a name finds.
bool entry_spelling(int folder, const char *name, path_buffer &spelling)
{
	wide_text path;
	WIN32_FIND_DATAW found;
	if (failed("list", role::folder) || !at_name(folder, name, path))
		return false;
	const HANDLE search = FindFirstFileW(path.data(), &found);
	if (search == INVALID_HANDLE_VALUE)
		return false;
	FindClose(search);
	return WideCharToMultiByte(CP_UTF8, 0, found.cFileName, -1, spelling.data(),
				   static_cast<int>(spelling.size()), nullptr, nullptr) > 0;
}

namespace {

// Removes the file or empty folder open on h, by no name, once closed.
bool remove_open(HANDLE h)
{
	FILE_DISPOSITION_INFO gone{};
	gone.DeleteFile = TRUE;
	return SetFileInformationByHandle(h, FileDispositionInfo, &gone, sizeof gone);
}

} // namespace

// Opened to be removed by its handle. Wine makes a file whose name is
// longer than its Unix folder holds under that name cut short, without a
// word: the file made must bear the whole name, else it goes and the name
// is too long.
int create_at(int folder, const char *name, role r)
{
	static wide_text path;
	static wide_text made;
	if (failed("create", r) || !at_name(folder, name, path))
		return -1;
	const HANDLE h = CreateFileW(path.data(), GENERIC_READ | GENERIC_WRITE | DELETE,
				     FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
				     FILE_ATTRIBUTE_NORMAL, nullptr);
	if (h == INVALID_HANDLE_VALUE || !final_name(h, made))
		return descriptor(h);
	const wchar_t *asked = path.data() + part_start(path.data(), L"\\");
	const wchar_t *bears = made.data() + part_start(made.data(), L"\\");
	if (CompareStringOrdinal(bears, -1, asked, -1, TRUE) == CSTR_EQUAL)
		return descriptor(h);
	remove_open(h);
	CloseHandle(h);
	SetLastError(ERROR_FILENAME_EXCED_RANGE);
	return -1;
}

// In one step, never by removing the old name first: ReplaceFileW is no
// such step everywhere (Wine's removes the old file, then renames, and a
// rename that fails then costs the file).
bool rename_at(int from_folder, const char *from, int to_folder, const char *to, role r)
{
	wide_text x;
	wide_text y;
	return !failed("rename", r) && at_name(from_folder, from, x) && at_name(to_folder, to, y) &&
	       MoveFileExW(x.data(), y.data(), MOVEFILE_REPLACE_EXISTING);
}

bool remove_at(int folder, const char *name, int fd, bool is_folder, role r)
{
	wide_text path;
	bool removed = !failed("remove", r);
	if (fd >= 0) {
		removed = removed && remove_open(handle_of(fd));
		_close(fd);
		return removed;
	}
	return removed && at_name(folder, name, path) &&
	       (is_folder ? RemoveDirectoryW(path.data()) : DeleteFileW(path.data()));
}

// A volume the system reaches through a network protocol may answer from
// a listing it keeps; Wine shows every Linux folder as a local disk.
bool may_keep_listing(int fd)
{
	FILE_REMOTE_PROTOCOL_INFO protocol{};
	protocol.StructureVersion = 1;
	protocol.StructureSize = sizeof protocol;
	return GetFileInformationByHandleEx(handle_of(fd), FileRemoteProtocolInfo, &protocol,
					    sizeof protocol) != 0;
}

bool two_entries(const char *a, const char *b)
{
	return std::strcmp(a + name_start(a), b + name_start(b)) != 0;
}

const char folder_separators[] = "/\\:";

std::uint64_t unique_number()
{
	LARGE_INTEGER counter;
	QueryPerformanceCounter(&counter);
	return std::uint64_t{GetCurrentProcessId()} << 32 ^
	       static_cast<std::uint64_t>(counter.QuadPart);
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

bool read_security(HANDLE h, security &s)
{
	DWORD needed;
	return GetKernelObjectSecurity(h, access_parts, s.bytes, sizeof s.bytes, &needed);
}

// Whether two descriptors name the same owner and group and hold the same
// access list, with the same protection from inheritance. The system's
// calls take the descriptors as writable.
// cppcheck-suppress constParameter
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

// Whether two descriptors name the same owner.
bool same_owner(security &a, security &b)
{
	PSID owner[2];
	BOOL defaulted;
	return GetSecurityDescriptorOwner(a.bytes, &owner[0], &defaulted) &&
	       GetSecurityDescriptorOwner(b.bytes, &owner[1], &defaulted) && owner[0] != nullptr &&
	       owner[1] != nullptr && EqualSid(owner[0], owner[1]);
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
// security goes too, and where it cannot go as it was (another owner), the
// old file takes the cut in place (`owned` false). Under Wine, whose access
// lists cannot be set as they were, a file of another owner takes the cut
// in place, and a file of the runner's only a new one with its access list
// as made (`exact`).
bool carry_attributes(int from, int to, bool &owned, bool &exact)
{
	constexpr DWORD settable = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN |
				   FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE |
				   FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_TEMPORARY;
	const HANDLE old = handle_of(from);
	const HANDLE made = handle_of(to);
	BY_HANDLE_FILE_INFORMATION info;
	FILE_BASIC_INFO basic{}; // times of 0 stay as they are
	exact = true;
	if (failed("status", role::old) || !GetFileInformationByHandle(old, &info) ||
	    failed("mode", role::output) || !read_security(old, old_security))
		return false;
	basic.FileAttributes = info.dwFileAttributes & settable;
	if (basic.FileAttributes == 0)
		basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
	if (!SetFileInformationByHandle(made, FileBasicInfo, &basic, sizeof basic))
		return false;
	if (!under_wine()) {
		owned = carry_security(made);
		return true;
	}
	owned = read_security(made, new_security) && same_owner(old_security, new_security);
	exact = !owned || same_security(old_security, new_security);
	return true;
}

// Shared with no one: where another program holds the file, as where it
// would keep the name from the new file, the old file stays as it is.
int open_in_place(int fd, role r)
{
	return failed("reopen", r)
		   ? -1
		   : descriptor(ReOpenFile(handle_of(fd), GENERIC_READ | GENERIC_WRITE, 0, 0));
}

// A file cut shorter is cut first, which a mapped view of another program's
// refuses. Room for a longer one is its allocation, which leaves its end
// and its bytes; where the system sets none aside (Wine), the bytes past its
// end are written as zeros, and taken back where they cannot all be. The
// file is left where it is read from, at its start.
bool reserve_size(int fd, std::int64_t size, role r)
{
	FILE_ALLOCATION_INFO room{};
	FILE_END_OF_FILE_INFO end_of_file{};
	room.AllocationSize.QuadPart = size;
	end_of_file.EndOfFile.QuadPart = size;
	LARGE_INTEGER end;
	if (!GetFileSizeEx(handle_of(fd), &end))
		return false;
	if (size <= end.QuadPart)
		return !failed("size", r) &&
		       SetFileInformationByHandle(handle_of(fd), FileEndOfFileInfo, &end_of_file,
						  sizeof end_of_file);
	if (failed("allocate", r))
		return false;
	if (SetFileInformationByHandle(handle_of(fd), FileAllocationInfo, &room, sizeof room))
		return true;
	static const unsigned char zeros[65536] = {};
	if (_lseeki64(fd, end.QuadPart, SEEK_SET) != end.QuadPart)
		return false;
	for (std::int64_t at = end.QuadPart; at < size;) {
		const int n =
		    _write(fd, zeros,
			   static_cast<unsigned>(std::min<std::int64_t>(size - at, sizeof zeros)));
		if (n <= 0) {
			_chsize_s(fd, end.QuadPart); // the file had none of these bytes
			return false;
		}
		at += n;
	}
	return _lseeki64(fd, 0, SEEK_SET) == 0;
}

bool sync_file(int fd, role r)
{
	return !failed("sync", r) && FlushFileBuffers(handle_of(fd));
}

bool close_file(int fd, role r)
{
	const bool fails = failed("close", r);
	return _close(fd) == 0 && !fails;
}

std::int64_t seek_to(int fd, std::int64_t position, role r)
{
	return failed("seek", r) ? -1 : _lseeki64(fd, position, SEEK_SET);
}

std::int64_t file_position(int fd, role r)
{
	return failed("seek", r) ? -1 : _lseeki64(fd, 0, SEEK_CUR);
}

std::int64_t read_some(int fd, unsigned char *bytes, std::size_t count, role r)
{
	return failed("read", r)
		   ? -1
		   : _read(fd, bytes, static_cast<unsigned>(std::min(count, call_max)));
}

std::int64_t write_some(int fd, const unsigned char *bytes, std::size_t count, role r)
{
	if (failed("write", r))
		return -1;
	return _write(fd, bytes, static_cast<unsigned>(fault_count(r, std::min(count, call_max))));
}

// Windows has no copy between two open files that the program could use.
std::int64_t copy_range(int, int, std::uint64_t)
{
	static_cast<void>(failed("copy", role::output));
	return 0;
}

void on_ending(void (*cleanup)())
{
	ending_cleanup = cleanup;
	static_cast<void>(std::atexit(end_run)); // room for 32 is promised
}

// A console's events end the process from another thread, which waits
// while the program holds them; the same thread may hold them again.
void hold_endings()
{
	EnterCriticalSection(&ending);
}
