#include "text/fields.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
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
  EXPECT_EQ(8, scan_int("\v\f\r\n8"));
  EXPECT_EQ(12, scan_int("+12a"));
  EXPECT_EQ(-1234567890, scan_int("-1234567890:"));
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

// Whether a field is wholly a number: the value as scan_float() reads it, and what is odd about
// it. The boundaries of the 32-bit range and of the exponent are where a slip would show.
TEST(ReadNumberField, WholeOnlyWhenTheNumberIsAllOfTheFieldAndFinite) {
  const auto fit_of = [](std::string_view text) { return read_number_field(text).fit; };
  const auto value_of = [](std::string_view text) { return read_number_field(text).value; };
  constexpr float kMax = std::numeric_limits<float>::max();
  constexpr float kTiny = std::numeric_limits<float>::denorm_min();
  for (const char* text : {"0.3", "-0.5", "+.5", "5.", "-0", "1e-2", "1E+2", "0.0025", "1e38",
                           "1e-38", "3.4028235e38", "-3.4028235e38",
                           "340282346638528859811704183484516925440",
                           "3.4028235677973366e38", "1.401298464e-45", "7.1e-46", "1e-46",
                           "1.00000005960464477539", "123456789012", "0.000000000001"}) {
    EXPECT_EQ(NumberFit::whole, fit_of(text)) << text;
  }
  // The largest 32-bit value, and the halfway point above it where rounding reaches infinity.
  EXPECT_EQ(kMax, value_of("3.4028235e38"));
  EXPECT_EQ(kMax, value_of("3.4028235677973366e38"));
  EXPECT_EQ(NumberFit::not_finite, fit_of("3.40282356779733661637539395458142568448e38"));
  EXPECT_EQ(NumberFit::not_finite, fit_of("3.4028236e38"));
  EXPECT_EQ(NumberFit::not_finite, fit_of("-3.4028236e38"));
  EXPECT_EQ(NumberFit::not_finite, fit_of("1e39"));
  EXPECT_EQ(NumberFit::not_finite, fit_of("1e400"));
  EXPECT_EQ(-std::numeric_limits<float>::infinity(), value_of("-1e39"));
  // The smallest subnormal, and below half of it, which rounds to zero: finite both.
  EXPECT_EQ(kTiny, value_of("1.401298464e-45"));
  EXPECT_EQ(kTiny, value_of("7.1e-46"));
  EXPECT_EQ(0.0f, value_of("1e-46"));
  for (const char* text : {"inf", "-inf", "infinity", "INF", "nan", "NAN", "-nan", "nan(1)"}) {
    EXPECT_EQ(NumberFit::not_finite, fit_of(text)) << text;
  }
  // Text after the number, before it, or a hexadecimal number: the part read is the value.
  const struct {
    std::string text;
    float value;
  } partly[] = {{"7.22abc", 7.22f},
                {"7.x22", 7.0f},
                {std::string("7.\0" "22", 5), 7.0f},
                {"7.\r22", 7.0f},
                {"0x10", 16.0f},
                {"-0x10", -16.0f},
                {"0x1p3", 8.0f},
                {"0x", 0.0f},
                {"1e", 1.0f},
                {"1e+", 1.0f},
                {"1.5e+x", 1.5f},
                {" 5", 5.0f},
                {"\v5", 5.0f},
                {"5 ", 5.0f},
                {"0.3\n", 0.3f},
                {"0.3\r\n", 0.3f},
                {"0.3,", 0.3f},
                {"1.2.3", 1.2f},
                {"-5-", -5.0f},
                {"1234567890123x", 1234567890123.0f}};
  for (const auto& [text, value] : partly) {
    EXPECT_EQ(NumberFit::not_wholly, fit_of(text)) << text;
    EXPECT_EQ(value, value_of(text)) << text;
  }
  // Not finite and not wholly a number: the text after it is what the warning tells.
  EXPECT_EQ(NumberFit::not_wholly, fit_of("1e39x"));
  EXPECT_TRUE(std::isinf(value_of("1e39x")));
  for (const char* text : {"", "abc", ".", "-", "+", "\n", "\r\n", "e5", "x1", "\"1\""}) {
    EXPECT_EQ(NumberFit::none, fit_of(text)) << text;
    EXPECT_EQ(0.0f, value_of(text)) << text;
  }
}

TEST(ScanNumber, WhereTheNumberStandsInItsText) {
  const auto at = [](std::string_view text) {
    const auto n = scan_number(text);
    return n ? std::to_string(n->begin) + "-" + std::to_string(n->end) + (n->hexadecimal ? "x" : "")
             : std::string("none");
  };
  EXPECT_EQ("0-3", at("0.3"));
  EXPECT_EQ("0-3", at("0.3\n"));
  EXPECT_EQ("2-5", at(" \t1e5z"));
  EXPECT_EQ("0-20", at("1.000000059604644775"));
  EXPECT_EQ("0-4x", at("0x10"));
  EXPECT_EQ("1-5x", at(" -0x1p"));  // a "p" without digits is not read
  EXPECT_EQ("0-1", at("0x"));
  EXPECT_EQ("0-8", at("infinity"));
  EXPECT_EQ("0-4", at("+1.5"));
  EXPECT_EQ("none", at("  "));
}

TEST(WithoutLineEnd, EveryLineEndCharacterAtTheEnd) {
  EXPECT_EQ("x", without_line_end("x\r\n"));
  EXPECT_EQ("x", without_line_end("x\r"));
  EXPECT_EQ("x", without_line_end("x\n\r\n"));
  EXPECT_EQ("x\ry", without_line_end("x\ry"));
  EXPECT_EQ("", without_line_end("\r\n"));
  EXPECT_TRUE(is_line_end("\r\n"));
  EXPECT_TRUE(is_line_end(""));
  EXPECT_FALSE(is_line_end("\r\nx"));
}

TEST(WithoutRecordEnd, OnlyTheLineEndOfTheRecordsLastField) {
  EXPECT_EQ("0.3", without_record_end("0.3\n", true));
  EXPECT_EQ("0.3", without_record_end("0.3\r\n", true));
  EXPECT_EQ("0.3\r", without_record_end("0.3\r\r\n", true));
  EXPECT_EQ("0.3\r", without_record_end("0.3\r", true));
  EXPECT_EQ("0.3\n", without_record_end("0.3\n", false));
  EXPECT_EQ("", without_record_end("\r\n", true));
  EXPECT_EQ("", without_record_end("\n", true));
  EXPECT_EQ("", without_record_end("", true));
}

}  // namespace
}  // namespace tpjconv
