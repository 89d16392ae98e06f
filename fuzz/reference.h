// Small independent re-statements of the record and bus-file formats, used by the fuzz targets
// to check what the tool does. Nothing here calls the tool's library: each function is written
// from the file formats, so that a difference between the two shows up as a broken property.
#pragma once

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
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

// How a number field reads: wholly a finite decimal number, only in part (text before or after
// the number, or a hexadecimal number), wholly but not finite, or not at all.
enum class Fit { whole, part, not_finite, none };

inline Fit fit_of(std::string_view field) {
  const std::string copy(field);
  char* end = nullptr;
  const float v = std::strtof(copy.c_str(), &end);
  if (end == copy.c_str()) return Fit::none;
  const std::string_view read(copy.c_str(), static_cast<std::size_t>(end - copy.c_str()));
  const bool space_before = std::strchr(" \t\n\v\f\r", copy[0]) != nullptr;
  if (space_before || read.size() != field.size() || read.find_first_of("xX") != read.npos) {
    return Fit::part;
  }
  return std::isfinite(v) ? Fit::whole : Fit::not_finite;
}

// A value as the warnings show it: the shortest text that reads back as the same 32-bit value.
inline std::string shortest(float v) {
  char text[64];
  const auto end = std::to_chars(text, text + sizeof text, v).ptr;
  return std::string(text, end);
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

// ---- Messages ---------------------------------------------------------------------------------

// A text from a file as the tool's own messages show it: line ends, tabs and other control
// characters as escapes (\n, \r, \t, \xhh), everything else as it is.
inline std::string escaped(std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\t') out += "\\t";
    else if (u < 0x20 || u == 0x7f) (out += "\\x") += std::string{kHex[u >> 4], kHex[u & 15]};
    else out += c;
  }
  return out;
}

// The same in double quotes.
inline std::string quoted(std::string_view text) { return '"' + escaped(text) + '"'; }

inline bool has_control_character(std::string_view text) { return escaped(text) != text; }

// "tpjconv: MESSAGE" and "tpjconv: FILE:LINE: MESSAGE", each a line.
inline std::string say(std::string_view message) {
  return "tpjconv: " + std::string(message) + "\n";
}
inline std::string say_at(std::string_view file, long line, std::string_view message) {
  return "tpjconv: " + escaped(file) + ":" + std::to_string(line) + ": " +
         std::string(message) + "\n";
}

// ---- Parameter names ---------------------------------------------------------------------------

// The parameters of each model in the order of its record: the numbers a record gives by
// position, and the names a keyword-form record gives them. Every model's list ends with accel,
// which the record may carry but the converter does not read.
inline const std::vector<std::string_view>& parameter_names(int model) {
  static const std::vector<std::string_view> kNames[3] = {
      {"tpdo", "tppdo", "tppqo", "h", "d", "ld", "lq", "lpd", "lppd", "ll", "s1", "s12", "ra",
       "rcomp", "xcomp"},
      {"tpdo", "tppdo", "tpqo", "tppqo", "h", "d", "ld", "lq", "lpd", "lpq", "lppd", "lppq", "ll",
       "s1", "s12", "ra", "rcomp", "xcomp"},
      {"tpdo", "tppdo", "tpqo", "tppqo", "h", "d", "ld", "lq", "lpd", "lpq", "lppd", "ll", "s1",
       "s12", "ra", "rcomp", "xcomp"}};
  return kNames[model];
}

// The parameters that enter the checks as 78.0 when the record lacks them: all of them, except
// gensal's last five (s1, s12, ra, rcomp, xcomp), which are 0 when absent.
inline std::size_t required_parameters(int model) {
  return model == 0 ? 10 : parameter_names(model).size();
}

// The position of a parameter name of `model` in its list, compared without regard to the case
// of its letters; the list's size for accel; -1 for any other word.
inline int parameter_of(std::string_view name, int model) {
  std::string lower(name);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  const auto& names = parameter_names(model);
  for (std::size_t k = 0; k < names.size(); ++k) {
    if (lower == names[k]) return static_cast<int>(k);
  }
  return lower == "accel" ? static_cast<int>(names.size()) : -1;
}

// ---- Parameter list ----------------------------------------------------------------------------

enum class Form { none, by_name, by_position };
enum class Problem { none, unknown_name, repeated_name, number_without_name, name_without_number };

