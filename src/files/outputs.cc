#include "files/outputs.h"

#include <algorithm>
#include <cerrno>
#include <thread>
#include <tuple>
#include <utility>

#include "platform/process.h"
#include "text/printable.h"

namespace tpjconv {

std::string_view role_name(Role role) {
  switch (role) {
    case Role::input: return "INPUT";
    case Role::busfile: return "BUSFILE";
    case Role::output: return "OUTPUT";
    case Role::checklog: return "CHECKLOG";
    case Role::report: return "REPORT";
    case Role::summary: return "SUMMARY";
    case Role::findings: return "FINDINGS";
    case Role::json: return "JSON";
    case Role::html: return "HTML";
  }
  return "";
}

namespace {

// The error about `file`; its message shows the names in it escaped, so that it stays one line.
Error error_of(ErrorKind kind, int os_error, const std::string& file, std::string message) {
  return Error{kind, os_error, file, 0, printable(message)};
}

// Why a file could not be opened, as the messages say it.
std::string reason(int error) {
  return error == EISDIR ? "is a directory" : platform::error_text(error);
}

// Why output `name` with `role` cannot be written where it stands, or (`beside`) why the new
// file beside it cannot be created.
Error cannot_open(Role role, const std::string& name, int error, bool beside) {
  if (beside) {
    return error_of(ErrorKind::create, error, name,
                    "cannot create a new file beside " + name + ": " +
                        (error == EEXIST ? std::string("all 100 hidden names for it are taken")
                                         : platform::error_text(error)) +
                        "; nothing written");
  }
  if (role == Role::output) {
    return error_of(ErrorKind::create, error, name, name + ": " + reason(error));
  }
  if (role == Role::summary) {
    return error_of(ErrorKind::create, error, name,
                    "cannot create SUMMARY " + name + ": " + reason(error));
  }
  return error_of(ErrorKind::create, error, name,
                  "cannot create " + std::string(role_name(role)) + " " + name + ": " +
                      reason(error) + "; nothing written");
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

// The host name as a part of a file name: letters, digits, '.', '-' and '_' only.
std::string name_part(const std::string& host) {
  std::string part = host.substr(0, 64);
  for (char& c : part) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '-' || c == '_';
    if (!plain) c = '_';
  }
  return part;
}

// The process number of a hidden name's tail "PID-N", or 0 when the tail is not of that form.
unsigned long process_of(std::string_view tail) {
  const std::size_t dash = tail.find('-');
  if (dash == 0 || dash == std::string_view::npos || dash + 1 == tail.size() || dash > 19) return 0;
  unsigned long id = 0;
  for (std::size_t i = 0; i < tail.size(); ++i) {
    const char c = tail[i];
    if (i == dash) continue;
    if (c < '0' || c > '9') return 0;
    if (i < dash) id = id * 10 + static_cast<unsigned long>(c - '0');
  }
  return id;
}

// Writes all of `from`, read from its start, over `to` from its start, and cuts `to` to that
// length. Returns 0 or the errno of the first call that failed.
int copy_over(platform::File& from, platform::File& to) {
  if (const int error = from.seek_start()) return error;
  if (const int error = to.seek_start()) return error;
  std::vector<char> buffer(std::size_t{1} << 20);
  std::uint64_t size = 0;
  for (;;) {
    const IoResult got = from.read(buffer.data(), buffer.size());
    if (got.error != 0) return got.error;
    if (got.bytes == 0) break;
    const IoResult put = to.write(buffer.data(), got.bytes);
    if (put.error != 0) return put.error;
    size += got.bytes;
  }
  return to.truncate_to(size);
}

// True when both files hold the same bytes; false too when either cannot be read.
bool same_bytes(const std::string& a, const std::string& b) {
  Result<platform::File> first = platform::open_for_reading(a);
  Result<platform::File> second = platform::open_for_reading(b);
  if (!first || !second) return false;
  std::vector<char> one(std::size_t{1} << 16), two(one.size());
  for (;;) {
    const IoResult x = first->read(one.data(), one.size());
    if (x.error != 0) return false;
    std::size_t filled = 0;
    while (filled < x.bytes) {
      const IoResult y = second->read(two.data() + filled, x.bytes - filled);
      if (y.error != 0 || y.bytes == 0) return false;
      filled += y.bytes;
    }
    if (!std::equal(one.begin(), one.begin() + static_cast<std::ptrdiff_t>(x.bytes), two.begin())) {
      return false;
    }
    if (x.bytes == 0) {
      const IoResult rest = second->read(two.data(), 1);
      return rest.error == 0 && rest.bytes == 0;
    }
  }
}

// A directory as messages name it.
std::string shown_directory(const std::string& directory) {
  return directory == "." ? std::string("the current directory") : directory;
}

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) {
    if (!text.empty()) text += ", ";
    text += name;
  }
  return text;
}

}  // namespace

