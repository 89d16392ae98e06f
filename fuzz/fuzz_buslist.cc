// Fuzz target: the bus numbers file reader and the lookup.
//
// Input: a first line of settings "CHUNK|GROW", then a bus numbers file up to a line "%%", then
// lookups, one a line: "BUS|ID|NAME" (the bus number as "%d" reads it, the first two bytes of ID
// padded with blanks, at most nine bytes of NAME).
//   CHUNK  when above 0, the file is also read from a socket that hands it out in pieces of this
//          many bytes, and the list read that way must answer the same.
//   GROW   how often each "~" of the file repeats the byte before it.
//
// Checked, against a re-statement of the file format and a scan of the lines of each bus number
// written for this target: one entry per line after the heading, whatever its length; every field
// of every entry and the fields that hold no number; the warnings of the reading (fields that
// are no number, entries listed again); whether any entry can select a generator; for the
// lookups given and for lookups made from each entry (same key, the unit ID with blanks moved or
// cut, the two characters swapped, another ID, another name, another bus), the Kis, the check level and the warning line;
// and then the entries that no lookup used.

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "console_bus_list.h"
#include "conversion/bus_list.h"
#include "input.h"
#include "reference.h"
#include "text/line_reader.h"
#include "text/sink.h"

namespace {

using BusList = tpjconv::testing::ConsoleBusList;
using tpjconv::LineReader;

constexpr std::string_view kFileName = "bus.txt";

BusList load_through_socket(const std::string& text, std::size_t chunk, std::string& warnings) {
  return input::through_socket(text, chunk, [&warnings](int fd) {
    input::DescriptorSource source(fd);
    LineReader reader(source);
    tpjconv::Sink console;
    BusList list = BusList::load(reader, kFileName, console);
    FUZZ_CHECK(reader.error() == 0);
    warnings = console.text();
    return list;
  });
}

struct Query {
  int bus;
  std::string id;    // exactly two characters, as in a record header
  std::string name;  // at most nine characters
};

void check_lookup(BusList& list, ref::BusFile& want_list, const Query& q) {
  tpjconv::Sink console;
  const tpjconv::BusSelection got = list.lookup(q.bus, q.id, q.name, console);
  const ref::Selection want = ref::lookup(want_list, q.bus, q.id, q.name);
  FUZZ_CHECK(ref::same_float(got.kis, want.kis));
  FUZZ_CHECK(got.check_level == want.check_level);
  if (console.text() != want.console) {
    std::fprintf(stderr, "warning differs:\n%s%s", want.console.c_str(), console.text().c_str());
  }
  FUZZ_CHECK(console.text() == want.console);
}

// The entries that no lookup used, as the run reports them at its end.
void check_unused(BusList& list, const ref::BusFile& want_list) {
  tpjconv::Sink console;
  list.report_unused(kFileName, console);
  const std::string want = ref::unused_report(want_list, kFileName);
  if (console.text() != want) {
    std::fprintf(stderr, "unused entries differ:\n%s---\n%s", want.c_str(),
                 console.text().c_str());
  }
  FUZZ_CHECK(console.text() == want);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const input::Parts parts = input::cut(data, size);
  const long chunk = input::number(parts, 0, 0, 65536);
  std::string_view bus_part, query_part;
  input::split_body(parts.body, bus_part, query_part);
  if (bus_part.empty() && !parts.body.empty() && parts.body.find("%%\n") == std::string::npos) {
    bus_part = parts.body;  // without the mark, the whole body is the bus numbers file
    query_part = std::string_view();
  }
  const std::string text = input::grow(bus_part, input::number(parts, 1, 0, 300000));

  std::string want_warnings;
  const ref::BusFile entries = ref::bus_file(text, kFileName, &want_warnings);

  LineReader reader{std::string_view(text)};
  tpjconv::Sink console;
  BusList list = BusList::load(reader, kFileName, console);
  if (console.text() != want_warnings) {
    std::fprintf(stderr, "warnings differ:\n%s---\n%s", want_warnings.c_str(),
                 console.text().c_str());
  }
  FUZZ_CHECK(console.text() == want_warnings);
  FUZZ_CHECK(list.size() == entries.lines.size());
  FUZZ_CHECK(list.empty() == entries.lines.empty());
  FUZZ_CHECK(list.names_a_generator() == entries.names_a_generator());

  // Every field of every entry, and what the reading noticed.
  const std::vector<std::string_view> lines = ref::split_lines(text);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const tpjconv::BusLine got = tpjconv::read_bus_line(lines[i]);
    const ref::BusLine& want = entries.lines[i - 1];
    FUZZ_CHECK(got.entry.bus_number == want.bus_number);
    FUZZ_CHECK(std::memcmp(got.entry.unit_id.data(), want.unit_id, 2) == 0);
    FUZZ_CHECK(got.has_unit_id == want.has_id);
    FUZZ_CHECK(got.entry.check_level == want.check_level);
    FUZZ_CHECK(ref::same_float(got.entry.kis, want.kis));
    FUZZ_CHECK(std::memcmp(got.entry.bus_name.data(), want.bus_name, 8) == 0);
    FUZZ_CHECK(got.bad_bus_number == want.bad_bus_number);
    FUZZ_CHECK(got.bad_check_level == want.bad_check_level);
    FUZZ_CHECK(got.bad_kis == want.bad_kis);
  }

