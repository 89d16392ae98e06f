#include "records/fields.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include <gtest/gtest.h>

namespace tpjconv {
namespace {

TEST(FieldCursor, SeparatorSetChangesFromFieldToField) {
  FieldCursor fields("genrou  17 \"Ostroleka   \"  220.00 \" 1\" : #9\n");
  EXPECT_EQ("genrou", fields.next(" ,:\t"));
  EXPECT_EQ("17", fields.next(" ,:\"\t"));
  // The blank after 17 was consumed with it, so the name field starts at the quote.
  EXPECT_EQ("Ostroleka   ", fields.next(",:\"\t"));
  EXPECT_EQ("220.00", fields.next(" ,:\"\t"));
  EXPECT_EQ(" 1", fields.next(",:\"\t"));
  EXPECT_EQ("#9\n", fields.next(" :"));  // the line end stays with the last field
  EXPECT_EQ(std::nullopt, fields.next(" "));
  EXPECT_EQ(std::nullopt, fields.next(""));
}

TEST(FieldCursor, OnlySeparatorsLeftGivesNothing) {
  FieldCursor fields(" , ,");
  EXPECT_EQ(std::nullopt, fields.next(" ,"));
  FieldCursor last("a, ");
  EXPECT_EQ("a", last.next(" ,"));
  EXPECT_EQ(3u, FieldCursor("abc").next(",").value().size());
}

TEST(ScanInt, TakesSignAndDigitsWithinThirtyTwoBits) {
  EXPECT_EQ(1234, scan_int("1234\n"));
  EXPECT_EQ(-7, scan_int(" \t-7x"));
  EXPECT_EQ(5, scan_int("+5"));
  EXPECT_EQ(12, scan_int("12.9"));
  EXPECT_EQ(2147483647, scan_int("2147483647"));
  EXPECT_EQ(-2147483647 - 1, scan_int("-2147483648"));
  EXPECT_EQ(1, scan_int("0000000000000000000001"));
  EXPECT_EQ(std::nullopt, scan_int("2147483648"));
  EXPECT_EQ(std::nullopt, scan_int("-2147483649"));
  EXPECT_EQ(std::nullopt, scan_int("99999999999999999999999"));
  EXPECT_EQ(std::nullopt, scan_int("x1"));
  EXPECT_EQ(std::nullopt, scan_int("-"));
  EXPECT_EQ(std::nullopt, scan_int("\n"));
  EXPECT_EQ(std::nullopt, scan_int(""));
}

TEST(ScanFloat, TakesTheLongestNumericPrefixRoundedToThirtyTwoBits) {
  EXPECT_EQ(0.3f, scan_float("0.3\n"));
  EXPECT_EQ(0.3f, scan_float("0.3\r\n"));
  EXPECT_EQ(100.0f, scan_float("100.0"));
  EXPECT_EQ(0.5f, scan_float("  +.5"));
  EXPECT_EQ(1.5f, scan_float("1.5e+x"));
  EXPECT_EQ(1.0f, scan_float("1e"));
  EXPECT_EQ(8.0f, scan_float("0x1p3"));
  EXPECT_EQ(0.0f, scan_float("0x"));
  EXPECT_EQ(5.0f, scan_float("5.,"));
  EXPECT_TRUE(std::isinf(*scan_float("1e50")));
  EXPECT_TRUE(std::isinf(*scan_float("-infinity")));
  EXPECT_TRUE(std::isnan(*scan_float("nan(abc)x")));
  EXPECT_EQ(0.0f, scan_float("1e-50"));
  // Rounded once, from the decimal text straight to 32 bits.
  EXPECT_EQ(1.00000005960464477539f, scan_float("1.00000005960464477539"));
  EXPECT_EQ(std::nullopt, scan_float("mva"));
  EXPECT_EQ(std::nullopt, scan_float("\"tpdo\""));
  EXPECT_EQ(std::nullopt, scan_float("."));
  EXPECT_EQ(std::nullopt, scan_float("\n"));
  EXPECT_EQ(std::nullopt, scan_float(""));
  const std::string long_zeros = "0." + std::string(3000, '0') + "1";
  EXPECT_EQ(0.0f, scan_float(long_zeros));
}

// What the C library's strtof makes of a text, as "%f" reads it: the reference for scan_float.
std::optional<float> with_strtof(const std::string& text) {
  char* end = nullptr;
  const float value = std::strtof(text.c_str(), &end);
  if (end == text.c_str()) return std::nullopt;
  return value;
}

void expect_same_as_strtof(const std::string& text) {
  const auto want = with_strtof(text);
  const auto got = scan_float(text);
  ASSERT_EQ(want.has_value(), got.has_value()) << '"' << text << '"';
  if (want) {
    std::uint32_t a, b;
    std::memcpy(&a, &*want, 4);
    std::memcpy(&b, &*got, 4);
    ASSERT_EQ(a, b) << '"' << text << '"';  // bit for bit: signs of zero and nan included
  }
}

TEST(ScanFloat, SameBitsAsStrtofOnPrintedThirtyTwoBitPatterns) {
  std::mt19937 random(7);
  char text[64];
  for (int i = 0; i < 300000; ++i) {
    const std::uint32_t bits = random();
    float f;
    std::memcpy(&f, &bits, sizeof f);
    const double d = f;
    const char* const formats[] = {"%.9g", "%.6g", "%.17g", "%.4f", "%.12e"};
    std::snprintf(text, sizeof text, formats[i % 5], d);
    expect_same_as_strtof(text);
    // Halfway between two neighbouring 32-bit values: where a double rounding would go wrong.
    const double next = std::nextafter(f, INFINITY);
    std::snprintf(text, sizeof text, "%.20g", (d + next) / 2);
    expect_same_as_strtof(text);
  }
}

TEST(ScanFloat, SameBitsAsStrtofAroundThresholdsAndOnOddTexts) {
  // A grid around every rule threshold and printed precision, with trailing text.
  for (int i = -30000; i <= 30000; ++i) {
    for (const char* suffix : {"", "\n", "\r\n", "x", "e", "e+", ",", "\"", "/"}) {
      expect_same_as_strtof(std::to_string(i / 10000.0).substr(0, 8) + suffix);
      expect_same_as_strtof(std::to_string(i * 0.00001) + suffix);
    }
  }
  std::mt19937 random(11);
  const std::string alphabet = "0123456789.-+eExXpPinfatyINFNAY() \t\n\r";
  for (int i = 0; i < 300000; ++i) {
    std::string text;
    const int length = 1 + static_cast<int>(random() % 30);
    for (int k = 0; k < length; ++k) {
      // Mostly digits, so that many texts are numbers of every length.
      text += random() % 3 ? alphabet[random() % 10] : alphabet[random() % alphabet.size()];
    }
    expect_same_as_strtof(text);
  }
  for (const char* text : {"+1.5", "-0", "-0.0e0", "0x1.8p3", "-0X10", "0x", "infinity", "-inf",
                           "nan", "-nan(0x1)", "1e39", "-1e39", "1e-39", "1e-46", "1e-45",
                           "3.4028235e38", "3.4028236e38", "1.17549435e-38",
                           "0.000000000000000000000000000000000000000000001401298464",
                           "1.000000059604644775390625", "1.0000000596046447753906250001",
                           "00000000000000000000000000000000000000000.5", ".5", "-.5", "5.", "-",
                           "-.", ".e1", "1.e5"}) {
    expect_same_as_strtof(text);
  }
  const std::string many_digits = "1." + std::string(500, '3') + "e-3";
  expect_same_as_strtof(many_digits);
}

}  // namespace
}  // namespace tpjconv