Status find_collision(const std::vector<RunFile>& files) {
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
      return error_of(ErrorKind::collision, 0, files[later].path,
                      described(files[later]) + " is the same file as " +
                          described(files[earlier]) + "; nothing written");
    }
  }
  // Standard error gets the console lines of every run; standard output may be the same file.
  const platform::FileIdentity standard_error = platform::identify_standard(2);
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (files[i].standard_output || !platform::same_file(ids[i], standard_error)) continue;
    return error_of(ErrorKind::collision, 0, files[i].path,
                    described(files[i]) + " is the same file as standard error; nothing written");
  }
  return {};
}

struct Outputs::Output {
  Role role;
  std::string name;  // for messages: the path, or "standard output"
  Placement placement = Placement::standard_output;
  platform::OutputFacts facts;
  bool regular = false;  // a regular file that only this run writes: the writer thread may
  // A regular file written where it stands: the run writes `staged`, and commit() writes it over
  // `target_file`, keeping the old content in `copy` meanwhile.
  bool rewrite = false;
  platform::File file;
  std::string temporary;  // the new file beside the name, while it is there
  std::unique_ptr<ByteSink> stand_in;
  std::optional<Sink> own;
  Sink* sink = nullptr;
  int close_error = 0;
  // While the new file is put in place: the old file under a hidden name, and what was done.
  std::string way_back;
  bool was_new = false;  // no file had the name
  bool replaced = false;
  // A file written where it stands: the file itself, opened by open(); the new content, in the
  // directory (`staged_beside`) or the temporary directory; the old content while commit() works.
  platform::File target_file;
  std::string staged;
  bool staged_beside = false;
  std::string copy;
  bool rewritten = false;
  bool damaged = false;
};

Outputs::Outputs(Interrupts& interrupts, const FileHooks& hooks, WarningOut& notices,
                 Sink* standard_output, const OutputTuning& tuning)
    : interrupts_(interrupts),
      hooks_(hooks),
      notices_(notices),
      standard_output_(standard_output),
      tuning_(tuning),
      host_(name_part(platform::host_name())) {}

Outputs::~Outputs() { discard(); }

Role Outputs::role(std::size_t i) const { return outputs_[i]->role; }
const std::string& Outputs::name(std::size_t i) const { return outputs_[i]->name; }
Placement Outputs::placement(std::size_t i) const { return outputs_[i]->placement; }
Sink& Outputs::sink(std::size_t i) { return *outputs_[i]->sink; }

Status Outputs::plan(Role role, const std::string& path) {
  auto output = std::make_unique<Output>();
  output->role = role;
  output->name = path;
  platform::OutputFacts& facts = output->facts;
  facts = platform::look_at_output(path);
  if (facts.error != 0 && facts.link_error) {
    return error_of(ErrorKind::create, facts.error, path,
                    "cannot follow the symbolic link " + std::string(role_name(role)) + " " +
                        path + ": " + platform::error_text(facts.error) + "; nothing written");
  }
  if (facts.error != 0) return cannot_open(role, path, facts.error, false);
  const bool standard = is_standard_stream(platform::identify(path));
  output->regular = facts.kind != platform::FileKind::special && !standard;
  if (!facts.replaceable || standard) {
    output->placement = Placement::in_place;
  } else if (facts.kind == platform::FileKind::regular && !facts.may_write) {
    // A file its owner made read-only is not replaced, as it would not be overwritten.
    return cannot_open(role, path, EACCES, false);
  } else if (facts.may_add && facts.may_own && !facts.rename_refused && !facts.keep_file) {
    output->placement = Placement::beside;
  } else {
    output->placement = Placement::in_place;
  }
  // A regular file is written through a new file of its own, even when it stands behind a
  // standard stream: the run writes nothing to it until commit().
  output->rewrite =
      output->placement == Placement::in_place && facts.kind == platform::FileKind::regular;
  if (output->rewrite) output->regular = true;
  outputs_.push_back(std::move(output));
  return {};
}

