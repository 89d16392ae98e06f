// The Windows side of the platform unit: handles behind C runtime descriptors, file identities,
// renames and the console's Ctrl-C. Every file is read and written as bytes through ReadFile and
// WriteFile, so CR LF and LF line ends pass unchanged, as on POSIX systems.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/file.h"
#include "text/iso_time.h"
#include "platform/process.h"
#include "text/printable.h"

// The C runtime would otherwise expand wildcards in the arguments before main() sees them: an
// argument is a file name or a number, taken as typed.
extern "C" {
int _dowildcard = 0;
}

namespace tpjconv::platform {

namespace {

// The errno value that tells the same as a Windows error code, so that messages read as they do
// on POSIX systems.
int errno_of(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_CURRENT_DIRECTORY:
    case ERROR_NETWORK_ACCESS_DENIED:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    case ERROR_NOT_SAME_DEVICE:
      return EXDEV;
    case ERROR_TOO_MANY_LINKS:
      return EMLINK;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
      return ENOSYS;
    case ERROR_NOT_LOCKED:
    case ERROR_LOCK_FAILED:
      return ENOLCK;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
      return EPIPE;
    case ERROR_INVALID_HANDLE:
      return EBADF;
    default:
      return EIO;
  }
}

int last_errno() { return errno_of(GetLastError()); }

HANDLE handle_of(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

// The C runtime gives -2 for a standard stream that has no handle behind it.
bool usable(HANDLE handle) {
  return handle != INVALID_HANDLE_VALUE && handle != nullptr &&
         reinterpret_cast<intptr_t>(handle) != -2;
}

bool is_directory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool is_separator(char c) { return c == '\\' || c == '/'; }

// Where the last part of a name starts: after its last separator, or after a drive ("C:name").
std::size_t last_part(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/");
  if (slash != std::string::npos) return slash + 1;
  if (path.size() >= 2 && path[1] == ':') return 2;
  return 0;
}

FileIdentity identity_of(HANDLE handle) {
  FileIdentity id;
  switch (GetFileType(handle)) {
    case FILE_TYPE_DISK: {
      BY_HANDLE_FILE_INFORMATION info;
      if (!GetFileInformationByHandle(handle, &info)) return id;
      id.kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::directory
                                                                        : FileKind::regular;
      id.device = info.dwVolumeSerialNumber;
      id.index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
      break;
    }
    case FILE_TYPE_CHAR:
    case FILE_TYPE_PIPE:
      id.kind = FileKind::special;
      break;
    default:
      return id;
  }
  id.known = true;
  return id;
}

// Opens a name only to ask about it; directories open too.
HANDLE open_to_query(const std::string& path) {
  return CreateFileA(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Names compared as Windows compares them: without regard to case.
bool same_name(const std::string& a, const std::string& b) {
  auto wide = [](const std::string& text) {
    std::wstring out;
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0);
    if (size <= 0) return out;
    out.resize(static_cast<std::size_t>(size));
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
  };
  const std::wstring wa = wide(a), wb = wide(b);
  return CompareStringOrdinal(wa.data(), static_cast<int>(wa.size()), wb.data(),
                              static_cast<int>(wb.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

// Opening and closing are friends of File; this gathers them in one place.
struct Opener {
  static File make(int fd, bool owned, bool readable = true) { return File(fd, owned, readable); }
};

namespace {

// Wraps an open handle in a C runtime descriptor; closes it when no descriptor is left.
Result<File> wrap(HANDLE handle, int flags, ErrorKind kind, const std::string& path,
                  bool readable = true) {
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    return open_error(kind, EMFILE, path);
  }
  return Opener::make(fd, true, readable);
}

}  // namespace

IoResult File::read(char* buffer, std::size_t size) {
  const HANDLE handle = handle_of(fd_);
  if (!usable(handle)) return {0, EBADF};
  const DWORD asked = size > (1u << 30) ? DWORD{1u << 30} : static_cast<DWORD>(size);
  DWORD got = 0;
  if (ReadFile(handle, buffer, asked, &got, nullptr)) return {got, 0};
  const DWORD code = GetLastError();
  // The writing end of a pipe was closed: the end of the input.
  if (code == ERROR_BROKEN_PIPE || code == ERROR_HANDLE_EOF) return {0, 0};
  return {0, errno_of(code)};
}

IoResult File::write(const char* data, std::size_t size) {
  const HANDLE handle = handle_of(fd_);
  if (!usable(handle)) return {0, EBADF};
  std::size_t done = 0;
  while (done < size) {
    const std::size_t left = size - done;
    const DWORD asked = left > (1u << 30) ? DWORD{1u << 30} : static_cast<DWORD>(left);
    DWORD put = 0;
    if (!WriteFile(handle, data + done, asked, &put, nullptr)) return {done, last_errno()};
    if (put == 0) return {done, ENOSPC};
    done += put;
  }
  return {done, 0};
}

int File::close() {
  if (fd_ < 0) return 0;
  const int fd = fd_;
  fd_ = -1;
  if (!owned_) return 0;
  return _close(fd) == 0 ? 0 : errno;
}

Result<File> open_for_reading(const std::string& path) {
  const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (!usable(handle)) {
    const int error = last_errno();
    return open_error(ErrorKind::open, error == EACCES && is_directory(path) ? EISDIR : error,
                      path);
  }
  return wrap(handle, _O_RDONLY, ErrorKind::open, path);
}

Result<File> open_in_place(const std::string& path) {
  const HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (!usable(handle)) {
    const int error = last_errno();
    return open_error(ErrorKind::create, error == EACCES && is_directory(path) ? EISDIR : error,
                      path);
  }
  return wrap(handle, 0, ErrorKind::create, path);
}

Result<File> open_to_rewrite(const std::string& path) {
  bool readable = true;
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (!usable(handle) && GetLastError() == ERROR_ACCESS_DENIED) {
    readable = false;
    handle = CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (!usable(handle)) {
    const int error = last_errno();
    return open_error(ErrorKind::create, error == EACCES && is_directory(path) ? EISDIR : error,
                      path);
  }
  return wrap(handle, readable ? _O_RDWR : 0, ErrorKind::create, path, readable);
}

Result<File> create_new(const std::string& path) {
  // Windows keeps no permission bits but the read-only attribute, and a read-only file is never
  // replaced (see look_at_output), so the new file is made writable like any other.
  const HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (!usable(handle)) return open_error(ErrorKind::create, last_errno(), path);
  return wrap(handle, 0, ErrorKind::create, path);
}

int File::truncate_to(std::uint64_t size) {
  const HANDLE handle = handle_of(fd_);
  if (!usable(handle)) return EBADF;
  // A device has nothing to cut.
  if (GetFileType(handle) != FILE_TYPE_DISK) return 0;
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(size);
  if (!SetFilePointerEx(handle, end, nullptr, FILE_BEGIN) || !SetEndOfFile(handle)) {
    return last_errno();
  }
  return 0;
}

int File::seek_start() {
  const HANDLE handle = handle_of(fd_);
  if (!usable(handle)) return EBADF;
  if (GetFileType(handle) != FILE_TYPE_DISK) return 0;
  LARGE_INTEGER start{};
  return SetFilePointerEx(handle, start, nullptr, FILE_BEGIN) ? 0 : last_errno();
}

// Windows keeps no owner, group or permission bits of this kind.
int File::set_owner(std::uint32_t, std::uint32_t) { return 0; }
int File::set_mode(int) { return 0; }
int File::clear_set_id_bits() { return 0; }

bool File::is_standard(int stream) const {
  // Only files on disk have an identity to compare; a console or pipe cannot be opened by name
  // as the same file.
  const FileIdentity mine = identity_of(handle_of(fd_));
  const FileIdentity standard = identity_of(handle_of(stream));
  return mine.known && standard.known && mine.kind == FileKind::regular &&
         standard.kind == FileKind::regular && mine.device == standard.device &&
         mine.index == standard.index;
}

// Symbolic links are rare on Windows and need rights most users lack: a name stands for itself.
std::string link_target(const std::string& path, int*) { return path; }

FileIdentity identify(const std::string& path) {
  if (path.empty() || is_separator(path.back())) return {};
  const HANDLE handle = open_to_query(path);
  if (usable(handle)) {
    const FileIdentity id = identity_of(handle);
    CloseHandle(handle);
    return id;
  }
  if (GetLastError() != ERROR_FILE_NOT_FOUND) return {};
  // A file that does not exist yet is the name it will get in the directory it will be made in.
  // The full name settles ".", ".." and either separator.
  const DWORD size = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return {};
  std::string full(size, '\0');
  const DWORD length = GetFullPathNameA(path.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return {};
  full.resize(length);
  const std::size_t start = last_part(full);
  if (start == 0 || start >= full.size()) return {};
  std::string directory = full.substr(0, start);
  // "C:\" stays as it is; "C:\work\" loses its last separator.
  if (directory.size() > 3 && is_separator(directory.back())) directory.pop_back();
  const HANDLE parent = open_to_query(directory);
  if (!usable(parent)) return {};
  FileIdentity id = identity_of(parent);
  CloseHandle(parent);
  if (!id.known || id.kind != FileKind::directory) return {};
  id.kind = FileKind::missing;
  id.name = full.substr(start);
  return id;
}

FileIdentity identify_standard(int stream) {
  const HANDLE handle = handle_of(stream);
  if (!usable(handle)) return {};
  return identity_of(handle);
}

FileIdentity identify_open(const File& file) {
  const HANDLE handle = handle_of(file.fd_);
  if (!usable(handle)) return {};
  return identity_of(handle);
}

bool same_file(const FileIdentity& a, const FileIdentity& b) {
  if (!a.known || !b.known || a.kind != b.kind) return false;
  if (a.kind != FileKind::regular && a.kind != FileKind::missing) return false;
  return a.device == b.device && a.index == b.index && same_name(a.name, b.name);
}

OutputFacts look_at_output(const std::string& path) {
  OutputFacts facts;
  const FileIdentity id = identify(path);
  if (!id.known) {
    // Left to the open, which says why.
    facts.replaceable = false;
    return facts;
  }
  facts.kind = id.kind;
  if (id.kind == FileKind::directory) {
    facts.error = EISDIR;
    return facts;
  }
  if (id.kind == FileKind::special) {
    facts.replaceable = false;
    return facts;
  }
  facts.target = path;
  const std::size_t start = last_part(path);
  facts.directory = start == 0 ? "." : path.substr(0, start);
  if (facts.directory.size() > 1 && is_separator(facts.directory.back()) &&
      facts.directory[facts.directory.size() - 2] != ':') {
    facts.directory.pop_back();
  }
  const HANDLE directory = open_to_query(facts.directory);
  if (!usable(directory)) {
    facts.error = last_errno();
    return facts;
  }
  const FileIdentity directory_id = identity_of(directory);
  CloseHandle(directory);
  facts.directory_device = directory_id.device;
  facts.directory_index = directory_id.index;
  // Whether a file may be added is known only by trying: the new file's create says.
  facts.may_add = true;
  if (id.kind == FileKind::regular) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    facts.may_write =
        attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0;
    facts.mode = 0666;
    facts.device = id.device;
    facts.index = id.index;
    // A file with other names (hard links) keeps them only when written where it stands.
    const HANDLE file = open_to_query(path);
    if (usable(file)) {
      BY_HANDLE_FILE_INFORMATION info;
      if (GetFileInformationByHandle(file, &info)) facts.keep_file = info.nNumberOfLinks > 1;
      CloseHandle(file);
    }
  }
  return facts;
}

std::string base_name(const std::string& path) { return path.substr(last_part(path)); }

std::string sibling_path(const std::string& path, const std::string& file) {
  return path.substr(0, last_part(path)) + file;
}

int replace_file(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : last_errno();
}

int make_link(const std::string& existing, const std::string& name) {
  return CreateHardLinkA(name.c_str(), existing.c_str(), nullptr) ? 0 : last_errno();
}

bool link_unsupported(int error) {
  return error == EPERM || error == EXDEV || error == EMLINK || error == ENOSYS;
}

int remove_file(const std::string& path) { return DeleteFileA(path.c_str()) ? 0 : last_errno(); }

Listing list_directory(const std::string& directory) {
  Listing listing;
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA((directory + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code != ERROR_FILE_NOT_FOUND) listing.error = errno_of(code);
    return listing;
  }
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") listing.names.push_back(name);
  } while (FindNextFileA(search, &found));
  if (GetLastError() != ERROR_NO_MORE_FILES) listing.error = last_errno();
  FindClose(search);
  return listing;
}

// The lock is a mutex named after the volume and file index of the directory or file, which every
// run of this session that puts files in place there takes; Windows releases it when its process
// ends.
CommitLock::~CommitLock() {
  if (handle_ == -1) return;
  const HANDLE mutex = reinterpret_cast<HANDLE>(handle_);
  ReleaseMutex(mutex);
  CloseHandle(mutex);
}

namespace {

int try_mutex(const FileIdentity& id, std::intptr_t* held) {
  if (!id.known) return EIO;
  const std::string name = "Local\\tpjconv-commit-" + std::to_string(id.device) + "-" +
                           std::to_string(id.index);
  const HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
  if (mutex == nullptr) return last_errno();
  const DWORD waited = WaitForSingleObject(mutex, 0);
  // Abandoned: the run that held it ended without releasing it; it is this run's now.
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
    *held = reinterpret_cast<std::intptr_t>(mutex);
    return 0;
  }
  const int error = waited == WAIT_TIMEOUT ? CommitLock::kBusy : last_errno();
  CloseHandle(mutex);
  return error;
}

}  // namespace

int CommitLock::try_directory(const std::string& directory) {
  const HANDLE query = open_to_query(directory);
  if (!usable(query)) return last_errno();
  const FileIdentity id = identity_of(query);
  CloseHandle(query);
  return try_mutex(id, &handle_);
}

int CommitLock::try_file(const File& file) {
  const HANDLE handle = handle_of(file.fd_);
  if (!usable(handle)) return EBADF;
  return try_mutex(identity_of(handle), &handle_);
}

std::string temporary_path(const std::string& file) {
  std::string directory(MAX_PATH + 1, '\0');
  const DWORD length = GetTempPathA(static_cast<DWORD>(directory.size()), directory.data());
  if (length == 0 || length >= directory.size()) return file;
  directory.resize(length);
  if (!is_separator(directory.back())) directory += '\\';
  return directory + file;
}

std::string error_text(int error) { return std::strerror(error); }

Error open_error(ErrorKind kind, int error, const std::string& path) {
  return Error{kind, error, path, 0,
               printable(path) + ": " + (error == EISDIR ? "is a directory" : error_text(error))};
}

// ---- the process ----

namespace {

// The files to remove when Ctrl-C, Ctrl-Break or closing the console ends the run, and the lock
// that keeps them whole: the console handler runs on a thread of its own.
struct Doomed {
  CRITICAL_SECTION lock;
  std::vector<std::string> files;

  Doomed() { InitializeCriticalSection(&lock); }
  Doomed(const Doomed&) = delete;
  Doomed& operator=(const Doomed&) = delete;
};

Doomed& doomed() {
  static Doomed d;
  return d;
}

BOOL WINAPI remove_files_and_end(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  Doomed& d = doomed();
  // Waits while the outputs are being put in place, and is never left: no file is listed or
  // created after this, until the process ends.
  EnterCriticalSection(&d.lock);
  // Files still open are opened with FILE_SHARE_DELETE: they go when their handles close.
  for (const std::string& path : d.files) DeleteFileA(path.c_str());
  // Ends at once, as a POSIX signal would, with the status Windows gives a run ended by Ctrl-C;
  // nothing of the run is left to finish or flush.
  TerminateProcess(GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
  return TRUE;
}

void install_handler() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  SetConsoleCtrlHandler(remove_files_and_end, TRUE);
}

}  // namespace

void open_closed_standard_streams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (!usable(handle_of(fd))) {
      const int opened = _open("NUL", fd == 0 ? _O_RDONLY : _O_WRONLY);
      if (opened >= 0 && opened != fd) {
        _dup2(opened, fd);
        _close(opened);
      }
    }
    // Nothing is translated on the standard streams either.
    _setmode(fd, _O_BINARY);
  }
}

unsigned long process_id() { return GetCurrentProcessId(); }

std::string local_time() {
  SYSTEMTIME local;
  GetLocalTime(&local);
  TIME_ZONE_INFORMATION zone;
  const DWORD which = GetTimeZoneInformation(&zone);
  long bias = zone.Bias;  // minutes to add to local time for UTC
  if (which == TIME_ZONE_ID_STANDARD) bias += zone.StandardBias;
  if (which == TIME_ZONE_ID_DAYLIGHT) bias += zone.DaylightBias;
  if (which == TIME_ZONE_ID_INVALID) bias = 0;
  return iso_time(local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute,
                  local.wSecond, -bias);
}

std::string host_name() {
  char name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = sizeof name;
  if (!GetComputerNameA(name, &size)) return {};
  return std::string(name, size);
}

bool process_runs(unsigned long id) {
  const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                     static_cast<DWORD>(id));
  if (process == nullptr) return GetLastError() != ERROR_INVALID_PARAMETER;
  DWORD code = 0;
  const bool runs = !GetExitCodeProcess(process, &code) || code == STILL_ACTIVE;
  CloseHandle(process);
  return runs;
}

int file_creation_mask() { return 0; }

bool is_terminal(int stream) { return _isatty(stream) != 0; }

void remove_on_signal(const std::string& path) {
  Doomed& d = doomed();
  EnterCriticalSection(&d.lock);
  install_handler();
  d.files.push_back(path);
  LeaveCriticalSection(&d.lock);
}

void keep_on_signal(const std::string& path) {
  Doomed& d = doomed();
  EnterCriticalSection(&d.lock);
  for (auto it = d.files.begin(); it != d.files.end(); ++it) {
    if (*it == path) {
      d.files.erase(it);
      break;
    }
  }
  LeaveCriticalSection(&d.lock);
}

// The lock may be entered again by the thread that holds it, so the outputs can be put in place
// (and taken off the list) while it is held.
void hold_signals() { EnterCriticalSection(&doomed().lock); }

void release_signals() { LeaveCriticalSection(&doomed().lock); }

}  // namespace tpjconv::platform
