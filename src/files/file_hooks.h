// Where a test puts a stand-in between a run and a file it reads or writes.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "tpjconv/io.h"

namespace tpjconv {

// A hook that is set gets each file the run opens by name, with that name, and returns what the
// run uses in its place, or nothing to leave the file as it is. A normal run sets none.
struct FileHooks {
  std::function<std::unique_ptr<ByteSource>(const std::string& path, ByteSource& file)> reading;
  std::function<std::unique_ptr<ByteSink>(const std::string& path, ByteSink& file)> writing;
};

}  // namespace tpjconv
