// tpjconv_gendata: writes a large, realistic dynamic-data file and a bus numbers file for the
// benchmark. The same options always give the same bytes.
//
//   tpjconv_gendata [--generators N] [--bus-entries M] [--seed S] [--breaking B] DATFILE BUSFILE
//
// The dynamic-data file holds a load-model section and a machine section. Each plant sits at one
// bus with one to six units; every unit has a gensal, gentpf or genrou record (some over several
// lines, a few in keyword form), an exciter, most a governor and many a stabiliser. Load records,
// comments, blank lines and commented-out records fill the rest, about four other records for
// every generator record. Most machine data passes the rules; about one record in twelve breaks
// one to three of them (`--breaking 1000`: every record, each with a finding). The bus numbers
// file names whole plants picked across the file, mostly at check levels 0 and 1, with a few
// names and unit IDs that do not match.
//
// A one-line summary of what was written goes to standard output.

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

// splitmix64: small, fast and the same on every platform.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  // A whole number in [lo, hi].
  long range(long lo, long hi) {
    return lo + static_cast<long>(next() % static_cast<std::uint64_t>(hi - lo + 1));
  }
  // True with the given chance in thousandths.
  bool chance(int per_mille) { return range(0, 999) < per_mille; }

 private:
  std::uint64_t state_;
};

// Values are whole numbers of ten-thousandths, written with 0 to 4 decimals.
using Fixed = long;
constexpr long kScale = 10000;
constexpr long kStep[5] = {10000, 1000, 100, 10, 1};

// A value in [lo, hi] (in ten-thousandths) on the grid of `decimals`.
Fixed draw(Random& r, Fixed lo, Fixed hi, int decimals) {
  const long step = kStep[decimals];
  return r.range((lo + step - 1) / step, hi / step) * step;
}

// `value` times `per_mille` / 1000, down to the grid of `decimals`.
Fixed scaled(Fixed value, long per_mille, int decimals) {
  const long step = kStep[decimals];
  return value * per_mille / 1000 / step * step;
}

class Output {
 public:
  explicit Output(const char* path) : file_(std::fopen(path, "wb")), path_(path) {
    if (file_ == nullptr) {
      std::perror(path);
      std::exit(1);
    }
    text_.reserve(kChunk + 4096);
  }
  ~Output() { close(); }

  void close() {
    if (file_ == nullptr) return;
    flush();
    if (std::fclose(file_) != 0) fail();
    file_ = nullptr;
  }

  // Text is handed to the file in large pieces, always after a whole line.
  Output& operator<<(std::string_view s) {
    text_.append(s);
    if (text_.size() >= kChunk && text_.back() == '\n') flush();
    return *this;
  }
  Output& operator<<(char c) { return *this << std::string_view(&c, 1); }

  // A number with `decimals` decimals after a blank.
  void num(Fixed v, int decimals) {
    text_ += ' ';
    fixed(v, decimals);
  }
  void fixed(Fixed v, int decimals) {
    if (v < 0) {
      text_ += '-';
      v = -v;
    }
    char digits[24];
    auto end = std::to_chars(digits, digits + sizeof digits, v / kScale).ptr;
    text_.append(digits, end);
    if (decimals > 0) {
      text_ += '.';
      end = std::to_chars(digits, digits + sizeof digits, kScale + v % kScale).ptr;
      text_.append(digits + 1, static_cast<std::size_t>(decimals));
    }
  }
  void integer(long v, int width) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, v).ptr;
    const long length = end - digits;
    if (length < width) text_.append(static_cast<std::size_t>(width - length), ' ');
    text_.append(digits, end);
  }

  long lines() const { return lines_ + std::count(text_.begin(), text_.end(), '\n'); }
  long long bytes() const { return written_ + static_cast<long long>(text_.size()); }

 private:
  static constexpr std::size_t kChunk = 1 << 20;

  void flush() {
    lines_ += std::count(text_.begin(), text_.end(), '\n');
    if (!text_.empty() && std::fwrite(text_.data(), 1, text_.size(), file_) != text_.size()) fail();
    written_ += static_cast<long long>(text_.size());
    text_.clear();
  }
  [[noreturn]] void fail() {
    std::perror(path_);
    std::exit(1);
  }

  std::FILE* file_;
  const char* path_;
  std::string text_;
  long lines_ = 0;
  long long written_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Names and headers

