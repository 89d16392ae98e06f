#include "findings/text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

#include <gtest/gtest.h>

namespace tpjconv {
namespace {

std::string utf8(std::string_view bytes) {
  std::string out = "[";
  append_utf8(out, bytes);
  return out + "]";
}

TEST(Utf8, KeepsValidSequencesAndReadsEveryOtherByteAsLatin1) {
  // ASCII, control bytes and NUL among them, and valid sequences of two, three and four bytes.
  EXPECT_EQ(std::string("[a\x01\x1f\x7f", 5) + std::string(1, '\0') + "]",
            utf8(std::string_view("a\x01\x1f\x7f\0", 5)));
  EXPECT_EQ("[\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9D\x84\x9E \xE2\x80\xA8]",
            utf8("\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9D\x84\x9E \xE2\x80\xA8"));
  // Latin-1: É (C9) before an ASCII byte is no sequence; so is a lone continuation byte.
  EXPECT_EQ("[\xC3\x89" "CLAIR \xC2\x80 \xC3\xBF]", utf8("\xC9" "CLAIR \x80 \xFF"));
  // Overlong forms, a surrogate, a code point above U+10FFFF and a sequence cut short are not
  // valid UTF-8: each of their bytes is a Latin-1 character.
  EXPECT_EQ("[\xC3\x80\xC2\x80]", utf8("\xC0\x80"));
  EXPECT_EQ("[\xC3\xA0\xC2\x80\xC2\x80]", utf8("\xE0\x80\x80"));
  EXPECT_EQ("[\xC3\xAD\xC2\xA0\xC2\x80]", utf8("\xED\xA0\x80"));
  EXPECT_EQ("[\xC3\xB0\xC2\x80\xC2\x80\xC2\x80]", utf8("\xF0\x80\x80\x80"));
  EXPECT_EQ("[\xC3\xB4\xC2\x90\xC2\x80\xC2\x80]", utf8("\xF4\x90\x80\x80"));
  EXPECT_EQ("[\xC3\xB5\xC2\x80]", utf8("\xF5\x80"));
  // A four-byte lead whose second or third byte after it is no continuation byte.
  EXPECT_EQ("[\xC3\xB0\xC2\x90" "A\xC2\x80]", utf8("\xF0\x90" "A\x80"));
  EXPECT_EQ("[\xC3\xB0\xC2\x90\xC2\x80" "A]", utf8("\xF0\x90\x80" "A"));
  EXPECT_EQ("[x\xC3\xA2\xC2\x82]", utf8("x\xE2\x82"));
  EXPECT_EQ("[\xC3\xA2\xC2\x82y]", utf8("\xE2\x82y"));
  // The sequences at the edges of what is valid stay as they are.
  const std::string edges =
      "\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xF0\x90\x80\x80\xF4\x8F\xBF\xBF";
  EXPECT_EQ("[" + edges + "]", utf8(edges));
  EXPECT_EQ("[]", utf8(""));
}

TEST(Text, SameBytesAtEveryLengthAndPlace) {
  for (std::size_t size = 0; size <= 24; ++size) {
    const std::string text(size, 'a');
    EXPECT_TRUE(same_bytes(text, std::string(size, 'a')));
    EXPECT_FALSE(same_bytes(text, std::string(size + 1, 'a')));
    for (std::size_t at = 0; at < size; ++at) {
      std::string other = text;
      other[at] = 'b';
      EXPECT_FALSE(same_bytes(text, other)) << size << " " << at;
    }
  }
}

TEST(Text, ATextBufferGrowsKeepingItsTextAndKeepsItsRoomWhenCleared) {
  TextBuffer buffer;
  EXPECT_EQ("", buffer.view());
  buffer.append("");
  std::string expected;
  for (int i = 0; i < 2000; ++i) {
    // Numbers written in the room, texts appended and single characters, across growths.
    buffer.commit(write_integer(buffer.room(kNumberRoom), i));
    buffer.put(',');
    buffer.append("ab");
    expected += std::to_string(i);
    expected += ",ab";
  }
  EXPECT_EQ(expected, buffer.view());
  EXPECT_EQ(expected.size(), buffer.size());
  const std::size_t capacity = buffer.capacity();
  EXPECT_GE(capacity, expected.size());
  buffer.clear();
  EXPECT_EQ("", buffer.view());
  buffer.commit(write_float(buffer.room(kNumberRoom), 0.025f));
  EXPECT_EQ("0.025", buffer.view());
  EXPECT_EQ(capacity, buffer.capacity());
}

TEST(Text, TrimsBlanksAroundOnly) {
  EXPECT_EQ("a  b", trim_blanks("  a  b  "));
  EXPECT_EQ("1", trim_blanks(" 1"));
  EXPECT_EQ("", trim_blanks("    "));
  EXPECT_EQ("", trim_blanks(""));
  EXPECT_EQ("\tx\t", trim_blanks(" \tx\t "));
}

std::string shortest(float value) {
  std::string out;
  append_float(out, value);
  return out;
}

TEST(Text, FloatsInTheShortestFormOfTheir32BitValue) {
  EXPECT_EQ("0.3", shortest(0.3f));
  EXPECT_EQ("0.025", shortest(0.025f));
  EXPECT_EQ("0.74", shortest(static_cast<float>(0.4 * static_cast<double>(1.85f))));
  EXPECT_EQ("0.228", shortest(static_cast<float>(0.95 * static_cast<double>(0.24f))));
  EXPECT_EQ("18", shortest(18.0f));
  EXPECT_EQ("-2", shortest(-2.0f));
  EXPECT_EQ("-0", shortest(-0.0f));
  EXPECT_EQ("1e-05", shortest(1e-5f));
  EXPECT_EQ("16777216", shortest(16777217.0f));
  EXPECT_EQ("3.4028235e+38", shortest(std::numeric_limits<float>::max()));
  EXPECT_EQ("1e-45", shortest(std::numeric_limits<float>::denorm_min()));
  EXPECT_EQ("inf", shortest(std::numeric_limits<float>::infinity()));
  EXPECT_EQ("-inf", shortest(-std::numeric_limits<float>::infinity()));
  EXPECT_EQ("nan", shortest(std::numeric_limits<float>::quiet_NaN()));
  EXPECT_EQ("nan", shortest(-std::numeric_limits<float>::quiet_NaN()));
}

TEST(Text, EveryFloatReadsBackWithTheSameBits) {
  std::mt19937 random(19);
  for (int i = 0; i < 200000; ++i) {
    const std::uint32_t bits = random();
    float value;
    std::memcpy(&value, &bits, sizeof value);
    if (value != value) continue;
    const std::string text = shortest(value);
    const float back = std::strtof(text.c_str(), nullptr);
    std::uint32_t back_bits;
    std::memcpy(&back_bits, &back, sizeof back);
    ASSERT_EQ(bits, back_bits) << text;
  }
}

// Most values of a data file have a few decimals and take a quicker way than std::to_chars;
// what comes out is the same text.
TEST(Text, FloatsWithFewDecimalsAsStdToCharsWritesThem) {
  const auto to_chars = [](float value) {
    std::string out(32, ' ');
    out.resize(static_cast<std::size_t>(
        std::to_chars(out.data(), out.data() + out.size(), value).ptr - out.data()));
    return out;
  };
  // Two decimals as close: 16384.0625 lies between 16384.062 and 16384.063, and 0.03125
  // between 0.0312 and 0.0313.
  EXPECT_EQ("16384.062", shortest(16384.0625f));
  EXPECT_EQ("0.03125", shortest(0.03125f));
  EXPECT_EQ("1024.0001", shortest(1024.0001f));
  EXPECT_EQ("99999.99", shortest(99999.99f));
  EXPECT_EQ("0.001", shortest(0.001f));
  EXPECT_EQ("1e-04", shortest(0.0001f));
  std::mt19937 random(20);
  for (int i = 0; i < 300000; ++i) {
    // Decimals of up to four places, and values of any bits, across the sizes of the quick way.
    const long whole = static_cast<long>(random() % 1000000000u);
    const float grid = static_cast<float>(whole / std::pow(10.0, random() % 9));
    const std::uint32_t bits = 0x3A800000u + random() % (0x47C35000u - 0x3A800000u);
    float any;
    std::memcpy(&any, &bits, sizeof any);
    for (const float value : {grid, -grid, any, -any}) {
      ASSERT_EQ(to_chars(value), shortest(value)) << value;
    }
  }
}

// The quick way's edges: the floats around 0.001 and 100000, and around each power of two
// between, where the float below is half as far as the float above.
TEST(Text, FloatsAtTheEdgesOfTheQuickWayAsStdToCharsWritesThem) {
  const auto to_chars = [](float value) {
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
  };
  std::vector<std::uint32_t> centres = {0x3A83126Fu, 0x47C35000u};  // 0.001f, 100000.0f
  for (std::uint32_t exponent = 117; exponent <= 144; ++exponent) centres.push_back(exponent << 23);
  for (const std::uint32_t centre : centres) {
    for (std::uint32_t bits = centre - 300; bits < centre + 300; ++bits) {
      float value;
      std::memcpy(&value, &bits, sizeof value);
      ASSERT_EQ(to_chars(value), shortest(value)) << bits;
      ASSERT_EQ(to_chars(-value), shortest(-value)) << bits;
    }
  }
}

TEST(Text, IntegersAndThreeDigitCodes) {
  for (const long long value :
       {0LL, 7LL, 9LL, 10LL, 99LL, 100LL, 65535LL, 999999999LL, 1000000000LL, 4294967295LL,
        4294967296LL, -1LL, -4294967296LL, 9223372036854775807LL, -9223372036854775807LL - 1}) {
    std::string digits = "x";
    append_integer(digits, value);
    std::string expected = "x";
    expected += std::to_string(value);
    EXPECT_EQ(expected, digits);
  }
  std::string out;
  append_integer(out, -12);
  out += ' ';
  append_integer(out, 3000000000LL);
  for (const int code : {0, 9, 42, 113, 1000}) {
    out += ' ';
    append_code(out, code);
  }
  EXPECT_EQ("-12 3000000000 000 009 042 113 1000", out);
}

}  // namespace
}  // namespace tpjconv
