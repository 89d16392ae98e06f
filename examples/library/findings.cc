// Converts a dynamic-data file in memory with every model at Kis 0.3 and no bus numbers file,
// and prints each finding as one row of the findings file, after its header row: the bytes
// that `tpjconv --yes INPUT none OUTPUT 0.3 0.3 0.3 CHECKLOG REPORT --findings FILE` writes to
// FILE.
//
//   usage: tpjconv_findings INPUT
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include <tpjconv/findings_csv.h>
#include <tpjconv/tpjconv.h>

namespace {

// Prints each finding's row as the conversion finds it.
class RowPrinter final : public tpjconv::Observer {
 public:
  void finding(const tpjconv::Finding& finding) override {
    row_.clear();
    tpjconv::append_findings_csv_row(row_, finding);
    std::fwrite(row_.data(), 1, row_.size(), stdout);
  }

 private:
  std::string row_;  // kept from row to row with its room
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: tpjconv_findings INPUT\n", stderr);
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "tpjconv_findings: cannot open %s\n", argv[1]);
    return 1;
  }
  const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  if (!file.good() && !file.eof()) {
    std::fprintf(stderr, "tpjconv_findings: cannot read %s\n", argv[1]);
    return 1;
  }

  tpjconv::Options options;
  options.kis = {0.3f, 0.3f, 0.3f};  // gensal, gentpf, genrou
  tpjconv::StringSink converted;     // the converted file, not used here
  RowPrinter printer;
  const std::string_view header = tpjconv::findings_csv_header();
  std::fwrite(header.data(), 1, header.size(), stdout);
  const tpjconv::Result<tpjconv::Totals> totals =
      tpjconv::convert_text(text, argv[1], nullptr, options, {&converted}, &printer);
  if (!totals) {
    std::fprintf(stderr, "tpjconv_findings: %s\n", totals.error().message.c_str());
    return 1;
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
