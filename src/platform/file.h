// Files as the operating system gives them. This header and its two sides, posix.cc and
// windows.cc, are the only code of the tool that speaks to the system about files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tpjconv/error.h"
#include "tpjconv/io.h"

namespace tpjconv {

namespace platform {

// An open file, read and written as bytes: nothing is translated, line ends included. Closed
// when destroyed, unless it is one of the standard streams.
class File final : public ByteSource, public ByteSink {
 public:
  File() = default;
  File(File&& other) noexcept : fd_(other.fd_), owned_(other.owned_) { other.fd_ = -1; }
  File& operator=(File&& other) noexcept {
    if (this != &other) {
      close();
      fd_ = other.fd_;
      owned_ = other.owned_;
      other.fd_ = -1;
    }
    return *this;
  }
  ~File() override { close(); }

  // Standard input (0), output (1) or error (2); close() leaves it open.
  static File standard(int stream) { return File(stream, false); }

  bool is_open() const { return fd_ >= 0; }
  IoResult read(char* buffer, std::size_t size) override;
  IoResult write(const char* data, std::size_t size) override;
  int close() override;

  // Empties the file. Returns 0 or the errno.
  int truncate();
  // Gives the file an owner and a group. Returns 0 or the errno; Windows keeps no owners: 0.
  int set_owner(std::uint32_t owner, std::uint32_t group);
  // Sets the permission bits to `mode`. Returns 0 or the errno; 0 on Windows.
  int set_mode(int mode);
  // Clears the setuid and setgid bits where they are set. Returns 0 or the errno.
  int clear_set_id_bits();
  // True when this is the file behind standard stream `stream` (0, 1 or 2), of whatever kind.
  bool is_standard(int stream) const;

 private:
  friend struct Opener;
  File(int fd, bool owned) : fd_(fd), owned_(owned) {}

  int fd_ = -1;
  bool owned_ = true;
};

// Opens a file to read: the file, or the error (ErrorKind::open, the errno, the path, and the
// message "PATH: REASON"). A directory is no file to read: EISDIR, "is a directory".
Result<File> open_for_reading(const std::string& path);

// Opens a file to write where it stands, created with mode 0666 less the umask when missing, and
// not emptied: File::truncate() does that. The error is ErrorKind::create.
Result<File> open_in_place(const std::string& path);

// Creates a file that must not exist yet, readable and writable by its owner only. The error is
// ErrorKind::create.
Result<File> create_new(const std::string& path);

// The error of a file `path` that could not be opened: "PATH: REASON", the reason of EISDIR
// being "is a directory".
Error open_error(ErrorKind kind, int error, const std::string& path);

enum class FileKind {
  missing,    // nothing there yet
  regular,
  special,    // terminal, device, FIFO, socket: may be named by several arguments
  directory,
};

// Which file a name stands for, once symbolic links are followed. An existing file is known by
// its device and index; a missing one by the device and index of its directory and its name.
struct FileIdentity {
  FileKind kind = FileKind::missing;
  std::uint64_t device = 0;
  std::uint64_t index = 0;
  std::string name;  // a missing file's name in its directory
  bool known = false;  // false: neither the file nor its directory could be found
};

FileIdentity identify(const std::string& path);

// The file behind a standard stream (0, 1 or 2).
FileIdentity identify_standard(int stream);

// True when both name the same file that can be written: regular files and missing ones.
bool same_file(const FileIdentity& a, const FileIdentity& b);

// The name a chain of symbolic links ends at: where a new version of `path` has to be put so
// that the link keeps pointing to it. `path` itself when it is no link.
std::string link_target(const std::string& path);

// What a run must know of an output's name before it opens anything: the file the name stands for,
// and whether a new file may take its place.
struct OutputFacts {
  int error = 0;  // errno: the name or its directory cannot be looked at, or names a directory
  FileKind kind = FileKind::missing;
  // False: the name cannot be replaced by another file (a device, a FIFO, a link whose text names
  // no path to its file); it is written where it stands.
  bool replaceable = true;
  std::string target;     // the name to replace: where a chain of symbolic links ends
  std::string directory;  // the directory of `target`
  std::uint64_t directory_device = 0;
  std::uint64_t directory_index = 0;
  bool may_add = false;        // files may be created in, and renamed within, the directory
  bool may_write = true;       // the existing file may be written by this process
  bool may_own = true;         // a new file may get the existing file's owner and group
  bool rename_refused = false; // a sticky directory keeps the existing file from being replaced
  std::uint32_t owner = 0;     // of the existing file
  std::uint32_t group = 0;
  int mode = -1;               // permission bits of the existing file (07777), -1 when none
};
OutputFacts look_at_output(const std::string& path);

// The last part of a name, and the name of `file` in the directory of `path`.
std::string base_name(const std::string& path);
std::string sibling_path(const std::string& path, const std::string& file);

// Puts `from` in the place of `to`, replacing it in one step. Returns 0 or the errno.
int replace_file(const std::string& from, const std::string& to);

// Gives the existing file `existing` the second name `name` (a hard link). Returns 0 or the
// errno; link_unsupported() tells the errors that mean the filesystem makes no such links.
int make_link(const std::string& existing, const std::string& name);
bool link_unsupported(int error);

// Removes a file. Returns 0 or the errno.
int remove_file(const std::string& path);

// The names in a directory, "." and ".." left out, or the errno that kept it from being read.
struct Listing {
  std::vector<std::string> names;
  int error = 0;
};
Listing list_directory(const std::string& directory);

// An advisory lock on a directory, which every run of the tool takes before it puts files in
// place there: runs on the same outputs put them in place one at a time. Released when
// destroyed.
class DirectoryLock {
 public:
  DirectoryLock() = default;
  DirectoryLock(const DirectoryLock&) = delete;
  DirectoryLock& operator=(const DirectoryLock&) = delete;
  DirectoryLock(DirectoryLock&& other) noexcept : handle_(other.handle_) { other.handle_ = -1; }
  ~DirectoryLock();

  // Waits until the lock on `directory` is had. Returns 0, or the errno of a failure; a
  // filesystem that keeps no locks is no failure, the run goes on without.
  int lock(const std::string& directory);

 private:
  std::intptr_t handle_ = -1;
};

// The system's text for an errno value.
std::string error_text(int error);

}  // namespace platform
}  // namespace tpjconv
