#include <io.h>
#include <windows.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "files/system_calls.h"

static_assert(sizeof(SystemError) == sizeof(DWORD), "SystemError holds GetLastError()");

const char PATH_SEPARATORS[] = "/\\:";
const SystemError SYSTEM_ACCESS_DENIED = ERROR_ACCESS_DENIED;
const SystemError SYSTEM_NAME_TOO_LONG = ERROR_FILENAME_EXCED_RANGE;

namespace {

HANDLE handle(SystemFile file) { return reinterpret_cast<HANDLE>(file); }

void (*cleanup_files)() = nullptr;
CRITICAL_SECTION cleanup_lock;
bool handler_installed = false;

// Runs on a thread of its own. It keeps the lock, so the main thread cannot
// create or rename another file before the default handler ends the process.
BOOL WINAPI clean_up_on_break(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
    EnterCriticalSection(&cleanup_lock);
    cleanup_files();
  }
  return FALSE;
}

// Windows errors and the C library's codes for them, as its own calls map
// them; where it has none, the reason is the system's own text.
// clang-format off
constexpr std::array<std::pair<DWORD, int>, 26> C_LIBRARY_ERRORS = {{
    {ERROR_FILE_NOT_FOUND, ENOENT}, {ERROR_PATH_NOT_FOUND, ENOENT}, {ERROR_INVALID_DRIVE, ENOENT},
    {ERROR_BAD_NETPATH, ENOENT}, {ERROR_BAD_NET_NAME, ENOENT}, {ERROR_BAD_PATHNAME, ENOENT},
    {ERROR_ACCESS_DENIED, EACCES}, {ERROR_SHARING_VIOLATION, EACCES}, {ERROR_LOCK_VIOLATION, EACCES},
    {ERROR_NETWORK_ACCESS_DENIED, EACCES}, {ERROR_CANNOT_MAKE, EACCES}, {ERROR_FILE_EXISTS, EEXIST},
    {ERROR_ALREADY_EXISTS, EEXIST}, {ERROR_DISK_FULL, ENOSPC}, {ERROR_HANDLE_DISK_FULL, ENOSPC},
    {ERROR_NOT_ENOUGH_MEMORY, ENOMEM}, {ERROR_OUTOFMEMORY, ENOMEM}, {ERROR_BROKEN_PIPE, EPIPE},
    {ERROR_NO_DATA, EPIPE}, {ERROR_NOT_SAME_DEVICE, EXDEV}, {ERROR_INVALID_PARAMETER, EINVAL},
    {ERROR_FILENAME_EXCED_RANGE, ENAMETOOLONG}, {ERROR_TOO_MANY_OPEN_FILES, EMFILE}, {ERROR_WRITE_PROTECT, EROFS},
    {ERROR_INVALID_HANDLE, EBADF}, {ERROR_DIR_NOT_EMPTY, ENOTEMPTY},
}};
// clang-format on

int c_library_code(SystemError error) {
  for (const auto& known : C_LIBRARY_ERRORS) {
    if (known.first == error) return known.second;
  }
  // The C library counts the other device and sharing errors as access denied.
  return error >= ERROR_WRITE_PROTECT && error <= ERROR_SHARING_BUFFER_EXCEEDED ? EACCES : 0;
}

}  // namespace

SystemError entry_status(const char* name, EntryStatus& status) {
  const DWORD attributes = GetFileAttributesA(name);
  if (attributes == INVALID_FILE_ATTRIBUTES) return GetLastError();
  const bool is_directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  status = EntryStatus{};
  status.is_regular = !is_directory;
  // A directory's read-only attribute does not stop writing on Windows.
  status.writable = is_directory || (attributes & FILE_ATTRIBUTE_READONLY) == 0;
  status.owned_by_runner = true;
  return 0;
}

namespace {
SystemError handle_identity(HANDLE file, FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (GetFileInformationByHandle(file, &information) == 0) return GetLastError();
  const auto wide = [](DWORD high, DWORD low) { return std::uint64_t{high} << 32 | low; };
  identity.volume = information.dwVolumeSerialNumber;
  identity.index = wide(information.nFileIndexHigh, information.nFileIndexLow);
  identity.size = wide(information.nFileSizeHigh, information.nFileSizeLow);
  identity.modified = wide(information.ftLastWriteTime.dwHighDateTime, information.ftLastWriteTime.dwLowDateTime);
  identity.changed = wide(information.ftCreationTime.dwHighDateTime, information.ftCreationTime.dwLowDateTime);
  return 0;
}
}  // namespace

SystemError stream_identity(std::FILE* stream, FileIdentity& identity) {
  return handle_identity(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))), identity);
}

// No access asked and every sharing allowed: opening only to ask which file
// it is, through links, disturbs nobody. Directories need backup semantics.
SystemError named_identity(const char* name, FileIdentity& identity) {
  const HANDLE file = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  const SystemError error = handle_identity(file, identity);
  CloseHandle(file);
  return error;
}

// Windows names ignore case: two spellings are one file.
bool listed_apart(const char*, const char*, const char*) { return false; }

