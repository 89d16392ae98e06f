#include "run/outputs.h"

#include <cerrno>

#include "platform/process.h"

namespace tpjconv {

namespace {

std::string_view role_name(Role role) {
  switch (role) {
    case Role::input: return "INPUT";
    case Role::busfile: return "BUSFILE";
    case Role::output: return "OUTPUT";
    case Role::checklog: return "CHECKLOG";
    case Role::report: return "REPORT";
    case Role::summary: return "SUMMARY";
  }
  return "";
}

std::string described(const RunFile& file) {
  std::string text(role_name(file.role));
  text += ' ';
  text += file.standard_output ? "standard output" : file.path;
  return text;
}

bool is_output(Role role) { return role != Role::input && role != Role::busfile; }

// True when `path` names the file behind standard input, output or error: such a name is
// written where it stands.
bool is_standard_stream(const platform::FileIdentity& id) {
  for (int stream = 0; stream <= 2; ++stream) {
    const platform::FileIdentity standard = platform::identify_standard(stream);
    if (standard.known && standard.kind == id.kind && standard.device == id.device &&
        standard.index == id.index) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::optional<std::string> find_collision(const std::vector<RunFile>& files) {
  std::vector<platform::FileIdentity> ids;
  ids.reserve(files.size());
  for (const RunFile& file : files) {
    ids.push_back(file.standard_output ? platform::identify_standard(1)
                                       : platform::identify(file.path));
  }
  for (std::size_t later = 0; later < files.size(); ++later) {
    if (!is_output(files[later].role)) continue;
    for (std::size_t earlier = 0; earlier < later; ++earlier) {
      if (files[later].standard_output && files[earlier].standard_output) continue;
      if (!platform::same_file(ids[later], ids[earlier])) continue;
      return described(files[later]) + " is the same file as " + described(files[earlier]) +
             "; nothing written";
    }
  }
  return std::nullopt;
}

int OutputFile::open(const std::string& path) {
  const platform::FileIdentity id = platform::identify(path);
  const bool standard_stream = is_standard_stream(id);
  regular_ = id.known && !standard_stream &&
             (id.kind == platform::FileKind::regular || id.kind == platform::FileKind::missing);
  bool direct = !id.known || id.kind == platform::FileKind::special ||
                id.kind == platform::FileKind::directory || standard_stream;
  if (!direct) {
    target_ = platform::link_target(path);
    // A link whose text names no path to the same file (a descriptor of /proc, say) cannot be
    // replaced by name: such a file is written where it stands.
    direct = !platform::same_file(platform::identify(target_), id);
  }
  if (!direct) {
    // A file its owner made read-only is not replaced, as it would not be overwritten.
    if (platform::write_protected(target_)) return EACCES;
    const int permissions = platform::permissions_of(target_);
    // A hidden name that says whose it is: ".NAME.tpjconv-PID-N".
    std::string stem(1, '.');
    stem.append(platform::base_name(target_), 0, 64);
    stem.append(".tpjconv-").append(std::to_string(platform::process_id())).append("-");
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string candidate = platform::sibling_path(target_, stem + std::to_string(attempt));
      // Listed before it exists, so that no moment leaves it behind on an interrupt.
      platform::remove_on_signal(candidate);
      platform::Opened opened = platform::create_new(candidate, permissions);
      if (opened.error == 0) {
        file_ = std::move(opened.file);
        temporary_ = std::move(candidate);
        return 0;
      }
      platform::keep_on_signal(candidate);
      if (opened.error != EEXIST) break;
    }
  }
  // Written where it stands: a device, standard output, or a directory the run cannot add to.
  platform::Opened opened = platform::open_for_writing(path);
  if (opened.error != 0) return opened.error;
  file_ = std::move(opened.file);
  target_ = path;
  temporary_.clear();
  return 0;
}

int OutputFile::commit() {
  if (temporary_.empty()) return 0;
  const int error = platform::replace_file(temporary_, target_);
  if (error != 0) {
    discard();
    return error;
  }
  platform::keep_on_signal(temporary_);
  temporary_.clear();
  return 0;
}

void OutputFile::discard() {
  if (temporary_.empty()) return;
  file_.close();
  platform::remove_file(temporary_);
  platform::keep_on_signal(temporary_);
  temporary_.clear();
}

}  // namespace tpjconv
