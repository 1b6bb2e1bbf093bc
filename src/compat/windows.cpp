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

#include "seam.h"

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

HANDLE handle_of(int fd)
{
	return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
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
	fault_facts(r, facts);
}

// The facts of what a name holds, never through a link; false, with
// found false, where it holds nothing.
bool facts_by_name(const wchar_t *path, role r, file_facts &facts, bool &found)
{
	const HANDLE h =
	    CreateFileW(path, FILE_READ_ATTRIBUTES, share_all, nullptr, OPEN_EXISTING,
			FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
	const DWORD error = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
	BY_HANDLE_FILE_INFORMATION info;
	found = error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
	const bool told = h != INVALID_HANDLE_VALUE && GetFileInformationByHandle(h, &info);
	if (h != INVALID_HANDLE_VALUE)
		CloseHandle(h);
	if (told)
		take_facts(info, r, facts);
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
	if (!on_disk || GetFileType(h) == FILE_TYPE_UNKNOWN) {
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
	if (failed("open", role::old) || !to_wide(path, wide))
		return false;
	const DWORD attributes = GetFileAttributesW(wide.data());
	if (attributes == INVALID_FILE_ATTRIBUTES) {
		const DWORD error = GetLastError();
		if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
			return true;
	}
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

bool name_was_too_long()
{
	const DWORD error = GetLastError();
	return error == ERROR_FILENAME_EXCED_RANGE || error == ERROR_INVALID_NAME;
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

int open_folder_at(int folder, const char *name, role r)
{
	wide_text path;
	if (failed("open", r) || !at_name(folder, name, path))
		return -1;
	const int fd = descriptor(
	    CreateFileW(path.data(), FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY | SYNCHRONIZE,
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

HANDLE listing = INVALID_HANDLE_VALUE;
WIN32_FIND_DATAW listed_entry;
bool entry_waiting = false;

} // namespace

bool open_listing(int folder, role r, bool &listed)
{
	wide_text path;
	listed = false;
	if (failed("list", r) || !at_name(folder, "*", path))
		return false;
	listing = FindFirstFileW(path.data(), &listed_entry);
	entry_waiting = listing != INVALID_HANDLE_VALUE;
	if (!entry_waiting && GetLastError() != ERROR_FILE_NOT_FOUND)
		return GetLastError() == ERROR_ACCESS_DENIED;
	listed = true;
	return true;
}

bool next_entry(role, path_buffer &name, bool &found)
{
	for (;;) {
		found = entry_waiting;
		if (!found)
			return GetLastError() == ERROR_NO_MORE_FILES ||
			       GetLastError() == ERROR_FILE_NOT_FOUND;
		entry_waiting = FindNextFileW(listing, &listed_entry) != 0;
		const wchar_t *entry = listed_entry.cFileName;
		if (std::wcscmp(entry, L".") != 0 && std::wcscmp(entry, L"..") != 0)
			return WideCharToMultiByte(CP_UTF8, 0, entry, -1, name.data(),
						   static_cast<int>(name.size()), nullptr,
						   nullptr) > 0;
	}
}

void close_listing()
{
	if (listing != INVALID_HANDLE_VALUE)
		FindClose(listing);
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

// Wine makes a file whose name is longer than its Unix folder holds under
// that name cut short, without a word: the file made must bear the whole
// name, else it goes and the name is too long.
int create_at(int folder, const char *name, role r)
{
	static wide_text path;
	static wide_text made;
	if (failed("create", r) || !at_name(folder, name, path))
		return -1;
	const int fd =
	    _wopen(path.data(), _O_RDWR | _O_CREAT | _O_EXCL | open_flags, _S_IREAD | _S_IWRITE);
	if (fd < 0 || !final_name(handle_of(fd), made))
		return fd;
	const wchar_t *asked = std::wcsrchr(path.data(), L'\\') + 1;
	const wchar_t *bears = std::wcsrchr(made.data(), L'\\');
	if (bears != nullptr && CompareStringOrdinal(bears + 1, -1, asked, -1, TRUE) == CSTR_EQUAL)
		return fd;
	_close(fd);
	DeleteFileW(made.data());
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

bool remove_at(int folder, const char *name, bool is_folder, role r)
{
	wide_text path;
	return !failed("remove", r) && at_name(folder, name, path) &&
	       (is_folder ? RemoveDirectoryW(path.data()) : DeleteFileW(path.data()));
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

// Shared with no one: where another program holds the file, as where it
// would keep the name from the new file, the old file stays as it is.
int open_in_place(int fd, role r)
{
	return failed("reopen", r)
		   ? -1
		   : descriptor(ReOpenFile(handle_of(fd), GENERIC_READ | GENERIC_WRITE, 0, 0));
}

// The room is the file's allocation, which leaves its end and its bytes;
// where the system sets none aside (Wine), the bytes past its end are
// written as zeros, and taken back where they cannot all be. The file is
// left where it was read from, at its start.
bool reserve_size(int fd, std::int64_t size, role r)
{
	FILE_ALLOCATION_INFO room{};
	room.AllocationSize.QuadPart = size;
	LARGE_INTEGER end;
	if (failed("allocate", r) || !GetFileSizeEx(handle_of(fd), &end))
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

bool truncate_file(int fd, std::int64_t size, role r)
{
	return !failed("size", r) && _chsize_s(fd, size) == 0;
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

std::int64_t copy_range(int, int, std::uint64_t)
{
	return 0;
}

namespace {

void (*ending_cleanup)() = nullptr;

// Held by the thread that ends the run, a console's or the program's own,
// so that one ending excludes the other: the program's never prints once
// the console's began, which closes the new file under it.
CRITICAL_SECTION ending;
bool ending_ready = false;

void ready_ending()
{
	if (!ending_ready)
		InitializeCriticalSection(&ending);
	ending_ready = true;
}

// Ctrl+C, Ctrl+Break and a closed console end the process with the status
// Windows gives them, what the run made removed.
BOOL WINAPI end_by_console(DWORD)
{
	EnterCriticalSection(&ending);
	ending_cleanup();
	TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
	return TRUE;
}

} // namespace

void on_ending(void (*cleanup)())
{
	ending_cleanup = cleanup;
	ready_ending();
	SetConsoleCtrlHandler(end_by_console, TRUE);
	static_cast<void>(std::atexit(cleanup)); // room for 32 is promised
}

// A console's events end the process from another thread, which waits
// while the program holds them; the same thread may hold them again.
void hold_endings()
{
	ready_ending();
	EnterCriticalSection(&ending);
}
