#include "text/number_format.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tpjconv {
namespace {

std::string with_printf(double value, int width, int precision, bool left) {
  char fmt[32];
  std::snprintf(fmt, sizeof fmt, left ? "%%-%d.%df" : "%%%d.%df", width, precision);
  return formatted(fmt, value);
}

// Every width and precision the record line, the label and the report use.
struct FieldFormat {
  int width, precision;
  bool left;
};
constexpr FieldFormat kFormats[] = {{8, 3, true}, {6, 3, false}, {4, 3, false}, {6, 4, false},
                           {4, 2, false}, {7, 4, false}, {10, 4, false}, {10, 2, false},
                           {8, 2, true},  {14, 4, false}};

void expect_same_as_printf(double value) {
  for (const FieldFormat& s : kFormats) {
    std::string out;
    append_fixed(out, value, s.width, s.precision, s.left);
    const std::string expected = with_printf(value, s.width, s.precision, s.left);
    ASSERT_EQ(expected, out)
        << "value " << value << " width " << s.width << " precision " << s.precision;
    // A 32-bit value also takes the road that skips the check of that.
    const auto narrow = static_cast<float>(value);
    if (narrow == value || value != value) {
      char text[kFixedRoom];
      ASSERT_EQ(expected, std::string(text, write_fixed(text, narrow, s.width, s.precision,
                                                        s.left)))
          << "32-bit value " << value << " width " << s.width << " precision " << s.precision;
    }
  }
}

TEST(AppendFixed, SameBytesAsPrintfAroundRoundingPoints) {
  // Halfway cases and their 32-bit neighbours at every precision, both signs.
  for (int i = 0; i <= 20000; ++i) {
    const double decimal = i / 20000.0;
    for (const double v : {decimal, decimal + 0.00005, decimal + 0.0005, decimal + 0.005,
                           decimal * 100.0 + 0.125}) {
      const float f = static_cast<float>(v);
      expect_same_as_printf(f);
      expect_same_as_printf(-f);
      expect_same_as_printf(std::nextafter(f, 0.0f));
      expect_same_as_printf(std::nextafter(f, 10.0f));
    }
  }
}

TEST(AppendFixed, SameBytesAsPrintfForRandomThirtyTwoBitPatterns) {
  std::mt19937 random(20261206);
  for (int i = 0; i < 200000; ++i) {
    const std::uint32_t bits = random();
    float f;
    std::memcpy(&f, &bits, sizeof f);
    expect_same_as_printf(f);
  }
  for (const double v : {0.0, -0.0, 78.0, 1e30, -3.4028234663852886e38, 1.7976931348623157e308,
                         std::numeric_limits<double>::infinity(),
                         -std::numeric_limits<double>::infinity(),
                         std::numeric_limits<double>::quiet_NaN(),
                         -std::numeric_limits<double>::quiet_NaN(), 4.9e-324}) {
    expect_same_as_printf(v);
  }
}

TEST(AppendText, PrintsLikePercentS) {
  std::string out;
  append_text(out, "gensal", 6, 6);
  append_text(out, "ab", 6, 6);
  append_text(out, "BUSNAME12", 8, -1, true);
  append_text(out, "x", 2, 2, true);
  append_text(out, std::string_view("\0 ", 2), 2, 2);
  append_text(out, std::string_view("AB\0CDEFG", 8), 8, 8);
  EXPECT_EQ(std::string("gensal") + "    ab" + "BUSNAME12" + "x " + "  " + "      AB", out);
  std::string number;
  append_int_left(number, -2147483647 - 1, 12);
  append_int_left(number, 7, 3);
  EXPECT_EQ("-2147483648 7  ", number);
}

// Every precision the exact road takes (0 to 9) and one it leaves to the other road, at widths
// from none to wider than the sixteen blanks written in one piece, on values that round.
TEST(AppendFixed, SameBytesAsPrintfAtEveryPrecisionAndWidth) {
  for (const float value : {0.0f, -0.0f, 0.5f, 2.5f, -1.125f, 0.0025f, 123.456f, 7.22f, 1e-7f,
                            99999.99f, 2147483520.0f}) {
    for (int precision = 0; precision <= 10; ++precision) {
      for (const int width : {0, 1, 6, 16, 17, 30}) {
        for (const bool left : {false, true}) {
          std::string out;
          append_fixed(out, value, width, precision, left);
          ASSERT_EQ(with_printf(value, width, precision, left), out)
              << value << " width " << width << " precision " << precision << " left " << left;
        }
      }
    }
  }
}

}  // namespace
}  // namespace tpjconv