struct Params {
  float mva_base = -1.0f;
  float value[20];
  int present[20];
  bool not_number[20];  // present, but the field does not begin with a number
  Form form = Form::none;
  Problem problem = Problem::none;  // why a record with names was read by position
  std::string problem_field;        // the field that made it so, without the line end
  // The fields of the model's parameters (and the mva number) not read wholly as finite numbers,
  // in the order of the text: name, text without the record's line end, fit, value used.
  struct Odd {
    std::string name;
    std::string text;
    Fit fit;
    float value;
  };
  std::vector<Odd> odd;
  std::size_t unused = 0;  // fields after the model's last parameter, the lone line end not one
};

// A field that is nothing but line-end characters: what follows a last blank or comma.
inline bool only_line_end(std::string_view field) {
  return field.find_first_not_of("\r\n") == std::string_view::npos;
}

inline std::string_view without_line_end(std::string_view field) {
  while (!field.empty() && (field.back() == '\n' || field.back() == '\r')) field.remove_suffix(1);
  return field;
}

// The name in a field written "NAME" (a line end after it aside); nothing for any other field.
inline std::optional<std::string_view> quoted_name(std::string_view field) {
  const std::string_view f = without_line_end(field);
  if (f.size() < 2 || f.front() != '"' || f.back() != '"') return std::nullopt;
  const std::string_view inner = f.substr(1, f.size() - 2);
  if (inner.find('"') != std::string_view::npos) return std::nullopt;
  return inner;
}

// A field without the line end of the record (LF or CR LF), when the field is the last of the
// record's `text`.
inline std::string_view without_record_end(std::string_view field, std::string_view text) {
  if (field.data() + field.size() != text.data() + text.size()) return field;
  if (field.ends_with("\r\n")) field.remove_suffix(2);
  else if (field.ends_with('\n')) field.remove_suffix(1);
  return field;
}

inline void read_cell(Params& p, int k, std::string_view field, int model, std::string_view text) {
  const auto v = scan_f(field);
  p.value[k] = v.value_or(78.0f);
  p.not_number[k] = !v;
  p.present[k] = 1;
  const std::string_view bare = without_record_end(field, text);
  const Fit fit = fit_of(bare);
  if ((fit == Fit::part || fit == Fit::not_finite) &&
      k < static_cast<int>(parameter_names(model).size())) {
    p.odd.push_back({std::string(parameter_names(model)[static_cast<std::size_t>(k)]),
                     std::string(bare), fit,
                     *v});
  }
}

// The parameter list after the colon: quoted blanks become underscores; fields split at comma,
// blank, equals sign and tab; a first field beginning with # is skipped; an mva word takes the
// next field as MVA base (-1 when it is no number). The fields after that are read in one of two
// ways:
// - by name, when some field is quoted and the fields are pairs of a quoted name of the model
//   (each name once) and its number, with nothing else but a line end at the very end: each
//   number goes to the cell of its name (accel's to none);
// - otherwise by position: up to 20 numbers in order, each after at most one skipped quoted
//   field. A record with quoted fields that is read this way was not read by name for the first
//   field, in order, that breaks the pattern.
inline Params params(std::string_view record, std::size_t header_length, int model) {
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
      p.mva_base = scan_f(*number).value_or(-1.0f);
      const std::string_view bare = without_record_end(*number, text);
      const Fit fit = fit_of(bare);
      if (!bare.empty() && fit != Fit::whole) {
        p.odd.push_back({"mva", std::string(bare), fit, p.mva_base});
      }
    }
    hand = f.next(seps);
  }
  for (int k = 0; k < 20; ++k) {
    p.value[k] = 78.0f;
    p.present[k] = 0;
    p.not_number[k] = false;
  }
  std::vector<std::string_view> rest;
  for (; hand; hand = f.next(seps)) rest.push_back(*hand);
  const auto quoted_field = [](std::string_view field) { return field[0] == '"'; };

  if (std::any_of(rest.begin(), rest.end(), quoted_field)) {
    // Name, number, name, number, ...
    std::vector<std::pair<int, std::string_view>> pairs;
    std::vector<bool> named(parameter_names(model).size() + 1, false);
    const auto stop = [&](Problem why, std::string_view field) {
      p.problem = why;
      p.problem_field = std::string(without_line_end(field));
    };
    for (std::size_t i = 0; i < rest.size() && p.problem == Problem::none; i += 2) {
      const std::string_view field = rest[i];
      if (!quoted_field(field)) {
        if (i + 1 == rest.size() && only_line_end(field)) break;
        stop(Problem::number_without_name, field);
        break;
      }
      const auto name = quoted_name(field);
      const int k = name ? parameter_of(*name, model) : -1;
      if (k < 0) {
        stop(Problem::unknown_name, field);
      } else if (named[static_cast<std::size_t>(k)]) {
        stop(Problem::repeated_name, field);
      } else if (i + 1 == rest.size() || quoted_field(rest[i + 1]) || only_line_end(rest[i + 1])) {
        stop(Problem::name_without_number, field);
      } else {
        named[static_cast<std::size_t>(k)] = true;
        pairs.emplace_back(k, rest[i + 1]);
      }
    }
    if (p.problem == Problem::none) {
      p.form = Form::by_name;
      for (const auto& [k, number] : pairs) {
        if (k < static_cast<int>(parameter_names(model).size())) {
          read_cell(p, k, number, model, text);
        }
      }
      return p;
    }
    p.form = Form::by_position;
  }

  std::size_t at = 0;
  const int count = static_cast<int>(parameter_names(model).size());
  for (int k = 0;; ++k) {
    if (at < rest.size() && quoted_field(rest[at])) ++at;
    if (at >= rest.size()) break;
    const std::string_view field = rest[at++];
    if (k < 20) read_cell(p, k, field, model, text);
    const bool line_end_alone = at == rest.size() && without_record_end(field, text).empty();
    if (k >= count && !line_end_alone) ++p.unused;
  }
  return p;
}