constexpr std::string_view kSyllables[] = {
    "AL", "ASH", "BAR", "BAY", "BEL", "BRO", "CAS", "CED", "COR", "DAL", "DEN", "EL",
    "FAL", "FOR", "GAR", "GLEN", "HAR", "HIL", "HOL", "IVY", "KIN", "LAK", "LIN", "MAR",
    "MEL", "MIL", "NOR", "OAK", "PIN", "RED", "RIV", "ROS", "SAL", "SHA", "STO", "SUN",
    "TAM", "TON", "VAL", "VER", "WES", "WIL", "WOOD", "YOR", "ZEN", "ERS", "DALE", "SIDE"};

// A bus name of exactly 8 characters: two to four syllables padded with blanks, some with a
// blank inside or a unit-group suffix.
std::string bus_name(Random& r) {
  std::string name;
  const int syllables = static_cast<int>(r.range(2, 4));
  for (int i = 0; i < syllables; ++i) {
    const std::string_view s =
        kSyllables[static_cast<std::size_t>(r.range(0, std::size(kSyllables) - 1))];
    if (name.size() + s.size() > 8) break;
    name += s;
  }
  if (name.size() <= 5 && r.chance(300)) {
    name += r.chance(500) ? " G" : " P";
    name += static_cast<char>('1' + r.range(0, 3));
  }
  name.resize(8, ' ');
  return name;
}

constexpr std::array<std::string_view, 6> kMachineKv = {"13.80", "15.75", "18.00", "20.00",
                                                        "22.00", "24.00"};
constexpr std::array<std::string_view, 5> kLoadKv = {"13.80", "34.50", "69.00", "115.00",
                                                     "138.00"};

struct Bus {
  long number;
  std::string name;
  std::string_view kv;
};

// "model  number "NAME    "  kv "ID" : #9" with one blank before each opening quote.
void header(Output& out, std::string_view model, const Bus& bus, std::string_view id) {
  out << model;
  if (model.size() < 6) out << std::string_view("      ", 6 - model.size());
  out.integer(bus.number, 8);
  out << " \"" << bus.name << "\" ";
  if (bus.kv.size() < 6) out << std::string_view("      ", 6 - bus.kv.size());
  out << bus.kv << " \"" << id << "\" : #9";
}

// ---------------------------------------------------------------------------------------------
// Machine records

enum class Kind { genrou_round, genrou_salient, gensal, gentpf };

struct Machine {
  Kind kind;
  Fixed mva;
  // gentpj positions 1 to 18: tpdo tppdo tpqo tppqo h d ld lq lpd lpq lppd lppq ll s1 s12 ra rcomp
  // xcomp.
  enum { tpdo, tppdo, tpqo, tppqo, h, d, ld, lq, lpd, lpq, lppd, lppq, ll, s1, s12, ra, rcomp,
         xcomp, count };
  std::array<Fixed, count> v{};
  std::array<int, count> decimals{};
};

constexpr Fixed operator""_f(long double x) { return static_cast<Fixed>(x * kScale + 0.5); }