void Outputs::plan_standard_output(Role role) {
  auto output = std::make_unique<Output>();
  output->role = role;
  output->name = "standard output";
  output->sink = standard_output_;
  outputs_.push_back(std::move(output));
}

std::string Outputs::hidden_name(const Output& output, int attempt, bool before) const {
  // ".NAME.tpjconv-HOST-PID-N": whose it is, so that a later run can tell a file left behind;
  // ".NAME.tpjconv-before-HOST-PID-N" for the old version kept while the new is put in place.
  std::string name(1, '.');
  name.append(platform::base_name(output.facts.target.empty() ? output.name
                                                              : output.facts.target),
              0, 64);
  name.append(".tpjconv-").append(before ? "before-" : "");
  name.append(host_.empty() ? "unknown" : host_).append("-");
  name.append(std::to_string(platform::process_id())).append("-").append(std::to_string(attempt));
  if (output.rewrite && !output.staged_beside) return platform::temporary_path(name);
  return platform::sibling_path(output.facts.target, name);
}

void Outputs::remove_leftovers(const Output& output) {
  // Without the host name a file of another machine could not be told from one of this machine.
  if (host_.empty()) return;
  std::string stem(1, '.');
  stem.append(platform::base_name(output.facts.target), 0, 64);
  stem.append(".tpjconv-");
  const std::string before = stem + "before-" + host_ + "-";
  stem.append(host_).append("-");
  const platform::Listing listing = platform::list_directory(output.facts.directory);
  if (listing.error != 0) {
    notice("cannot look for files left by interrupted runs beside " + output.name + ": " +
           platform::error_text(listing.error));
  }
  for (const std::string& name : listing.names) {
    const bool old = name.starts_with(before);
    if (!old && !name.starts_with(stem)) continue;
    const unsigned long id =
        process_of(std::string_view(name).substr((old ? before : stem).size()));
    if (id == 0 || platform::process_runs(id)) continue;
    const std::string path = platform::sibling_path(output.facts.target, name);
    // The old version of a file, kept by a run killed while it put its files in place: unless it
    // is still the file itself (or holds the same bytes), it is the only copy of that version.
    if (old && !platform::same_file(platform::identify(path),
                                    platform::identify(output.facts.target)) &&
        !same_bytes(path, output.facts.target)) {
      notice(name + ": " + platform::base_name(output.facts.target) +
             " as it was before a run that was killed while putting its files in place; kept");
      continue;
    }
    if (const int error = platform::remove_file(path); error != 0 && error != ENOENT) {
      notice("cannot remove " + path + ", left by an interrupted run: " +
             platform::error_text(error));
    } else if (error == 0) {
      notice("removed " + path + ", left by an interrupted run");
    }
  }
}

void Outputs::notice(std::string text) {
  notices_.warning(Warning{WarningKind::files, "", 0, printable(text)});
}

Status Outputs::create_hidden(Output& o) {
  int error = EEXIST;
  for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
    std::string candidate = hidden_name(o, attempt);
    // Listed before it exists, so that no moment leaves it behind on an interrupt.
    interrupts_.remove_on_signal(candidate);
    Result<platform::File> opened = platform::create_new(candidate);
    error = opened ? 0 : opened.error().os_error;
    if (opened) {
      o.file = std::move(*opened);
      (o.rewrite ? o.staged : o.temporary) = std::move(candidate);
    } else {
      interrupts_.keep_on_signal(candidate);
    }
  }
  if (error == 0) return {};
  if (!o.rewrite || o.staged_beside) return cannot_open(o.role, o.name, error, true);
  return error_of(ErrorKind::create, error, o.name,
                  "cannot create a new file for " + o.name + " in the temporary directory: " +
                      (error == EEXIST ? std::string("all 100 hidden names for it are taken")
                                       : platform::error_text(error)) +
                      "; nothing written");
}