// The warnings of a converted record: why a record with names was read by position, and the
// parameters that enter the checks as the placeholder 78.0. `name` is what the warnings call the
// record; the field of the first warning is written with its control characters escaped.
inline std::string record_warnings(const Params& p, int model, std::string_view file, long line,
                                   const std::string& name) {
  std::string out;
  if (p.form == Form::by_position) {
    const std::string field = escaped(p.problem_field);
    std::string why;
    switch (p.problem) {
      case Problem::unknown_name:
        why = field + " is not a " + kModelNames[model] + " parameter";
        break;
      case Problem::repeated_name: why = field + " is named twice"; break;
      case Problem::number_without_name: why = field + " has no parameter name"; break;
      case Problem::name_without_number: why = field + " has no number after it"; break;
      case Problem::none: break;
    }
    out += say_at(file, line, name + ": " + why + "; read by position");
  }
  const auto& names = parameter_names(model);
  std::string missing, not_numbers;
  for (std::size_t k = 0; k < names.size(); ++k) {
    std::string* list = nullptr;
    if (!p.present[k] && k < required_parameters(model)) list = &missing;
    if (p.present[k] && p.not_number[k]) list = &not_numbers;
    if (list == nullptr) continue;
    (*list += list->empty() ? "" : ", ") += names[k];
  }
  if (!missing.empty() || !not_numbers.empty()) {
    std::string what;
    if (!missing.empty()) what = "missing " + missing;
    if (!not_numbers.empty()) what += (what.empty() ? "" : "; ") + ("not a number: " + not_numbers);
    out += say_at(file, line, name + ": " + what + "; 78.0 used");
  }
  for (const Params::Odd& odd : p.odd) {
    const char* why = odd.fit == Fit::part         ? " is not wholly a number; "
                      : odd.fit == Fit::not_finite ? " is not a finite 32-bit number; "
                                                   : " is not a number; ";
    out += say_at(file, line, name + ": " + odd.name + " " + quoted(odd.text) + why +
                                  shortest(odd.value) + " used");
  }
  if (p.unused > 0) {
    const char* const fields = p.unused == 1 ? " field after xcomp is" : " fields after xcomp are";
    out += say_at(file, line, name + ": " + std::to_string(p.unused) + fields + " not used");
  }
  return out;
}

// How the record's warnings name it.
inline std::string record_name(int model, const Header& h) {
  return std::string(kModelNames[model]) + " record at bus " + std::to_string(h.bus_number) +
         ", unit ID " + quoted(h.unit_id);
}

// ---- Bus numbers file --------------------------------------------------------------------------