Machine machine(Random& r, Kind kind) {
  Machine m;
  m.kind = kind;
  auto& v = m.v;
  auto& dec = m.decimals;
  dec.fill(3);
  dec[Machine::h] = 2;
  dec[Machine::tpdo] = 2;
  dec[Machine::d] = 1;
  dec[Machine::ra] = 4;
  dec[Machine::rcomp] = 1;
  dec[Machine::xcomp] = 2;

  const bool hydro = kind == Kind::gensal || kind == Kind::genrou_salient;
  m.mva = hydro ? draw(r, 20.0_f, 450.0_f, 1) : draw(r, 40.0_f, 1300.0_f, 1);
  v[Machine::tpdo] = draw(r, 4.0_f, 9.5_f, 2);
  v[Machine::tppdo] = draw(r, 0.030_f, 0.065_f, 3);
  v[Machine::tppqo] = draw(r, 0.035_f, 0.110_f, 3);
  v[Machine::h] = hydro ? draw(r, 2.0_f, 5.0_f, 2) : draw(r, 2.5_f, 6.5_f, 2);
  v[Machine::d] = 0;
  v[Machine::s1] = draw(r, 0.030_f, 0.180_f, 3);
  v[Machine::s12] = draw(r, 0.200_f, 0.600_f, 3);
  v[Machine::ra] = draw(r, 0.0010_f, 0.0060_f, 4);
  v[Machine::rcomp] = 0;
  if (r.chance(100)) {  // some compensation; the two draws in turn, for the same bytes everywhere
    const Fixed xcomp = draw(r, 0.0_f, 0.10_f, 2);
    v[Machine::xcomp] = r.chance(500) ? -xcomp : xcomp;
  }

  if (hydro) {
    v[Machine::ld] = draw(r, 0.800_f, 1.300_f, 3);
    v[Machine::lq] = scaled(v[Machine::ld], r.range(550, 690), 3);
    v[Machine::lpd] = scaled(v[Machine::ld], r.range(250, 420), 3);
    v[Machine::lpq] = v[Machine::lq];
    v[Machine::tpqo] = 0;
  } else {
    v[Machine::ld] = draw(r, 1.500_f, 2.300_f, 3);
    v[Machine::lq] = scaled(v[Machine::ld], r.range(880, 970), 3);
    v[Machine::lpd] = draw(r, 0.180_f, 0.380_f, 3);
    v[Machine::tpqo] = draw(r, 0.300_f, 1.500_f, 3);
  }
  v[Machine::lppd] = scaled(v[Machine::lpd], r.range(600, 850), 3);
  v[Machine::lppq] = v[Machine::lppd];
  v[Machine::ll] = scaled(v[Machine::lppd], r.range(600, 850), 3);
  if (!hydro) {
    // lpq well below lq and well above lppd: the round-rotor path, and lppq <= 0.9 lpq.
    v[Machine::lpq] = std::max(draw(r, 0.350_f, 0.800_f, 3), scaled(v[Machine::lppd], 1300, 3));
  }
  return m;
}

// Breaks one to three rules of the machine's model, the way data goes wrong in real files.
void spoil(Random& r, Machine& m) {
  auto& v = m.v;
  const int faults = static_cast<int>(r.range(1, 3));
  for (int i = 0; i < faults; ++i) {
    switch (r.range(0, 8)) {
      case 0: v[Machine::tppdo] = 0.020_f; break;                                // below tcmin
      case 1: v[Machine::tpdo] = draw(r, 1.0_f, 1.9_f, 2); break;               // tpdo < 2.0
      case 2: v[Machine::ll] = v[Machine::lppd]; break;                         // ll > 0.95 lppd
      case 3: v[Machine::ra] = draw(r, 0.0600_f, 0.0900_f, 4); break;           // improper ra
      case 4: v[Machine::xcomp] = 0.25_f; break;                                // xcomp > 0.2
      case 5: v[Machine::tppqo] = 0.015_f; break;                               // below tcmin
      case 6:                                                                   // lpd too large
        v[Machine::lpd] = scaled(v[Machine::ld], m.kind == Kind::gensal ? 650 : 450, 3);
        break;
      case 7: v[Machine::lppd] = v[Machine::lppq] = v[Machine::lpd]; break;     // lppd >= 0.95 lpd
      case 8:
        if (m.kind == Kind::gentpf) {
          v[Machine::lpq] = scaled(v[Machine::lq], 800, 3);                     // lpq > 0.75 lq
        } else {
          v[Machine::rcomp] = 0.02_f;                                           // rcomp > 0.01
          m.decimals[Machine::rcomp] = 2;
        }
        break;
    }
  }
}

// The parameters each model writes, in its order.
constexpr std::array<int, 15> kGensalOrder = {
    Machine::tpdo, Machine::tppdo, Machine::tppqo, Machine::h, Machine::d, Machine::ld,
    Machine::lq, Machine::lpd, Machine::lppd, Machine::ll, Machine::s1, Machine::s12,
    Machine::ra, Machine::rcomp, Machine::xcomp};