Status Outputs::open() {
  for (std::size_t i = 0; i < outputs_.size(); ++i) {
    const Output& o = *outputs_[i];
    const bool beside = o.placement == Placement::beside || (o.rewrite && o.facts.may_add);
    if (!beside) continue;
    // Once for each file name.
    bool seen = false;
    for (std::size_t j = 0; j < i; ++j) seen = seen || outputs_[j]->facts.target == o.facts.target;
    if (!seen) remove_leftovers(o);
  }
  for (std::size_t i = 0; i < outputs_.size(); ++i) {
    Output& o = *outputs_[i];
    if (o.placement == Placement::standard_output) continue;
    if (o.placement == Placement::beside) {
      if (Status created = create_hidden(o); !created) {
        discard();
        return created;
      }
    } else if (o.rewrite) {
      // The file itself is opened now, so that a file the run may not write is refused before
      // anything is written, and is written only by commit().
      Result<platform::File> opened = platform::open_to_rewrite(o.name);
      if (!opened) {
        discard();
        return cannot_open(o.role, o.name, opened.error().os_error, false);
      }
      o.target_file = std::move(*opened);
      o.staged_beside = o.facts.may_add;
      if (Status created = create_hidden(o); !created) {
        discard();
        return created;
      }
    } else {
      Result<platform::File> opened = platform::open_in_place(o.name);
      if (!opened) {
        discard();
        return cannot_open(o.role, o.name, opened.error().os_error, false);
      }
      o.file = std::move(*opened);
    }
    ByteSink* destination = &o.file;
    if (hooks_.writing) o.stand_in = hooks_.writing(o.name, *destination);
    if (o.stand_in) destination = o.stand_in.get();
    o.sink = &o.own.emplace(*destination, tuning_.piece);
  }
  return {};
}

Status Outputs::start() {
  for (const auto& o : outputs_) {
    if (o->placement != Placement::in_place || o->rewrite ||
        o->facts.kind == platform::FileKind::special) {
      continue;
    }
    if (const int error = o->file.truncate()) {
      return error_of(ErrorKind::write, error, o->name,
                      "cannot write " + o->name + ": " + platform::error_text(error));
    }
  }
  writer_.emplace(tuning_.writer_start_after);
  for (const auto& o : outputs_) {
    if (o->own && o->regular) o->own->write_through(*writer_);
  }
  return {};
}

std::vector<Error> Outputs::close() {
  std::vector<Error> failures;
  // Everything written out first; then no sink and no thread is left to touch a file.
  bool standard_output_done = false;
  for (const auto& o : outputs_) {
    if (o->sink == nullptr) continue;
    if (!o->own && std::exchange(standard_output_done, true)) continue;
    o->sink->flush();
    o->close_error = o->sink->error();
  }
  for (const auto& o : outputs_) o->own.reset();
  writer_.reset();
  for (const auto& o : outputs_) {
    if (o->placement == Placement::standard_output || !o->file.is_open()) {
      if (o->close_error != 0) {
        failures.push_back(error_of(ErrorKind::write, o->close_error, o->name,
                                    "cannot write " + o->name + ": " +
                                        platform::error_text(o->close_error)));
      }
      continue;
    }
    int error = o->close_error;
    std::string what = "cannot write " + o->name;
    if (error == 0 && o->placement == Placement::beside) {
      // The old file's owner and group, then its permission bits: fchown may clear setuid and
      // setgid bits, which are never carried over anyway.
      if (o->facts.mode >= 0) {
        error = o->file.set_owner(o->facts.owner, o->facts.group);
        if (error != 0) what = "cannot give the new " + o->name + " the owner and group of the old";
      }
      if (error == 0) {
        const int mode =
            o->facts.mode >= 0 ? (o->facts.mode & 0777) : (0666 & ~platform::file_creation_mask());
        error = o->file.set_mode(mode);
        if (error != 0) what = "cannot set the permissions of the new " + o->name;
      }
    } else if (error == 0 && !o->rewrite && o->facts.kind != platform::FileKind::special) {
      error = o->file.clear_set_id_bits();
      if (error != 0) what = "cannot clear the setuid and setgid bits of " + o->name;
    }
    const int close_error = o->stand_in ? o->stand_in->close() : o->file.close();
    o->stand_in.reset();
    if (error == 0) error = close_error;
    if (error != 0) {
      failures.push_back(
          error_of(ErrorKind::write, error, o->name, what + ": " + platform::error_text(error)));
    }
  }
  return failures;
}