bool is_missing(SystemError error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME;
}

std::uint64_t random_bits() {
  LARGE_INTEGER ticks{};
  QueryPerformanceCounter(&ticks);
  return static_cast<std::uint64_t>(ticks.QuadPart) ^ (std::uint64_t{GetCurrentProcessId()} << 32) ^
         std::uint64_t{GetTickCount()} << 16;
}

// A file's access on Windows is what its directory gives it.
SystemError create_new_file(SystemFile& file, const char* name, unsigned) {
  // Delete sharing lets the Ctrl-C handler remove the file while it is open.
  const HANDLE created =
      CreateFileA(name, GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  file = reinterpret_cast<SystemFile>(created);
  return created != INVALID_HANDLE_VALUE ? 0 : GetLastError();
}

bool is_name_taken(SystemError error) { return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS; }

SystemError write_file(SystemFile file, const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    // WriteFile counts in 32 bits.
    const DWORD chunk = size > 0x40000000U ? 0x40000000U : static_cast<DWORD>(size);
    DWORD written = 0;
    if (WriteFile(handle(file), bytes, chunk, &written, nullptr) == 0) return GetLastError();
    if (written == 0) return ERROR_WRITE_FAULT;
    bytes += written;
    size -= written;
  }
  return 0;
}

// Windows has no group, and a new file's read-only attribute is off; no link
// count is read, so no file is judged.
SystemError open_entry(SystemFile& file, const char*, const EntryStatus&) {
  file = NO_SYSTEM_FILE;
  return 0;
}
SystemError keep_permissions(SystemFile, SystemFile, unsigned, std::uint32_t) { return 0; }
bool may_have_acl(SystemFile) { return false; }
SystemError file_permissions(SystemFile, unsigned& mode, std::uint32_t& group) {
  mode = 0666;
  group = 0;
  return 0;
}
SystemError set_permissions(SystemFile, unsigned) { return 0; }

SystemError sync_file(SystemFile file) { return FlushFileBuffers(handle(file)) != 0 ? 0 : GetLastError(); }

SystemError close_file(SystemFile& file) {
  if (file == NO_SYSTEM_FILE) return 0;
  const bool closed = CloseHandle(handle(file)) != 0;
  file = NO_SYSTEM_FILE;
  return closed ? 0 : GetLastError();
}

// While another run renames onto the same target, Windows refuses a second
// rename there for a moment (access denied, or a sharing violation) where a
// POSIX rename would simply replace it; so the rename is tried again for up
// to a second before the refusal counts. Write-through: the replace is on
// disk when the call returns.
constexpr int REPLACE_TRIES = 100;
constexpr DWORD REPLACE_PAUSE_MS = 10;

SystemError replace_file(const char* from, const char* target) {
  SystemError error = 0;
  for (int attempt = 0; attempt < REPLACE_TRIES; ++attempt) {
    if (MoveFileExA(from, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0) return 0;
    error = GetLastError();
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) return error;
    // A directory in the target's place stays there.
    const DWORD attributes = GetFileAttributesA(target);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return error;
    Sleep(REPLACE_PAUSE_MS);
  }
  return error;
}

// The write-through replace already put the directory entry on disk.
SystemError sync_directory(const char*) { return 0; }

SystemError remove_file(const char* name) { return DeleteFileA(name) != 0 ? 0 : GetLastError(); }

std::size_t directory_length(const char* name) {
  std::size_t length = 0;
  for (std::size_t i = 0; name[i] != '\0'; ++i) {
    if (std::strchr(PATH_SEPARATORS, name[i]) != nullptr) length = i + 1;
  }
  return length;
}

void install_signal_handlers(void (*cleanup)()) {
  if (handler_installed) return;
  cleanup_files = cleanup;
  InitializeCriticalSection(&cleanup_lock);
  handler_installed = SetConsoleCtrlHandler(clean_up_on_break, TRUE) != 0;
  if (!handler_installed) DeleteCriticalSection(&cleanup_lock);
}

void hold_signals() {
  if (handler_installed) EnterCriticalSection(&cleanup_lock);
}
void release_signals() {
  if (handler_installed) LeaveCriticalSection(&cleanup_lock);
}

ReasonText reason_text(SystemError error) {
  ReasonText text{};
  if (c_library_code(error) != 0) {
    std::snprintf(text.data(), text.size(), "%s", std::strerror(c_library_code(error)));
  } else {
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                        text.data(), static_cast<DWORD>(text.size()), nullptr);
    // System texts end in ".\r\n"; the line ends without them, as strerror's.
    std::size_t end = length;
    while (end > 0 && (text[end - 1] == '\n' || text[end - 1] == '\r' || text[end - 1] == '.')) --end;
    text[end] = '\0';
    if (end == 0) std::snprintf(text.data(), text.size(), "error %lu", static_cast<unsigned long>(error));
  }
  return text;
}

// Windows runtimes buffer _IOLBF fully: unbuffered there.
void buffer_stdout_by_line() { std::setvbuf(stdout, nullptr, _IONBF, 0); }

unsigned shared_permission_bits(std::FILE*) { return 0; }
