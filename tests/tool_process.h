// What the whole-run tests share: reading files, and running the built tool as a child process.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tpjconv::testing {

// The bytes of a file; empty when it cannot be read.
std::string read_file(const std::filesystem::path& path);

// The lines of a text, without their line ends.
std::vector<std::string> lines_of(const std::string& text);

// Runs the tool in `work` with `args`, standard input from `stdin_path`, standard output and
// error into files. Returns the exit status (128 + the signal when a signal ended it).
int run_tool(const std::filesystem::path& work, const std::vector<std::string>& args,
             const std::filesystem::path& stdin_path, const std::filesystem::path& out_path,
             const std::filesystem::path& err_path);

}  // namespace tpjconv::testing