constexpr std::array<int, 17> kGenrouOrder = {
    Machine::tpdo, Machine::tppdo, Machine::tpqo, Machine::tppqo, Machine::h, Machine::d,
    Machine::ld, Machine::lq, Machine::lpd, Machine::lpq, Machine::lppd, Machine::ll,
    Machine::s1, Machine::s12, Machine::ra, Machine::rcomp, Machine::xcomp};
constexpr std::array<int, 18> kGentpfOrder = {
    Machine::tpdo, Machine::tppdo, Machine::tpqo, Machine::tppqo, Machine::h, Machine::d,
    Machine::ld, Machine::lq, Machine::lpd, Machine::lpq, Machine::lppd, Machine::lppq,
    Machine::ll, Machine::s1, Machine::s12, Machine::ra, Machine::rcomp, Machine::xcomp};
constexpr std::array<std::string_view, Machine::count> kKeyword = {
    "tpdo", "tppdo", "tpqo", "tppqo", "h", "d", "ld", "lq", "lpd", "lpq", "lppd", "lppq", "ll",
    "s1", "s12", "ra", "rcomp", "xcomp"};

struct Counts {
  long gensal = 0, gentpf = 0, genrou = 0, continued = 0, spoiled = 0, others = 0;
};

// Writes one machine record and returns its MVA base. A record written inside a comment
// (`in_service` false) is kept on one line and not counted.
Fixed machine_record(Output& out, Random& r, const Bus& bus, std::string_view id, Kind kind,
                     int breaking, Counts& counts, bool in_service = true) {
  Counts ignored;
  Counts& count = in_service ? counts : ignored;
  Machine m = machine(r, kind);
  if (r.chance(breaking)) {
    spoil(r, m);
    ++count.spoiled;
    // Not every fault is a finding of every model: with every record breaking rules, each also
    // has tppdo below tcmin, so that every record is reported.
    if (breaking >= 1000) m.v[Machine::tppdo] = 0.020_f;
  }
  std::string_view model;
  const int* order;
  std::size_t n;
  switch (kind) {
    case Kind::gensal:
      model = "gensal", order = kGensalOrder.data(), n = kGensalOrder.size();
      ++count.gensal;
      break;
    case Kind::gentpf:
      model = "gentpf", order = kGentpfOrder.data(), n = kGentpfOrder.size();
      ++count.gentpf;
      break;
    default:
      model = "genrou", order = kGenrouOrder.data(), n = kGenrouOrder.size();
      ++count.genrou;
      break;
  }
  // Keyword form for a few genrou records; continuation lines for one record in five.
  const bool keywords = kind != Kind::gensal && kind != Kind::gentpf && r.chance(40);
  const long split = r.chance(200) && in_service ? r.range(1, 2) : 0;
  if (split > 0) ++count.continued;
  const std::size_t first_break = split > 0 ? static_cast<std::size_t>(r.range(4, 8)) : n;
  const std::size_t second_break = split > 1 ? first_break + 5 : n;

  header(out, model, bus, id);
  out << " mva=";
  out.fixed(m.mva, 1);
  for (std::size_t k = 0; k < n; ++k) {
    if (k == first_break || k == second_break) out << " /\n    ";
    const auto p = static_cast<std::size_t>(order[k]);
    if (keywords) out << " \"" << kKeyword[p] << '"';
    out.num(m.v[p], m.decimals[p]);
  }
  out << '\n';
  return m.mva;
}

// ---------------------------------------------------------------------------------------------
// Other records: exciters, governors, stabilisers and load models