int Outputs::take(platform::CommitLock& lock, const std::string& directory,
                  const platform::File* file, const std::string& shown,
                  std::chrono::steady_clock::time_point deadline) {
  const auto started = std::chrono::steady_clock::now();
  for (;;) {
    const int result = file != nullptr ? lock.try_file(*file) : lock.try_directory(directory);
    if (result != platform::CommitLock::kBusy) return result;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return result;
    if (!said_waiting_ && now - started >= std::chrono::seconds(1)) {
      said_waiting_ = true;
      notice("waiting for another run to finish putting its files in place in " +
             shown_directory(shown));
    }
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
        std::chrono::milliseconds(20), deadline - now));
  }
}

Status Outputs::lock() {
  const auto deadline = std::chrono::steady_clock::now() + tuning_.lock_wait;
  auto failed = [](int error, const std::string& what, const std::string& name) {
    if (error == platform::CommitLock::kBusy) {
      return error_of(ErrorKind::replace, EWOULDBLOCK, name,
                      "cannot lock " + what + ": another process holds it; no file was replaced");
    }
    return error_of(ErrorKind::replace, error, name,
                    "cannot lock " + what + ": " + platform::error_text(error) +
                        "; no file was replaced");
  };
  // The directories first, then the files written in place, each in a fixed order, so that two
  // runs never wait for each other.
  std::vector<Output*> directories, files;
  for (const auto& o : outputs_) {
    if (!o->temporary.empty() || (o->rewrite && !o->staged.empty())) directories.push_back(o.get());
    if (o->rewrite && o->target_file.is_open()) files.push_back(o.get());
  }
  std::sort(directories.begin(), directories.end(), [](const Output* a, const Output* b) {
    return std::tie(a->facts.directory_device, a->facts.directory_index) <
           std::tie(b->facts.directory_device, b->facts.directory_index);
  });
  for (std::size_t i = 0; i < directories.size(); ++i) {
    const Output& o = *directories[i];
    // A file whose link names no path to it has no directory to lock.
    if (o.facts.directory.empty()) continue;
    if (i > 0 && o.facts.directory_device == directories[i - 1]->facts.directory_device &&
        o.facts.directory_index == directories[i - 1]->facts.directory_index) {
      continue;
    }
    platform::CommitLock lock;
    if (const int error = take(lock, o.facts.directory, nullptr, o.facts.directory, deadline)) {
      locks_.clear();
      return failed(error, shown_directory(o.facts.directory), o.name);
    }
    locks_.push_back(std::move(lock));
  }
  // With the directories locked, a file written in place is still the file its name stands for,
  // unless another process put a new file there meanwhile: that one is written over then.
  for (Output* file : files) {
    Output& o = *file;
    const platform::FileIdentity now = platform::identify(o.name);
    if (platform::same_file(now, platform::identify_open(o.target_file))) continue;
    Result<platform::File> opened = platform::open_to_rewrite(o.name);
    if (!opened) {
      locks_.clear();
      return error_of(ErrorKind::replace, opened.error().os_error, o.name,
                      "cannot write " + o.name + ": " +
                          platform::error_text(opened.error().os_error) +
                          "; no file was replaced");
    }
    o.target_file = std::move(*opened);
    const platform::FileIdentity reopened = platform::identify_open(o.target_file);
    o.facts.device = reopened.device;
    o.facts.index = reopened.index;
  }
  std::sort(files.begin(), files.end(), [](const Output* a, const Output* b) {
    return std::tie(a->facts.device, a->facts.index) < std::tie(b->facts.device, b->facts.index);
  });
  for (const Output* o : files) {
    platform::CommitLock lock;
    const std::string shown = o->facts.directory.empty() ? o->name : o->facts.directory;
    if (const int error = take(lock, "", &o->target_file, shown, deadline)) {
      locks_.clear();
      return failed(error, o->name, o->name);
    }
    locks_.push_back(std::move(lock));
  }
  return {};
}

