// Fuzz target: the bus numbers file reader and the lookup.
//
// Input: a first line of settings "CHUNK|GROW", then a bus numbers file up to a line "%%", then
// lookups, one a line: "BUS|ID|NAME" (the bus number as "%d" reads it, the first two bytes of ID
// padded with blanks, at most nine bytes of NAME).
//   CHUNK  when above 0, the file is also read from a socket that hands it out in pieces of this
//          many bytes, and the list read that way must answer the same.
//   GROW   how often each "~" of the file repeats the byte before it.
//
// Checked, against a re-statement of the file format and a linear scan written for this target:
// one entry per line after the heading, whatever its length; every field of every entry; and for
// the lookups given and for lookups made from each entry (same key, another ID, another name,
// another bus), the Kis, the check level and the warning line.

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "input.h"
#include "records/line_reader.h"
#include "records/sink.h"
#include "reference.h"
#include "run/bus_list.h"

namespace {

using tpjconv::BusList;
using tpjconv::LineReader;

BusList load_through_socket(const std::string& text, std::size_t chunk) {
  return input::through_socket(text, chunk, [](int fd) {
    LineReader reader(fd);
    BusList list = BusList::load(reader);
    FUZZ_CHECK(reader.error() == 0);
    return list;
  });
}

struct Query {
  int bus;
  std::string id;    // exactly two characters, as in a record header
  std::string name;  // at most nine characters
};

void check_lookup(const BusList& list, const std::vector<ref::BusLine>& entries, const Query& q) {
  tpjconv::Sink console;
  const tpjconv::BusSelection got = list.lookup(q.bus, q.id, q.name, console);
  const ref::Selection want = ref::lookup(entries, q.bus, q.id, q.name);
  FUZZ_CHECK(ref::same_float(got.kis, want.kis));
  FUZZ_CHECK(got.check_level == want.check_level);
  if (console.text() != want.console) {
    std::fprintf(stderr, "warning differs:\n%s%s", want.console.c_str(), console.text().c_str());
  }
  FUZZ_CHECK(console.text() == want.console);
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

  const std::vector<ref::BusLine> entries = ref::bus_file(text);
  LineReader reader{std::string_view(text)};
  const BusList list = BusList::load(reader);
  FUZZ_CHECK(list.size() == entries.size());
  FUZZ_CHECK(list.empty() == entries.empty());

  // Every field of every entry.
  const std::vector<std::string_view> lines = ref::split_lines(text);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const tpjconv::BusEntry got = tpjconv::parse_bus_line(lines[i]);
    const ref::BusLine& want = entries[i - 1];
    FUZZ_CHECK(got.bus_number == want.bus_number);
    FUZZ_CHECK(std::memcmp(got.unit_id.data(), want.unit_id, 2) == 0);
    FUZZ_CHECK(got.check_level == want.check_level);
    FUZZ_CHECK(ref::same_float(got.kis, want.kis));
    FUZZ_CHECK(std::memcmp(got.bus_name.data(), want.bus_name, 8) == 0);
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
  // Lookups made from the entries, each distinct entry once, while the linear scans stay cheap.
  std::vector<std::string> seen;
  const std::size_t budget = 2000000 / (entries.size() + 1);
  for (std::size_t i = 0; i < entries.size() && queries.size() + 6 <= budget; ++i) {
    const ref::BusLine& e = entries[i];
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
    queries.push_back({e.bus_number == INT32_MAX ? 0 : e.bus_number + 1, id, c_name});
  }
  for (const Query& q : queries) check_lookup(list, entries, q);

  if (chunk > 0) {
    const std::size_t piece =
        std::max<std::size_t>(static_cast<std::size_t>(chunk), text.size() / 20000 + 1);
    const BusList again = load_through_socket(text, piece);
    FUZZ_CHECK(again.size() == entries.size());
    for (const Query& q : queries) check_lookup(again, entries, q);
  }
  return 0;
}
