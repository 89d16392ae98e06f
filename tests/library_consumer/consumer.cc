// Converts a record in memory and prints the version, the totals and each finding, also as the
// row of the findings file.
#include <cstdio>
#include <string>

#include <tpjconv/findings_csv.h>
#include <tpjconv/tpjconv.h>

namespace {

class Printer final : public tpjconv::Observer {
 public:
  void finding(const tpjconv::Finding& f) override {
    std::printf("finding %s line %ld bus %d code %d %s: %s %g -> %g\n",
                std::string(tpjconv::model_name(f.model)).c_str(), f.line, f.bus, f.code,
                f.rule.c_str(), f.parameter.c_str(), static_cast<double>(f.value),
                static_cast<double>(f.corrected_to.value_or(f.value)));
    std::string row;
    tpjconv::append_findings_csv_row(row, f);
    std::fputs(row.c_str(), stdout);
  }
};

}  // namespace

int main() {
  const char* const text =
      "genrou 7 \"G7      \" 22.00 \"1 \" : #9 mva=100 1.5 0.05 0.4 0.05 3.0 0.0 1.8 1.7 0.3 "
      "0.6 0.25 0.15 0.1 0.3 0.003 0.0 0.0\n";
  tpjconv::StringSink output;
  Printer printer;
  tpjconv::Options options;
  options.kis = {0.3f, 0.3f, 0.3f};
  const tpjconv::Result<tpjconv::Totals> totals =
      tpjconv::convert_text(text, "in.dat", nullptr, options, {&output}, &printer);
  if (!totals) {
    std::printf("error: %s\n", totals.error().message.c_str());
    return 1;
  }
  std::printf("tpjconv %s: read %d changed %d\n%s", tpjconv::version(), totals->read[2],
              totals->changed[2], output.text().c_str());
  return 0;
}