void exciter(Output& out, Random& r, const Bus& bus, std::string_view id, Counts& counts) {
  ++counts.others;
  switch (r.range(0, 4)) {
    case 0:
      header(out, "exst1", bus, id);
      out.num(0.02_f, 2), out.num(99.0_f, 1), out.num(-99.0_f, 1), out.num(1.0_f, 1);
      out.num(1.0_f, 1), out.num(draw(r, 100.0_f, 400.0_f, 1), 1), out.num(0.02_f, 2);
      out.num(5.0_f, 1), out.num(-5.0_f, 1), out.num(0, 1), out.num(0, 1), out.num(0, 1);
      break;
    case 1:
      header(out, "esst4b", bus, id);
      out.num(0.02_f, 2), out.num(draw(r, 2.0_f, 4.0_f, 2), 2), out.num(3.15_f, 2);
      out.num(0.01_f, 2), out.num(1.0_f, 1), out.num(-0.87_f, 2), out.num(1.0_f, 1);
      out.num(0, 1), out.num(1.0_f, 1), out.num(-0.87_f, 2), out.num(0, 1);
      out.num(draw(r, 5.0_f, 8.0_f, 2), 2), out.num(0, 1), out.num(0, 1), out.num(0.08_f, 2);
      out.num(0, 1), out.num(8.0_f, 1);
      break;
    case 2:
      header(out, "ieeet1", bus, id);
      out.num(0.06_f, 2), out.num(draw(r, 25.0_f, 400.0_f, 1), 1), out.num(0.06_f, 4);
      out.num(1.0_f, 1), out.num(-1.0_f, 1), out.num(0, 1), out.num(0.5_f, 1);
      out.num(draw(r, 0.04_f, 0.1_f, 4), 4), out.num(1.0_f, 1), out.num(0, 1);
      out.num(draw(r, 2.0_f, 4.0_f, 4), 4), out.num(0.1388_f, 4), out.num(4.5822_f, 4);
      out.num(0.4038_f, 4), out.num(0, 1);
      break;
    case 3:
      header(out, "exac1", bus, id);
      out << " 0 0 0";
      out.num(draw(r, 400.0_f, 3000.0_f, 0), 0), out.num(0.02_f, 2);
      out.num(7.4004_f, 4), out.num(-7.4004_f, 4), out.num(1.1_f, 1), out.num(0.035_f, 3);
      out << " 1";
      out.num(0.2556_f, 4), out.num(0.5_f, 1), out << " 1";
      out.num(3.6535_f, 4), out.num(0.0662_f, 4), out.num(4.8714_f, 4), out.num(0.3309_f, 4);
      out.num(7.4004_f, 4), out.num(-7.4004_f, 4);
      break;
    default:
      // Over two lines, as some files write their longer exciter records.
      header(out, "esac1a", bus, id);
      out.num(0, 1), out.num(0, 1), out.num(0, 1), out.num(draw(r, 200.0_f, 500.0_f, 1), 1);
      out.num(0.02_f, 2), out.num(14.5_f, 1), out.num(-14.5_f, 1), out.num(0.8_f, 1);
      out.num(0.2_f, 1), out.num(1.0_f, 1), out << " /\n   ";
      out.num(0.38_f, 2), out.num(0.03_f, 2), out.num(1.0_f, 1), out.num(4.18_f, 2);
      out.num(0.1_f, 2), out.num(3.14_f, 2), out.num(0.03_f, 2), out.num(6.03_f, 2);
      out.num(-5.43_f, 2);
      break;
  }
  out << '\n';
}