int Outputs::rewrite(Output& o, std::string& what) {
  // The old content first, kept where the new one was written.
  if (o.target_file.readable()) {
    int error = EEXIST;
    platform::File copy;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
      std::string candidate = hidden_name(o, attempt, true);
      Result<platform::File> created = platform::create_new(candidate);
      error = created ? 0 : created.error().os_error;
      if (created) {
        copy = std::move(*created);
        o.copy = std::move(candidate);
      }
    }
    if (error == 0) error = copy_over(o.target_file, copy);
    if (const int closed = copy.close(); error == 0) error = closed;
    if (error != 0) {
      what = "cannot keep a copy of " + o.name + " before writing it over: " +
             (error == EEXIST ? std::string("every hidden name for it is taken")
                              : platform::error_text(error));
      if (!o.copy.empty()) platform::remove_file(o.copy);
      o.copy.clear();
      return error;
    }
  }
  Result<platform::File> staged = platform::open_for_reading(o.staged);
  if (!staged) {
    what = "cannot read the new " + o.name + " back: " +
           platform::error_text(staged.error().os_error);
    if (!o.copy.empty()) platform::remove_file(o.copy);
    o.copy.clear();
    return staged.error().os_error;
  }
  int error = copy_over(*staged, o.target_file);
  if (error == 0) {
    error = o.target_file.clear_set_id_bits();
    if (error != 0) what = "cannot clear the setuid and setgid bits of " + o.name;
  } else {
    what = "cannot write " + o.name;
  }
  if (error == 0) {
    o.rewritten = true;
    return 0;
  }
  what += ": " + platform::error_text(error);
  restore(o);
  return error;
}

int Outputs::restore(Output& o) {
  if (o.copy.empty()) {
    o.damaged = true;
    return EIO;
  }
  Result<platform::File> copy = platform::open_for_reading(o.copy);
  const int error = copy ? copy_over(*copy, o.target_file) : copy.error().os_error;
  if (error != 0) {
    o.damaged = true;
    return error;
  }
  platform::remove_file(o.copy);
  o.copy.clear();
  o.rewritten = false;
  return 0;
}