  // The lookups.
  std::vector<Query> queries;
  for (const std::string_view line : ref::split_lines(query_part)) {
    std::string_view l = line;
    if (l.ends_with('\n')) l.remove_suffix(1);
    const std::size_t a = l.find('|');
    const std::size_t b = a == std::string_view::npos ? a : l.find('|', a + 1);
    Query q;
    q.bus = ref::scan_d(l.substr(0, a)).value_or(0);
    std::string id = a == std::string_view::npos ? "" : std::string(l.substr(a + 1, b - a - 1));
    id.resize(2, ' ');
    q.id = id.substr(0, 2);
    q.name = b == std::string_view::npos ? "" : std::string(l.substr(b + 1, 9));
    queries.push_back(q);
  }
  const std::size_t given = queries.size();
  // Lookups made from the entries, each distinct entry once, while the scans stay cheap: the same
  // key, the unit ID with its blank before or after it or cut by a zero character, its two
  // characters swapped, another ID, another name, another bus.
  std::vector<std::string> seen;
  const std::size_t budget = 2000000 / (entries.lines.size() + 1);
  for (std::size_t i = 0; i < entries.lines.size() && queries.size() + 9 <= budget; ++i) {
    const ref::BusLine& e = entries.lines[i];
    std::string key(reinterpret_cast<const char*>(&e.bus_number), sizeof e.bus_number);
    key.append(e.unit_id, 2).append(e.bus_name, 8);
    if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
    seen.push_back(key);
    const std::string id(e.unit_id, 2);
    const std::string name(e.bus_name, 8);
    const std::string c_name(name.c_str());  // as far as a record's name could reach
    queries.push_back({e.bus_number, id, c_name});
    queries.push_back({e.bus_number, id, name + "X"});
    queries.push_back({e.bus_number, id, "OTHER"});
    queries.push_back({e.bus_number, "zz", c_name});
    queries.push_back({e.bus_number, std::string(1, id[0]) + ' ', c_name});
    queries.push_back({e.bus_number, std::string(1, ' ') + id[0], c_name});
    queries.push_back({e.bus_number, std::string(1, id[0]) + '\0', c_name});
    queries.push_back({e.bus_number, std::string{id[1], id[0]}, c_name});
    queries.push_back({e.bus_number == INT32_MAX ? 0 : e.bus_number + 1, id, c_name});
  }
  // The entries unused after the lookups given, and after all.
  ref::BusFile want_list = entries;
  for (std::size_t i = 0; i < queries.size(); ++i) {
    if (i == given) check_unused(list, want_list);
    check_lookup(list, want_list, queries[i]);
  }
  check_unused(list, want_list);

  if (chunk > 0) {
    const std::size_t piece =
        std::max<std::size_t>(static_cast<std::size_t>(chunk), text.size() / 20000 + 1);
    std::string warnings;
    BusList again = load_through_socket(text, piece, warnings);
    FUZZ_CHECK(warnings == want_warnings);
    FUZZ_CHECK(again.size() == entries.lines.size());
    ref::BusFile want_again = entries;
    for (const Query& q : queries) check_lookup(again, want_again, q);
    check_unused(again, want_again);
  }
  return 0;
}