void governor(Output& out, Random& r, const Bus& bus, std::string_view id, Kind kind,
              Fixed mva, Counts& counts) {
  ++counts.others;
  const Fixed mwcap = scaled(mva, r.range(850, 950), 1);
  if (kind == Kind::gensal || kind == Kind::genrou_salient) {
    header(out, "hygov", bus, id);
    out << " mwcap=";
    out.fixed(mwcap, 1);
    out.num(0.05_f, 2), out.num(0.5_f, 2), out.num(draw(r, 5.0_f, 8.0_f, 2), 2);
    out.num(0.05_f, 2), out.num(0.2_f, 2), out.num(0.07_f, 2), out.num(1.0_f, 2);
    out.num(0, 2), out.num(draw(r, 1.0_f, 2.5_f, 2), 2), out.num(1.1_f, 2), out.num(0.5_f, 2);
    out.num(0.08_f, 2);
  } else if (kind == Kind::gentpf && r.chance(600)) {
    // ggov1 over three lines.
    header(out, "ggov1", bus, id);
    out << " mwcap=";
    out.fixed(mwcap, 1);
    out << " 0.04 1.0 1.0 0.2 -0.2 5.3 1.9 4.9 1.0 /\n";
    out << " 0.692 0.09 0.2";
    out.num(draw(r, 1.5_f, 2.5_f, 3), 3);
    out << " 0.17 0.1 0.0 0.0 0.0 0.0167 10.0 0.0 2.0 /\n";
    out << " 0.0 3.3 -3.3 0.0 0.0 1.0 10.0 0.0167 0.0 0.0 0.0 1.0 -1.0";
  } else if (r.chance(250)) {
    header(out, "tgov1", bus, id);
    out << " mwcap=";
    out.fixed(mwcap, 1);
    out.num(0.05_f, 2), out.num(0.5_f, 1), out.num(1.0_f, 1), out.num(0, 1), out.num(0, 1);
    out.num(draw(r, 0.3_f, 2.0_f, 1), 1), out.num(0, 1);
  } else {
    // ieeeg1: the long form over two lines for half of them.
    header(out, "ieeeg1", bus, id);
    out << " mwcap=";
    out.fixed(mwcap, 1);
    out.num(20.0_f, 1), out.num(draw(r, 0.0_f, 0.3_f, 2), 2), out.num(0, 1), out.num(0.2_f, 2);
    out.num(0.1_f, 2), out.num(-0.1_f, 2), out.num(draw(r, 0.9_f, 1.2_f, 4), 4), out.num(0, 1);
    out.num(0.3_f, 2), out.num(0.25_f, 2);
    if (r.chance(500)) out << " /\n   ";
    out << " 0.0 7.0 0.45 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0";
  }
  out << '\n';
}

void stabiliser(Output& out, Random& r, const Bus& bus, std::string_view id, Counts& counts) {
  ++counts.others;
  if (r.chance(700)) {
    header(out, "ieeest", bus, id);
    out << " 1 0 1.013 0.013 0 0 1.013 0.113 0 0.02 0 0";
    out.num(draw(r, 1.0_f, 5.0_f, 2), 2), out.num(draw(r, 1.0_f, 5.0_f, 2), 2);
    out << " 3 0.1 -0.1 0 0 0";
  } else {
    header(out, "pss2a", bus, id);
    out << " 1 0 3 0 5 1 2.0 2.0 0.0 2.0 0.0 2.0 /\n";
    out << "    0.0";
    out.num(draw(r, 5.0_f, 20.0_f, 2), 2);
    out << " 0.0 2.0 0.0 0.5 0.0 0.1 0.05 0.1 0.05 0.1 0.05 0.1 -0.1";
  }
  out << '\n';
}

void load_record(Output& out, Random& r, const Bus& bus, Counts& counts) {
  ++counts.others;
  const long kind = r.range(0, 9);
  if (kind < 6) {
    header(out, "wlwscc", bus, "1 ");
    out << " 0 1 1 0 0 0 0 0 0 0 0";
  } else if (kind < 9) {
    // A composite load model over three lines.
    header(out, "cmpldw", bus, "1 ");
    out << " mva=-0.80 0.04 0.04 0.75 0.8";
    out.num(draw(r, 0.9_f, 1.05_f, 3), 3);
    out << " 1.1 0.00625 1.025 0.9 /\n";
    out << "    1.1 0.05 0.3 0.3 0.0 0.0 0.0 0.0 0.3 0.4 0.1 0.2 2.0 1.0 0.6 /\n";
    out << "    0.5 0.7 0.4 0.2 1.0 1.0 1.0 2.0 0.0 1.0 0.0";
  } else {
    header(out, "motorw", bus, "1 ");
    out << " mva=";
    out.fixed(draw(r, 1.0_f, 40.0_f, 1), 1);
    out << " 0.0 0.014 0.08 3.5 0.009 0.08 0.6 0.5 0.1 99.0 1.0 99.0 0.5 0.15";
  }
  out << '\n';
}

void banner(Output& out, std::string_view title) {
  out << "#-----------------------------------------------------------------------------------\n";
  out << "# " << title << '\n';
  out << "#-----------------------------------------------------------------------------------\n";
}

