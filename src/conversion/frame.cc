#include "conversion/frame.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>
#include <vector>

#include "conversion/models.h"
#include "text/number_format.h"

namespace tpjconv {

namespace {

struct FieldFormat {
  int width;
  int precision;
};

// How each position is written in the gentpj record line ("%W.Pf"). Position 0, the MVA base,
// is written left-justified after "mva=", and only when it is positive.
constexpr std::array<FieldFormat, 21> kRecordFormat = {{
    {8, 3},                                  // mbase
    {6, 3}, {4, 3}, {6, 4}, {6, 4},          // tpdo tppdo tpqo tppqo
    {6, 3}, {4, 2},                          // h d
    {6, 4}, {6, 4}, {6, 4}, {6, 4},          // ld lq lpd lpq
    {6, 4}, {6, 4}, {6, 4},                  // lppd lppq ll
    {6, 4}, {6, 4}, {6, 4},                  // s1 s12 ra
    {7, 4}, {7, 4},                          // rcomp xcomp
    {4, 2}, {6, 4},                          // accel kis
}};

// The names in the comparison report, right-justified in five columns.
constexpr std::array<std::string_view, 21> kReportName = {
    "mbase", " tpdo", "tppdo", " tpqo", "tppqo", "    h", "    d", "   ld", "   lq", "  lpd",
    "  lpq", " lppd", " lppq", "   ll", "   s1", "  s12", "   ra", "rcomp", "xcomp", "accel",
    "  kis",
};

std::string make_label(std::string_view header) {
  const RecordHeader fields = read_header(header);
  std::string label;
  append_text(label, fields.model_name, 6, 6);
  label += ", ";
  append_int_left(label, fields.bus_number, 12);
  label += ", \"";
  append_text(label, fields.bus_name, 8, -1, true);
  label += "\", ";
  append_fixed(label, fields.base_kv, 8, 2, true);
  label += ", \"";
  append_text(label, fields.unit_id, 2, 2, true);
  label += '"';
  return label;
}

// Copies `text` to `out`; returns the end.
char* put(char* out, std::string_view text) {
  return static_cast<char*>(std::memcpy(out, text.data(), text.size())) + text.size();
}

// `text` right-justified in `width` columns at `out`, as "%W.Pf" pads the digits it makes;
// returns the end.
// A number of the record line, right-justified in ten columns at `out`, as "%10.4f" pads the
// digits it makes; returns the end. The line's text and `out` both have room for 16 characters
// past the number, so that the usual short number is copied in fixed-size pieces.
char* right_justified(char* out, std::string_view number) {
  constexpr int kWidth = 10;
  const int fill = kWidth - static_cast<int>(number.size());
  if (number.size() > 16) {
    return put(out, number);
  }
  std::memcpy(out, "                ", 16);
  if (fill > 0) out += fill;
  std::memcpy(out, number.data(), 16);
  return out + number.size();
}

// Position `p`'s value as the record line writes it.
template <int p>
char* record_number(char* out, float value, bool left = false) {
  constexpr FieldFormat format = kRecordFormat[p];
  if (char* end = write_fixed_exact<format.precision>(out, value, format.width, left)) return end;
  return write_fixed_other(out, value, format.width, format.precision, left);
}

}  // namespace

std::string_view position_name(Position p) {
  static constexpr std::array<std::string_view, kPositions> kNames = {
      "mbase", "tpdo", "tppdo", "tpqo", "tppqo", "h",  "d",     "ld",    "lq",    "lpd",  "lpq",
      "lppd",  "lppq", "ll",    "s1",   "s12",   "ra", "rcomp", "xcomp", "accel", "kis"};
  return kNames[static_cast<std::size_t>(+p)];
}

Conversion::Conversion(Model model, std::string& record, ParamTable& table,
                       std::size_t header_length, double kis, int check_level, RunContext& run,
                       const WorkingValues& start)
    : model_(model),
      record_(record),
      table_(table),
      header_length_(header_length),
      kis_(kis),
      run_(run),
      check_level_(check_level),
      report_(check_level <= 1),
      correct_(check_level == 0),
      values_(start) {
  for (std::size_t k = 0; k < values_.size(); ++k) table_[k].before = values_[k];
  table_[+Position::kis].before = 0.0f;
}

const std::string& Conversion::label() {
  if (label_.empty()) label_ = make_label(std::string_view(record_).substr(0, header_length_));
  return label_;
}

void Conversion::finding(int code, std::string_view text, Position slot,
                         std::optional<float> fix) {
  ++findings_;
  // A note slot starts as a single blank; the findings' texts follow it.
  std::string& note = notes_[+slot];
  if (note.empty()) note.push_back(' ');
  note += text;
  if (!report_) return;
  const FindingEvent event{*this, code, text, note, slot, values_[+slot], fix, true};
  for (FindingListener* listener : run_.listeners) listener->finding(event);
}

void Conversion::failed_rule(int code, std::string_view text, Position slot, double fix) {
  const auto fixed = static_cast<float>(fix);
  finding(code, text, slot, correct_ ? std::optional<float>(fixed) : std::nullopt);
  if (correct_) values_[+slot] = fixed;
}

void Conversion::log(int code, std::string_view text) {
  if (!report_) return;
  // Shaped like a finding's line, with the text where a note slot's content would stand.
  std::string note(1, ' ');
  note += text;
  const FindingEvent event{*this, code, text, note, Position::mbase, 0.0f, std::nullopt, false};
  for (FindingListener* listener : run_.listeners) listener->finding(event);
}

void Conversion::finish() {
  // The parameter text, formatted in place: at most 21 numbers of kFixedRoom characters each,
  // their separators, "#9", "mva=" and the line end.
  char text[21 * (kFixedRoom + 2) + 16];
  // Where each number stands in the text, without the blanks before it: the report shows the
  // same digits again.
  NumberSpans spans{};
  const bool reported = findings_ > 0 && report_;
  const auto number = [&](char* at, char* end, int p) {
    if (!reported) return end;
    while (at < end && *at == ' ') ++at;
    spans[p] = {static_cast<std::uint16_t>(at - text), static_cast<std::uint16_t>(end - at)};
    return end;
  };
  char* out = put(text, " #9 ");
  const float mva_base = values_[+Position::mbase];
  if (mva_base > 0) {
    out = put(out, "mva=");
    out = record_number<+Position::mbase>(out, mva_base, true);
    *out++ = ' ';
  }
  // Positions 1 to 19, each with its format fixed when compiled.
  const std::string_view accel_separator = model_row(model_).accel_separator;
  const auto position = [&]<int p>(std::integral_constant<int, p>) {
    if constexpr (p > +Position::tpdo) {
      out = put(out, p == +Position::accel ? accel_separator : " ");
    }
    char* const at = out;
    out = number(at, record_number<p>(out, values_[p]), p);
  };
  [&]<int... k>(std::integer_sequence<int, k...>) {
    (position(std::integral_constant<int, +Position::tpdo + k>{}), ...);
  }(std::make_integer_sequence<int, +Position::accel - +Position::tpdo + 1>{});
  *out++ = ' ';
  char* const kis_at = out;
  // Kis comes as a double, nearly always one a 32-bit value holds.
  const auto kis_narrow = static_cast<float>(kis_);
  out = number(kis_at,
               static_cast<double>(kis_narrow) == kis_
                   ? record_number<+Position::kis>(out, kis_narrow)
                   : write_fixed(out, kis_, kRecordFormat[+Position::kis].width,
                                 kRecordFormat[+Position::kis].precision),
               +Position::kis);
  // The converted record is one line, ending as the joined input text ended.
  out = put(out, record_.ends_with("\r\n") ? "\r\n" : "\n");

  if (reported) label();  // from the header as read, before it changes
  std::memcpy(record_.data(), "gentpj", 6);  // the record begins with its six-letter model name
  record_.resize(header_length_);
  record_.append(text, out);

  for (std::size_t k = 0; k < values_.size(); ++k) table_[k].value = values_[k];
  table_[+Position::kis].value = static_cast<float>(kis_);

  if (reported) {
    if (run_.report != nullptr) write_report_block(std::string_view(text, sizeof text), spans);
    ++run_.counters.changed[static_cast<int>(model_)];
  }
}

void Conversion::write_report_block(std::string_view text, const NumberSpans& spans) {
  // The block is made in one piece and written with one copy. Each line holds the name, two
  // numbers of 32-bit values (at most 45 characters each) and separators, besides its notes.
  std::size_t room = 64 + label_.size() + 21 * 128 + kFixedRoom;  // and write_fixed's margin
  for (const std::string& note : notes_) room += note.size();
  char on_stack[8192];
  std::vector<char> on_heap;
  char* const block = room <= sizeof on_stack ? on_stack : (on_heap.resize(room), on_heap.data());
  char* out = put(block, "\n");
  out = put(out, label_);
  out = put(out, "\n         ,");
  out = put(out, model_row(model_).report_heading);
  out = put(out, "      ,gentpj\n");
  for (int p = +Position::mbase; p <= +Position::kis; ++p) {
    const int precision = p == +Position::mbase ? 2 : 4;
    const float before = table_[p].before;
    const float value = table_[p].value;
    const bool changed = before != value;
    // The same text needs the same bits: 0 and -0 compare equal but print apart.
    const bool same_bits =
        std::bit_cast<std::uint32_t>(before) == std::bit_cast<std::uint32_t>(value);
    // The record line shows the new value with the same decimals where its format has four,
    // and Kis where it was a 32-bit value: those digits are copied, not made again.
    const bool in_line = kRecordFormat[p].precision == precision && p != +Position::mbase &&
                         (p != +Position::kis || static_cast<double>(value) == kis_);
    out = put(out, kReportName[p]);
    *out++ = ',';
    char* const old_at = out;
    if (in_line && same_bits) {
      out = right_justified(out, text.substr(spans[p].first, spans[p].second));
    } else {
      out = write_fixed(out, before, 10, precision);
    }
    const std::string_view old_text(old_at, static_cast<std::size_t>(out - old_at));
    out = put(out, "  ,");
    if (in_line) {
      out = right_justified(out, text.substr(spans[p].first, spans[p].second));
    } else if (same_bits) {
      out = put(out, old_text);
    } else {
      out = write_fixed(out, value, 10, precision);
    }
    if (!changed) {
      *out++ = '\n';
    } else if (p == +Position::kis) {
      out = put(out, " , ,Entered Kis\n");
    } else {
      out = put(out, "  ,");
      out = put(out, notes_[p].empty() ? std::string_view(" ") : std::string_view(notes_[p]));
      *out++ = '\n';
    }
  }
  run_.report->write(std::string_view(block, static_cast<std::size_t>(out - block)));
}

}  // namespace tpjconv
