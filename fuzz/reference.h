// Small independent re-statements of the record and bus-file formats, used by the fuzz targets
// to check what the tool does. Nothing here calls the tool's library: each function is written
// from the file formats, so that a difference between the two shows up as a broken property.
#pragma once

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A broken property: say which, then abort so that libFuzzer keeps the input.
#define FUZZ_CHECK(cond)                                                                   \
  do {                                                                                     \
    if (!(cond)) {                                                                         \
      std::fprintf(stderr, "broken property: %s (%s:%d)\n", #cond, __FILE__, __LINE__);    \
      std::abort();                                                                        \
    }                                                                                      \
  } while (0)

namespace ref {

inline constexpr const char* kModelNames[3] = {"gensal", "gentpf", "genrou"};

// ---- Lines -----------------------------------------------------------------------------------

// The physical lines of a text, each with its line end; the last one may have none.
inline std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      lines.push_back(text.substr(start, i + 1 - start));
      start = i + 1;
    }
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// 0, 1, 2 for a line whose first six characters are gensal, gentpf, genrou; else -1.
inline int model_of(std::string_view line) {
  if (line.size() < 6) return -1;
  for (int m = 0; m < 3; ++m) {
    if (std::memcmp(line.data(), kModelNames[m], 6) == 0) return m;
  }
  return -1;
}

// One unit of the dynamic-data file as the record loop sees it: a line copied as it is, or a
// recognised record with its continuation lines joined.
struct Item {
  int model = -1;           // -1: a plain line
  std::string text;         // the line, or the joined record
  std::string first_line;   // the record's first physical line
  long line_number = 0;     // 1-based number of the (first) physical line
};

// Joins a record: the first "/" of the text becomes a blank and the next physical line replaces
// everything after it; again and again until no "/" is left. When the lines are used up, the mark
// just becomes a blank. (Every "/" before the latest mark is already a blank, so each search can
// start at the latest mark instead of the start: the same result, without quadratic time on a
// line of many thousand marks.)
inline std::vector<Item> items(std::string_view text) {
  const std::vector<std::string_view> lines = split_lines(text);
  std::vector<Item> out;
  std::size_t i = 0;
  while (i < lines.size()) {
    Item item;
    item.line_number = static_cast<long>(i) + 1;
    item.model = model_of(lines[i]);
    item.text.assign(lines[i]);
    ++i;
    if (item.model >= 0) {
      item.first_line = item.text;
      for (std::size_t from = 0;;) {
        const std::size_t mark = item.text.find('/', from);
        from = mark;
        if (mark == std::string::npos) break;
        item.text[mark] = ' ';
        if (i < lines.size()) {
          item.text.erase(mark + 1);
          item.text.append(lines[i]);
          ++i;
        }
      }
    }
    out.push_back(std::move(item));
  }
  return out;
}

inline std::string concat(const std::vector<Item>& list) {
  std::string s;
  for (const Item& item : list) s += item.text;
  return s;
}

// ---- Fields and numbers ----------------------------------------------------------------------

// Field splitting: a field starts after a run of separators and ends at the next separator, which
// is used up with it. The line end is never a separator.
struct Fields {
  std::string_view text;
  std::size_t pos = 0;
  std::size_t last_end = 0;  // where the latest field ended

  explicit Fields(std::string_view t) : text(t) {}

  std::optional<std::string_view> next(std::string_view separators) {
    auto is_sep = [&](char c) { return separators.find(c) != std::string_view::npos; };
    while (pos < text.size() && is_sep(text[pos])) ++pos;
    if (pos >= text.size()) return std::nullopt;
    const std::size_t begin = pos;
    while (pos < text.size() && !is_sep(text[pos])) ++pos;
    last_end = pos;
    const std::string_view field = text.substr(begin, pos - begin);
    if (pos < text.size()) ++pos;
    return field;
  }
};

// "%d": white space, optional sign, decimal digits; outside the 32-bit range it is no number.
inline std::optional<int> scan_d(std::string_view field) {
  const std::string copy(field);
  const char* s = copy.c_str();
  // strtoll would also take a hexadecimal or octal prefix only with base 0; base 10 is "%d".
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(s, &end, 10);
  if (end == s) return std::nullopt;
  if (errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return std::nullopt;
  return static_cast<int>(v);
}

// "%f": the longest numeric prefix, rounded directly to 32 bits.
inline std::optional<float> scan_f(std::string_view field) {
  const std::string copy(field);
  char* end = nullptr;
  const float v = std::strtof(copy.c_str(), &end);
  if (end == copy.c_str()) return std::nullopt;
  return v;
}

// Two 32-bit values are the same when their bits are, or both are NaN.
inline bool same_float(float a, float b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  std::uint32_t x, y;
  std::memcpy(&x, &a, 4);
  std::memcpy(&y, &b, 4);
  return x == y;
}

// ---- Record header and parameter list ------------------------------------------------------

struct Header {
  std::string model_name;
  int bus_number = 0;
  std::string bus_name;
  float base_kv = 0.0f;
  std::string unit_id = "  ";
};

inline Header header(std::string_view text) {
  Header h;
  Fields f(text);
  if (auto v = f.next(" ,:\t")) h.model_name = std::string(v->substr(0, 6));
  if (auto v = f.next(" ,:\"\t")) {
    if (auto n = scan_d(*v)) h.bus_number = *n;
  }
  if (auto v = f.next(",:\"\t")) h.bus_name = std::string(v->substr(0, 9));
  if (auto v = f.next(" ,:\"\t")) {
    if (auto n = scan_f(*v)) h.base_kv = *n;
  }
  if (auto v = f.next(",:\"\t")) {
    h.unit_id[0] = (*v)[0];
    h.unit_id[1] = v->size() >= 2 ? (*v)[1] : ' ';
  }
  return h;
}

// The record label: "%6.6s, %-12d, \"%-8s\", %-8.2f, \"%-2.2s\"".
inline std::string label(const Header& h) {
  const int n = std::snprintf(nullptr, 0, "%6.6s, %-12d, \"%-8s\", %-8.2f, \"%-2.2s\"",
                              h.model_name.c_str(), h.bus_number, h.bus_name.c_str(),
                              static_cast<double>(h.base_kv), h.unit_id.c_str());
  std::string s(static_cast<std::size_t>(n), '\0');
  std::snprintf(s.data(), s.size() + 1, "%6.6s, %-12d, \"%-8s\", %-8.2f, \"%-2.2s\"",
                h.model_name.c_str(), h.bus_number, h.bus_name.c_str(),
                static_cast<double>(h.base_kv), h.unit_id.c_str());
  return s;
}

struct Params {
  float mva_base = -1.0f;
  float value[20];
  int present[20];
};

// The parameter list after the colon: quoted blanks become underscores; fields split at comma,
// blank, equals sign and tab; a first field beginning with # is skipped; an mva word takes the
// next field as MVA base; then up to 20 numbers, each after at most one skipped quoted field.
inline Params params(std::string_view record, std::size_t header_length) {
  Params p;
  std::string text(record.substr(header_length));
  bool inside = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') inside = !inside;
    else if (inside && text[i] == ' ') text[i] = '_';
  }
  const std::string_view seps = ", =\t";
  Fields f(text);
  std::optional<std::string_view> hand = f.next(seps);
  if (hand && !hand->empty() && (*hand)[0] == '#') hand = f.next(seps);
  if (hand && hand->size() >= 3 && hand->substr(0, 3) == "mva") {
    const auto number = f.next(seps);
    if (number) {
      if (auto v = scan_f(*number)) p.mva_base = *v;
    }
    hand = f.next(seps);
  }
  for (int k = 0; k < 20; ++k) {
    p.value[k] = 78.0f;
    p.present[k] = 0;
  }
  for (int k = 0; k < 20; ++k) {
    if (k > 0) hand = f.next(seps);
    if (hand && (*hand)[0] == '"') hand = f.next(seps);
    if (!hand) break;
    if (auto v = scan_f(*hand)) p.value[k] = *v;
    p.present[k] = 1;
  }
  return p;
}

// ---- Bus numbers file --------------------------------------------------------------------------

struct BusLine {
  int bus_number = -1;
  char unit_id[2] = {'\0', ' '};
  int check_level = 0;
  float kis = 0.0f;
  char bus_name[8] = {0, 0, 0, 0, 0, 0, 0, 0};
};

inline BusLine bus_line(std::string_view line) {
  BusLine e;
  const std::string_view seps = " ,\"\t";
  Fields f(line);
  const auto number = f.next(seps);
  if (!number) return e;
  if (auto n = scan_d(*number)) e.bus_number = *n;
  const auto id = f.next(seps);
  if (!id) return e;
  e.unit_id[0] = (*id)[0];
  e.unit_id[1] = id->size() >= 2 ? (*id)[1] : ' ';
  const auto level = f.next(seps);
  if (!level) return e;
  if (auto n = scan_d(*level)) e.check_level = *n;
  const auto kis = f.next(seps);
  if (!kis) return e;
  if (auto v = scan_f(*kis)) e.kis = *v;
  const auto name = f.next(seps);
  if (!name) return e;
  // Eight characters from the start of the fifth field, whatever follows it on the line. The
  // separator that ended the field, tabs, commas and whatever lies past the text are blanks; a
  // zero character, which would end the text of a C string, is a blank as well.
  const std::size_t start = static_cast<std::size_t>(name->data() - line.data());
  for (std::size_t i = 0; i < 8; ++i) {
    const std::size_t at = start + i;
    char c = at < line.size() ? line[at] : ' ';
    if (at == f.last_end || c == '\t' || c == ',' || c == '\0') c = ' ';
    e.bus_name[i] = c;
  }
  return e;
}

// The entries of a bus numbers file: every line after the heading is one.
inline std::vector<BusLine> bus_file(std::string_view text) {
  std::vector<BusLine> list;
  const auto lines = split_lines(text);
  for (std::size_t i = 1; i < lines.size(); ++i) list.push_back(bus_line(lines[i]));
  return list;
}

struct Selection {
  float kis = 0.0f;
  int check_level = 0;
  std::string console;  // the warning line, if any
};

inline std::string warning(const char* kind, int bus, const BusLine& e, const std::string& name,
                           const std::string& id) {
  char buf[256];
  std::snprintf(buf, sizeof buf, "%s %12d, [%8.8s] [%2.2s] [%8.8s] [%2.2s] \n", kind, bus,
                e.bus_name, e.unit_id, name.c_str(), id.c_str());
  return buf;
}

// The linear scan: the first entry with the bus number and unit ID wins; without one, the last
// entry with the bus number is named in a warning.
inline Selection lookup(const std::vector<BusLine>& list, int bus, const std::string& id,
                        const std::string& name) {
  Selection s;
  if (list.empty()) return s;
  const BusLine* last = nullptr;
  for (const BusLine& e : list) {
    if (e.bus_number != bus) continue;
    last = &e;
    if (std::strncmp(e.unit_id, id.c_str(), 2) == 0) {
      s.check_level = e.check_level;
      s.kis = e.kis;
      if (std::strncmp(e.bus_name, name.c_str(), 8) != 0) {
        s.console = warning("Name    mismatch", bus, e, name, id);
      }
      return s;
    }
  }
  if (last != nullptr) s.console = warning("Name/ID mismatch", bus, *last, name, id);
  s.check_level = -1;
  s.kis = -1.0f;
  return s;
}

// ---- Output formats ---------------------------------------------------------------------------

inline std::string printf_string(const char* fmt, double v) {
  const int n = std::snprintf(nullptr, 0, fmt, v);
  std::string s(static_cast<std::size_t>(n), '\0');
  std::snprintf(s.data(), s.size() + 1, fmt, v);
  return s;
}

// The parameter text of a gentpj record written at the header length, from the 20 values of
// positions 0 to 19 and the Kis.
inline std::string gentpj_params(int model, const float* values, double kis, bool crlf) {
  static const char* kFormat[20] = {
      "%-8.3f", "%6.3f", "%4.3f", "%6.4f", "%6.4f", "%6.3f", "%4.2f", "%6.4f", "%6.4f", "%6.4f",
      "%6.4f",  "%6.4f", "%6.4f", "%6.4f", "%6.4f", "%6.4f", "%6.4f", "%7.4f", "%7.4f", "%4.2f"};
  std::string s = " #9 ";
  if (values[0] > 0) s += "mva=" + printf_string(kFormat[0], values[0]) + " ";
  for (int p = 1; p < 20; ++p) {
    if (p > 1) s += (p == 19 && model != 0) ? "  " : " ";
    s += printf_string(kFormat[p], values[p]);
  }
  s += " " + printf_string("%6.4f", kis);
  s += crlf ? "\r\n" : "\n";
  return s;
}

// The first lines of a comparison-report block up to the numbers: "mbase,%10.2f  ,%10.2f" etc.
inline std::string report_numbers(int position, double before, double after) {
  static const char* kName[21] = {"mbase", " tpdo", "tppdo", " tpqo", "tppqo", "    h", "    d",
                                  "   ld", "   lq", "  lpd", "  lpq", " lppd", " lppq", "   ll",
                                  "   s1", "  s12", "   ra", "rcomp", "xcomp", "accel", "  kis"};
  const char* f = position == 0 ? "%10.2f" : "%10.4f";
  return std::string(kName[position]) + "," + printf_string(f, before) + "  ," +
         printf_string(f, after);
}

}  // namespace ref