// ---------------------------------------------------------------------------------------------
// The two files

struct Unit {
  std::uint32_t plant;
  char id[2];
};

struct Plant {
  long bus_number;
  std::string name;
  std::uint32_t first_unit;
  std::uint32_t units;
};

[[noreturn]] void usage() {
  std::fputs(
      "usage: tpjconv_gendata [--generators N] [--bus-entries M] [--seed S] [--breaking B]\n"
      "                       DATFILE BUSFILE\n"
      "  --breaking B  machine records in a thousand that break one to three rules (default 80)\n",
      stderr);
  std::exit(2);
}

long number_option(const char* text) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 0) usage();
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  long generators = 200000;
  long bus_entries = 30000;
  std::uint64_t seed = 20240601;
  int breaking = 80;
  std::vector<const char*> files;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--generators" && i + 1 < argc) {
      generators = number_option(argv[++i]);
    } else if (arg == "--bus-entries" && i + 1 < argc) {
      bus_entries = number_option(argv[++i]);
    } else if (arg == "--seed" && i + 1 < argc) {
      seed = static_cast<std::uint64_t>(number_option(argv[++i]));
    } else if (arg == "--breaking" && i + 1 < argc) {
      breaking = static_cast<int>(std::min(number_option(argv[++i]), 1000L));
    } else if (arg.starts_with("-")) {
      usage();
    } else {
      files.push_back(argv[i]);
    }
  }
  if (files.size() != 2) usage();

  Random r(seed);
  Output out(files[0]);
  Counts counts;
  std::vector<Plant> plants;
  std::vector<Unit> units;
  units.reserve(static_cast<std::size_t>(generators));

  out << "#   Dynamic data of a large interconnection, written for the tpjconv benchmark\n";
  out << "#   " << std::to_string(generators) << " machine records, seed " << std::to_string(seed)
      << '\n';
  out << "#\n";
  out << "lodrep\n";
  banner(out, "Load characteristic models");

  // Load buses in their own number range, one and a half load records for every generator.
  const long loads = generators * 3 / 2;
  long load_bus = 1000000 + 7;
  for (long i = 0; i < loads; ++i) {
    if (i % 5000 == 0 && i > 0) out << "#  area " << std::to_string(i / 5000 + 1) << '\n';
    load_bus += r.range(1, 4);
    const Bus bus{load_bus, bus_name(r), kLoadKv[static_cast<std::size_t>(r.range(0, 4))]};
    load_record(out, r, bus, counts);
  }

  out << "#\nmodels\n";
  banner(out, "Generator models");

  long bus_number = 1000;
  long written = 0;
  while (written < generators) {
    const long kind_draw = r.range(0, 99);
    // Steam plants: round-rotor genrou. Hydro: gensal or salient-pole genrou. Gas: gentpf or
    // round-rotor genrou.
    Kind kind;
    long max_units;
    std::string_view what;
    if (kind_draw < 45) {
      kind = Kind::genrou_round, max_units = 4, what = "steam";
    } else if (kind_draw < 75) {
      kind = r.chance(620) ? Kind::gensal : Kind::genrou_salient, max_units = 6, what = "hydro";
    } else {
      kind = r.chance(600) ? Kind::gentpf : Kind::genrou_round, max_units = 3, what = "gas turbine";
    }
    const long n = std::min(r.range(1, max_units), generators - written);
    bus_number += r.range(1, 12);
    const Bus bus{bus_number, bus_name(r),
                  kMachineKv[static_cast<std::size_t>(r.range(0, kMachineKv.size() - 1))]};
    plants.push_back({bus_number, bus.name, static_cast<std::uint32_t>(units.size()),
                      static_cast<std::uint32_t>(n)});

    if (r.chance(300)) out << "\n";
    if (r.chance(500)) {
      out << "#  " << std::string_view(bus.name).substr(0, bus.name.find_last_not_of(' ') + 1)
          << ": " << std::to_string(n) << ' ' << what << (n == 1 ? " unit\n" : " units\n");
    }
    // Unit IDs 1, 2, ... at most plants; G1, G2, ... at some.
    const bool g_ids = r.chance(100);
    for (long u = 0; u < n; ++u) {
      Unit unit{static_cast<std::uint32_t>(plants.size() - 1), {' ', ' '}};
      if (g_ids) {
        unit.id[0] = 'G', unit.id[1] = static_cast<char>('1' + u);
      } else {
        unit.id[0] = static_cast<char>('1' + u);
      }
      units.push_back(unit);
      const std::string_view id(unit.id, 2);
      if (r.chance(5)) {
        out << "#";  // an earlier set of data, taken out by commenting it
        machine_record(out, r, bus, id, kind, breaking, counts, false);
      }
      const Fixed mva = machine_record(out, r, bus, id, kind, breaking, counts);
      exciter(out, r, bus, id, counts);
      if (r.chance(900)) governor(out, r, bus, id, kind, mva, counts);
      if (r.chance(600)) stabiliser(out, r, bus, id, counts);
    }
    written += n;
  }
  out << "#\n#   end of dynamic data\n";
  out.close();

  // The bus numbers file: whole plants in a random order until the entry count is reached (the
  // last one perhaps in part), then written in file order.
  std::vector<std::uint32_t> order(plants.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
  for (std::size_t i = order.size(); i > 1; --i) {
    std::swap(order[i - 1], order[static_cast<std::size_t>(r.range(0, static_cast<long>(i) - 1))]);
  }
  std::vector<std::pair<std::uint32_t, std::uint32_t>> chosen;  // plant, units taken
  long taken = 0;
  for (const std::uint32_t p : order) {
    if (taken >= bus_entries) break;
    const long n = std::min<long>(plants[p].units, bus_entries - taken);
    chosen.emplace_back(p, static_cast<std::uint32_t>(n));
    taken += n;
  }
  std::sort(chosen.begin(), chosen.end());

  Output bus(files[1]);
  bus << " Bus      ID    Level  Kis     Name\n";
  constexpr std::array<std::string_view, 4> kKis = {"0.30", "0.25", "0.20", "0.35"};
  long name_mismatches = 0, id_mismatches = 0;
  for (const auto& [p, n] : chosen) {
    const Plant& plant = plants[p];
    for (std::uint32_t u = 0; u < n; ++u) {
      const Unit& unit = units[plant.first_unit + u];
      std::string name = plant.name;
      std::string id(unit.id, 2);
      if (r.chance(10)) {  // a name spelt differently in the list
        name[0] = name[0] == 'X' ? 'Y' : 'X';
        ++name_mismatches;
      } else if (r.chance(3)) {  // a unit ID that the plant does not have
        id = "9 ";
        ++id_mismatches;
      }
      const long level_draw = r.range(0, 99);
      const int level = level_draw < 60 ? 0 : level_draw < 90 ? 1 : level_draw < 97 ? 2 : 3;
      const long kis_draw = r.range(0, 199);
      const std::size_t kis_index = static_cast<std::size_t>(kis_draw < 140 ? 0 : kis_draw % 4);
      const std::string_view kis = kis_draw == 0 ? "-1.00" : kKis[kis_index];
      bus.integer(plant.bus_number, 8);
      bus << ", \"" << id << "\",  ";
      bus.integer(level, 1);
      bus << ",  " << kis << ",  \"" << name << "\"\n";
    }
  }
  const long long dat_bytes = out.bytes();
  const long dat_lines = out.lines();
  bus.close();

  std::printf("%s: %ld lines, %lld bytes; %ld generator records (%ld gensal, %ld gentpf, "
              "%ld genrou; %ld with continuation lines, %ld breaking rules), %ld other records\n",
              files[0], dat_lines, dat_bytes, counts.gensal + counts.gentpf + counts.genrou,
              counts.gensal, counts.gentpf, counts.genrou, counts.continued, counts.spoiled,
              counts.others);
  std::printf("%s: %ld entries from %zu plants (%ld names and %ld unit IDs that do not match)\n",
              files[1], taken, chosen.size(), name_mismatches, id_mismatches);
  return 0;
}
