#include <unistd.h>

#include <string>
#include <vector>

#include "run/run.h"

int main(int argc, char** argv) {
  tpjconv::Sink out(STDOUT_FILENO);
  tpjconv::Sink err(STDERR_FILENO);
  tpjconv::Console console{STDIN_FILENO, out, err};
  const int status = tpjconv::run(std::vector<std::string>(argv + 1, argv + argc), console);
  return (out.flush() && err.flush()) || status != 0 ? status : 1;
}