Status Outputs::commit() {
  std::vector<Output*> renamed, rewritten;
  for (const auto& o : outputs_) {
    if (!o->temporary.empty()) renamed.push_back(o.get());
    if (o->rewrite && !o->staged.empty()) rewritten.push_back(o.get());
  }
  auto remove_ways_back = [&] {
    for (Output* o : renamed) {
      if (o->way_back.empty()) continue;
      if (const int error = platform::remove_file(o->way_back)) {
        notice("cannot remove " + o->way_back + ": " + platform::error_text(error));
      }
      o->way_back.clear();
    }
  };
  auto unlock = [&] { locks_.clear(); };
  // The way back to each file that is replaced: a second name for it, hidden.
  for (Output* o : renamed) {
    const platform::FileIdentity old = platform::identify(o->facts.target);
    if (old.known && old.kind == platform::FileKind::missing) {
      o->was_new = true;
      continue;
    }
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
      std::string candidate = hidden_name(*o, attempt, true);
      error = platform::make_link(o->facts.target, candidate);
      if (error == 0) o->way_back = std::move(candidate);
    }
    if (error == ENOENT) {
      o->was_new = true;
    } else if (error != 0 && !platform::link_unsupported(error)) {
      remove_ways_back();
      unlock();
      discard();
      return error_of(ErrorKind::replace, error, o->name,
                      "cannot keep the old " + o->name + " until the new one is in place: " +
                          (error == EEXIST ? std::string("every hidden name for it is taken")
                                           : platform::error_text(error)) +
                          "; no file was replaced");
    }
  }
  // The files that have no way back go last: a failure before them leaves them untouched. The
  // files written where they stand go before them: their old content can be written back.
  const auto undoable = std::stable_partition(
      renamed.begin(), renamed.end(),
      [](const Output* o) { return o->was_new || !o->way_back.empty(); });
  std::vector<Output*> order(renamed.begin(), undoable);
  order.insert(order.end(), rewritten.begin(), rewritten.end());
  order.insert(order.end(), undoable, renamed.end());
  for (std::size_t i = 0; i < order.size(); ++i) {
    Output& o = *order[i];
    std::string what;
    int error = 0;
    if (o.rewrite) {
      error = rewrite(o, what);
    } else {
      error = platform::replace_file(o.temporary, o.facts.target);
      if (error == 0) {
        interrupts_.keep_on_signal(o.temporary);
        o.temporary.clear();
        o.replaced = true;
      } else {
        what = "cannot replace " + o.name + ": " + platform::error_text(error);
      }
    }
    if (error == 0) continue;
    // Everything already done is undone, the last first.
    std::vector<std::string> kept_new;
    for (std::size_t j = i; j-- > 0;) {
      Output& done = *order[j];
      int undo = 0;
      if (done.rewrite) {
        undo = restore(done);
        if (done.damaged) continue;
      } else if (!done.way_back.empty()) {
        undo = platform::replace_file(done.way_back, done.facts.target);
        if (undo != 0) {
          // The old content's second name is its only copy now: it stays, and is named.
          kept_new.insert(kept_new.begin(),
                          done.name + " (its earlier content is kept in " + done.way_back + ")");
          interrupts_.keep_on_signal(done.way_back);
        }
        done.way_back.clear();
        continue;
      } else if (done.was_new) {
        undo = platform::remove_file(done.facts.target);
      } else {
        undo = ENOENT;
      }
      if (undo != 0) kept_new.insert(kept_new.begin(), done.name);
    }
    std::vector<std::string> damaged;
    for (Output* d : order) {
      if (!d->damaged) continue;
      damaged.push_back(d->name + (d->copy.empty()
                                       ? std::string(" (its earlier content could not be read)")
                                       : " (its earlier content is kept in " + d->copy + ")"));
      // The only copy of that content stays.
      d->copy.clear();
    }
    remove_ways_back();
    unlock();
    discard();
    std::string message = std::move(what);
    if (kept_new.empty() && damaged.empty()) message += "; no file was replaced";
    if (!kept_new.empty()) message += "; replaced all the same, and not put back: " + joined(kept_new);
    if (!damaged.empty()) message += "; left damaged: " + joined(damaged);
    return error_of(ErrorKind::replace, error, o.name, std::move(message));
  }
  unlock();
  remove_ways_back();
  for (Output* o : rewritten) {
    if (o->copy.empty()) continue;
    if (const int error = platform::remove_file(o->copy)) {
      notice("cannot remove " + o->copy + ": " + platform::error_text(error));
    }
    o->copy.clear();
  }
  return {};
}

void Outputs::discard() {
  for (const auto& o : outputs_) o->own.reset();
  writer_.reset();
  for (const auto& o : outputs_) {
    o->stand_in.reset();
    o->file.close();
    o->target_file.close();
    for (std::string* path : {&o->temporary, &o->staged}) {
      if (path->empty()) continue;
      // A new file that stays is named, so that it can be removed by hand.
      if (const int error = platform::remove_file(*path); error != 0 && error != ENOENT) {
        notice("cannot remove " + *path + ": " + platform::error_text(error));
      }
      interrupts_.keep_on_signal(*path);
      path->clear();
    }
  }
}

}  // namespace tpjconv
