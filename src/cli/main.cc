#include <string>
#include <vector>

#include "cli/build_tuning.h"
#include "cli/console.h"
#include "cli/run.h"
#include "platform/file.h"
#include "platform/process.h"

int main(int argc, char** argv) {
  tpjconv::platform::open_closed_standard_streams();
  auto in = tpjconv::platform::File::standard(0);
  auto out = tpjconv::platform::File::standard(1);
  auto err = tpjconv::platform::File::standard(2);
  tpjconv::Sink out_sink(out);
  // Each message reaches standard error within milliseconds of being written, whatever comes
  // after it.
  tpjconv::ConsoleStream err_stream(err);
  tpjconv::Sink err_sink(err_stream, tpjconv::Sink::EachWrite{});
  tpjconv::Console console{in, out_sink, err_sink};
  const int status = tpjconv::run(std::vector<std::string>(argv + 1, argv + argc), console, {},
                                  tpjconv::build_tuning());
  // A console that cannot be written does not undo a finished run.
  return out_sink.flush() || status != 0 ? status : 1;
}
