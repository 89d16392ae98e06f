#include "files/outputs.h"

#include <algorithm>
#include <cerrno>
#include <tuple>
#include <utility>

#include "platform/process.h"

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

Error error_of(ErrorKind kind, int os_error, const std::string& file, std::string message) {
  return Error{kind, os_error, file, 0, std::move(message)};
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
  if (facts.error != 0) return cannot_open(role, path, facts.error, false);
  const bool standard = is_standard_stream(platform::identify(path));
  output->regular = facts.kind != platform::FileKind::special && !standard;
  if (!facts.replaceable || standard) {
    output->placement = Placement::in_place;
  } else if (facts.kind == platform::FileKind::regular && !facts.may_write) {
    // A file its owner made read-only is not replaced, as it would not be overwritten.
    return cannot_open(role, path, EACCES, false);
  } else if (facts.may_add && facts.may_own && !facts.rename_refused) {
    output->placement = Placement::beside;
  } else {
    output->placement = Placement::in_place;
  }
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

std::string Outputs::hidden_name(const Output& output, int attempt) const {
  // ".NAME.tpjconv-HOST-PID-N": whose it is, so that a later run can tell a file left behind.
  std::string name(1, '.');
  name.append(platform::base_name(output.facts.target), 0, 64);
  name.append(".tpjconv-").append(host_.empty() ? "unknown" : host_).append("-");
  name.append(std::to_string(platform::process_id())).append("-").append(std::to_string(attempt));
  return platform::sibling_path(output.facts.target, name);
}

void Outputs::remove_leftovers(const Output& output) {
  // Without the host name a file of another machine could not be told from one of this machine.
  if (host_.empty()) return;
  std::string stem(1, '.');
  stem.append(platform::base_name(output.facts.target), 0, 64);
  stem.append(".tpjconv-").append(host_).append("-");
  const platform::Listing listing = platform::list_directory(output.facts.directory);
  if (listing.error != 0) {
    notice("cannot look for files left by interrupted runs beside " + output.name + ": " +
           platform::error_text(listing.error));
  }
  for (const std::string& name : listing.names) {
    if (!name.starts_with(stem)) continue;
    const unsigned long id = process_of(std::string_view(name).substr(stem.size()));
    if (id == 0 || platform::process_runs(id)) continue;
    const std::string path = platform::sibling_path(output.facts.target, name);
    if (const int error = platform::remove_file(path); error != 0 && error != ENOENT) {
      notice("cannot remove " + path + ", left by an interrupted run: " +
             platform::error_text(error));
    } else if (error == 0) {
      notice("removed " + path + ", left by an interrupted run");
    }
  }
}

void Outputs::notice(std::string text) {
  notices_.warning(Warning{WarningKind::files, "", 0, std::move(text)});
}

Status Outputs::open() {
  for (std::size_t i = 0; i < outputs_.size(); ++i) {
    const Output& o = *outputs_[i];
    if (o.placement != Placement::beside) continue;
    // Once for each file name.
    bool seen = false;
    for (std::size_t j = 0; j < i; ++j) {
      seen = seen || (outputs_[j]->placement == Placement::beside &&
                      outputs_[j]->facts.target == o.facts.target);
    }
    if (!seen) remove_leftovers(o);
  }
  for (std::size_t i = 0; i < outputs_.size(); ++i) {
    Output& o = *outputs_[i];
    if (o.placement == Placement::standard_output) continue;
    if (o.placement == Placement::beside) {
      int error = EEXIST;
      for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        std::string candidate = hidden_name(o, attempt);
        // Listed before it exists, so that no moment leaves it behind on an interrupt.
        interrupts_.remove_on_signal(candidate);
        Result<platform::File> opened = platform::create_new(candidate);
        error = opened ? 0 : opened.error().os_error;
        if (opened) {
          o.file = std::move(*opened);
          o.temporary = std::move(candidate);
        } else {
          interrupts_.keep_on_signal(candidate);
        }
      }
      if (error != 0) {
        discard();
        return cannot_open(o.role, o.name, error, true);
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
    if (o->placement != Placement::in_place || o->facts.kind == platform::FileKind::special) {
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
    } else if (error == 0 && o->facts.kind != platform::FileKind::special) {
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

Status Outputs::lock() {
  std::vector<const Output*> beside;
  for (const auto& o : outputs_) {
    if (!o->temporary.empty()) beside.push_back(o.get());
  }
  std::sort(beside.begin(), beside.end(), [](const Output* a, const Output* b) {
    return std::tie(a->facts.directory_device, a->facts.directory_index) <
           std::tie(b->facts.directory_device, b->facts.directory_index);
  });
  for (std::size_t i = 0; i < beside.size(); ++i) {
    const Output& o = *beside[i];
    if (i > 0 && o.facts.directory_device == beside[i - 1]->facts.directory_device &&
        o.facts.directory_index == beside[i - 1]->facts.directory_index) {
      continue;
    }
    platform::DirectoryLock lock;
    if (const int error = lock.lock(o.facts.directory)) {
      return error_of(ErrorKind::replace, error, o.name,
                      "cannot lock the directory of " + o.name + ": " +
                          platform::error_text(error) + "; no file was replaced");
    }
    locks_.push_back(std::move(lock));
  }
  return {};
}

Status Outputs::commit() {
  std::vector<Output*> order;
  for (const auto& o : outputs_) {
    if (!o->temporary.empty()) order.push_back(o.get());
  }
  auto remove_ways_back = [&] {
    for (Output* o : order) {
      if (o->way_back.empty()) continue;
      if (const int error = platform::remove_file(o->way_back)) {
        notice("cannot remove " + o->way_back + ": " + platform::error_text(error));
      }
      o->way_back.clear();
    }
  };
  auto unlock = [&] { locks_.clear(); };
  // The way back to each file that is replaced: a second name for it, hidden.
  for (Output* o : order) {
    const platform::FileIdentity old = platform::identify(o->facts.target);
    if (old.known && old.kind == platform::FileKind::missing) {
      o->was_new = true;
      continue;
    }
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
      std::string candidate = hidden_name(*o, attempt);
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
  // The files that have no way back go last: a failure before them leaves them untouched.
  std::stable_partition(order.begin(), order.end(),
                        [](const Output* o) { return o->was_new || !o->way_back.empty(); });
  for (std::size_t i = 0; i < order.size(); ++i) {
    Output& o = *order[i];
    const int error = platform::replace_file(o.temporary, o.facts.target);
    if (error == 0) {
      interrupts_.keep_on_signal(o.temporary);
      o.temporary.clear();
      o.replaced = true;
      continue;
    }
    // Everything already done is undone, the last first.
    std::vector<std::string> kept_new;
    for (std::size_t j = i; j-- > 0;) {
      Output& done = *order[j];
      int undo = 0;
      if (!done.way_back.empty()) {
        undo = platform::replace_file(done.way_back, done.facts.target);
        if (undo == 0) done.way_back.clear();
      } else if (done.was_new) {
        undo = platform::remove_file(done.facts.target);
      } else {
        undo = ENOENT;
      }
      if (undo != 0) kept_new.insert(kept_new.begin(), done.name);
    }
    remove_ways_back();
    unlock();
    discard();
    std::string message = "cannot replace " + o.name + ": " + platform::error_text(error);
    message += kept_new.empty() ? "; no file was replaced"
                                : "; replaced all the same, and not put back: " + joined(kept_new);
    return error_of(ErrorKind::replace, error, o.name, std::move(message));
  }
  unlock();
  remove_ways_back();
  return {};
}

void Outputs::discard() {
  for (const auto& o : outputs_) o->own.reset();
  writer_.reset();
  for (const auto& o : outputs_) {
    o->stand_in.reset();
    o->file.close();
    if (o->temporary.empty()) continue;
    platform::remove_file(o->temporary);
    interrupts_.keep_on_signal(o->temporary);
    o->temporary.clear();
  }
}

}  // namespace tpjconv