struct BusLine {
  int bus_number = -1;
  bool bus_ok = false;  // the bus number field reads as a number
  char unit_id[2] = {'\0', ' '};
  bool has_id = false;  // there is a unit ID field, and it does not begin with a zero character
  int check_level = 0;
  float kis = 0.0f;
  char bus_name[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  // The text of a field that is there (more than a line end) but does not begin with a number.
  std::string bad_bus_number, bad_check_level, bad_kis;
  // The warning text of a field read as a number only in part or as one that is not finite,
  // such as `Kis "0.25abc" is not wholly a number; 0.25 used`; empty for any other field.
  std::string odd_bus_number, odd_check_level, odd_kis;
};

// The warning of a field that "%d" read as `value`, unless it is a sign and digits only; the
// line's own line end (LF or CR LF) is no part of the field.
inline std::string odd_int(const char* name, std::string_view field, std::string_view line,
                           int value) {
  const std::string_view bare = without_record_end(field, line);
  std::size_t i = !bare.empty() && (bare[0] == '+' || bare[0] == '-') ? 1 : 0;
  const bool digits = i < bare.size() && bare.find_first_not_of("0123456789", i) == bare.npos;
  if (digits) return std::string();
  return std::string(name) + " " + quoted(bare) + " is not wholly a number; " +
         std::to_string(value) + " used";
}

// The warning of a field that "%f" read as `value`, unless it is wholly a finite number.
inline std::string odd_float(const char* name, std::string_view field, std::string_view line,
                             float value) {
  const std::string_view bare = without_record_end(field, line);
  const Fit fit = fit_of(bare);
  if (fit == Fit::whole) return std::string();
  const char* const why =
      fit == Fit::not_finite ? " is not a finite 32-bit number; " : " is not wholly a number; ";
  return std::string(name) + " " + quoted(bare) + why + shortest(value) + " used";
}

// The text of a field as the warnings quote it: without the line end it ends with. A field that
// is the line end itself is no field; a carriage return before more fields is text.
inline std::string bad_text(std::string_view field, std::string_view line, bool number_read) {
  const bool ends_line = field.data() + field.size() == line.data() + line.size();
  if (number_read || (ends_line && only_line_end(field))) return std::string();
  return std::string(ends_line ? without_line_end(field) : field);
}

inline BusLine bus_line(std::string_view line) {
  BusLine e;
  const std::string_view seps = " ,\"\t";
  Fields f(line);
  const auto number = f.next(seps);
  if (!number) return e;
  const auto bus = scan_d(*number);
  if (bus) e.bus_number = *bus;
  e.bus_ok = bus.has_value();
  e.bad_bus_number = bad_text(*number, line, e.bus_ok);
  if (bus) e.odd_bus_number = odd_int("bus number", *number, line, *bus);
  const auto id = f.next(seps);
  if (!id) return e;
  e.unit_id[0] = (*id)[0];
  e.unit_id[1] = id->size() >= 2 ? (*id)[1] : ' ';
  e.has_id = e.unit_id[0] != '\0';
  const auto level = f.next(seps);
  if (!level) return e;
  const auto l = scan_d(*level);
  if (l) e.check_level = *l;
  e.bad_check_level = bad_text(*level, line, l.has_value());
  if (l) e.odd_check_level = odd_int("check level", *level, line, *l);
  const auto kis = f.next(seps);
  if (!kis) return e;
  const auto k = scan_f(*kis);
  if (k) e.kis = *k;
  e.bad_kis = bad_text(*kis, line, k.has_value());
  if (k) e.odd_kis = odd_float("Kis", *kis, line, *k);
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

// A unit ID as the lookup compares it: its two characters up to a zero character, without the
// blanks before and after, so that "1 ", " 1" and "1" are one ID.
inline std::string bare_id(const char* id) {
  std::string s;
  for (int i = 0; i < 2 && id[i] != '\0'; ++i) s += id[i];
  while (!s.empty() && s.back() == ' ') s.pop_back();
  while (!s.empty() && s.front() == ' ') s.erase(0, 1);
  return s;
}

// A unit ID as the warnings show it: its two characters up to a zero character, quoted.
inline std::string id_text(const char* id) {
  return quoted(std::string_view(id, id[0] == '\0' ? 0 : id[1] == '\0' ? 1 : 2));
}

// The bus numbers file as the run reads it: every line after the heading is an entry, at line
// index + 2 of the file, at bus -1 when its bus number field is absent or no number. A line
// selects a generator only with a unit ID, and only the first line of each bus number and unit
// ID does; the lines of one bus number are kept in file order for the lookups, whose uses are
// counted. A line whose bus number is no number is reported as it is read, and not again among
// the unused ones.
struct BusFile {
  std::vector<BusLine> lines;
  std::map<std::pair<int, std::string>, std::size_t> first;  // bus and bare ID: the line chosen
  std::unordered_map<int, std::vector<std::size_t>> by_bus;  // every line, by its bus number
  std::vector<bool> used;

  bool selects(std::size_t i) const {
    const BusLine& e = lines[i];
    if (!e.has_id) return false;
    return first.at({e.bus_number, bare_id(e.unit_id)}) == i;
  }
  bool reported_when_unused(std::size_t i) const {
    return selects(i) && lines[i].bad_bus_number.empty();
  }

  bool names_a_generator() const { return !first.empty(); }
};

// Reads the file; `warnings` gets the messages of the reading, naming the file as `file_name`.
inline BusFile bus_file(std::string_view text, std::string_view file_name, std::string* warnings) {
  BusFile b;
  const auto lines = split_lines(text);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::size_t index = b.lines.size();
    const long line = static_cast<long>(i) + 1;
    b.lines.push_back(bus_line(lines[i]));
    const BusLine& e = b.lines.back();
    std::string said;
    if (!e.bad_bus_number.empty()) {
      said += say_at(file_name, line, "bus number " + quoted(e.bad_bus_number) +
                                          " is not a number; -1 used");
    }
    if (!e.odd_bus_number.empty()) said += say_at(file_name, line, e.odd_bus_number);
    if (!e.bad_check_level.empty()) {
      said += say_at(file_name, line,
                     "check level " + quoted(e.bad_check_level) + " is not a number; 0 used");
    }
    if (!e.odd_check_level.empty()) said += say_at(file_name, line, e.odd_check_level);
    if (!e.bad_kis.empty()) {
      said += say_at(file_name, line, "Kis " + quoted(e.bad_kis) + " is not a number; 0 used");
    }
    if (!e.odd_kis.empty()) said += say_at(file_name, line, e.odd_kis);
    b.by_bus[e.bus_number].push_back(index);
    if (e.has_id) {
      const auto [at, fresh] = b.first.try_emplace({e.bus_number, bare_id(e.unit_id)}, index);
      if (!fresh) {
        said += say_at(file_name, line,
                       "bus " + std::to_string(e.bus_number) + " unit ID " + id_text(e.unit_id) +
                           " is listed again; line " + std::to_string(at->second + 2) +
                           " is used");
      }
    }
    if (warnings != nullptr) *warnings += said;
  }
  b.used.assign(b.lines.size(), false);
  return b;
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

// The lookup: an empty list gives Kis 0 and check level 0. Otherwise the first line in file order
// with the bus number and the unit ID (blanks aside) wins and counts as used; without one, the
// last line with the bus number is named in a warning and the generator is not selected.
inline Selection lookup(BusFile& b, int bus, const std::string& id, const std::string& name) {
  Selection s;
  if (b.lines.empty()) return s;
  const auto group = b.by_bus.find(bus);
  if (group != b.by_bus.end()) {
    const std::string want = bare_id(id.c_str());
    for (const std::size_t i : group->second) {
      const BusLine& e = b.lines[i];
      if (!e.has_id || bare_id(e.unit_id) != want) continue;
      b.used[i] = true;
      s.check_level = e.check_level;
      s.kis = e.kis;
      if (std::strncmp(e.bus_name, name.c_str(), 8) != 0) {
        s.console = warning("Name    mismatch", bus, e, name, id);
      }
      return s;
    }
    s.console = warning("Name/ID mismatch", bus, b.lines[group->second.back()], name, id);
  }
  s.check_level = -1;
  s.kis = -1.0f;
  return s;
}

// After the run: the lines that could select a generator but were never used, in file order, the
// first ten by line and then how many more.
inline std::string unused_report(const BusFile& b, std::string_view file_name) {
  std::string out;
  std::size_t unused = 0;
  for (std::size_t i = 0; i < b.lines.size(); ++i) {
    if (!b.reported_when_unused(i) || b.used[i]) continue;
    if (++unused > 10) continue;
    const BusLine& e = b.lines[i];
    out += say_at(file_name, static_cast<long>(i) + 2,
                  "bus " + std::to_string(e.bus_number) + " unit ID " + id_text(e.unit_id) +
                      " matched no record");
  }
  if (unused > 10) {
    const std::size_t more = unused - 10;
    out += say(std::string(file_name) + ": " + std::to_string(more) +
               (more == 1 ? " more entry" : " more entries") + " matched no record");
  }
  return out;
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
