#include "records/fields.h"

#include <cmath>
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

}  // namespace
}  // namespace tpjconv
