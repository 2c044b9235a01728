#include <gtest/gtest.h>

#include "app/project/serial_value.h"

namespace fw {
namespace {

TEST(SerialValueTest, SixteenBytesLeastSignificantFirst) {
  std::array<std::uint8_t, 16> bytes{};
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i + 1);
  const SerialValue v = SerialValue::FromBytesLsbFirst(bytes);
  EXPECT_EQ(v.words,
            (std::array<std::uint32_t, 4>{0x04030201, 0x08070605, 0x0C0B0A09, 0x100F0E0D}));
  EXPECT_EQ(v.ToBytesLsbFirst(), bytes);
  EXPECT_EQ(v.ByteAt(0), 1);
  EXPECT_EQ(v.ByteAt(15), 16);
  EXPECT_EQ(v.ByteAt(16), 0);
}

TEST(SerialValueTest, SignedValuesAreExtendedWithTheirSign) {
  EXPECT_EQ(SerialValue::FromSigned64(-1).words,
            (std::array<std::uint32_t, 4>{~0u, ~0u, ~0u, ~0u}));
  EXPECT_EQ(SerialValue::FromSigned64(-2).ByteAt(0), 0xFE);
  EXPECT_EQ(SerialValue::FromSigned64(INT64_MAX).words,
            (std::array<std::uint32_t, 4>{~0u, 0x7FFFFFFF, 0, 0}));
  EXPECT_EQ(SerialValue::FromUnsigned64(~0ull).words,
            (std::array<std::uint32_t, 4>{~0u, ~0u, 0, 0}));
  EXPECT_TRUE(SerialValue{}.IsZero());
  EXPECT_FALSE(SerialValue::FromSigned64(-1).IsZero());
}

TEST(SerialValueTest, ImageReceivesTheLowBytesMostSignificantFirst) {
  const SerialValue v = SerialValue::FromUnsigned64(0x123456789ull);
  EXPECT_EQ(v.LowBytesMsbFirst(3), (std::vector<std::uint8_t>{0x45, 0x67, 0x89}));
  EXPECT_EQ(v.LowBytesMsbFirst(5), (std::vector<std::uint8_t>{0x01, 0x23, 0x45, 0x67, 0x89}));
  EXPECT_EQ(v.LowBytesMsbFirst(0).size(), 0u);
  EXPECT_EQ(v.LowBytesMsbFirst(40).size(), 16u);
}

SerialValue AllOnes() { return SerialValue{{~0u, ~0u, ~0u, ~0u}}; }

TEST(SerialValueTest, TextInBothRadixesWithLeadingZeros) {
  struct Case {
    SerialValue value;
    char radix;
    int min_digits;
    const char* text;
  };
  const Case cases[] = {
      {SerialValue{}, 'd', 1, "0"},
      {SerialValue{}, 'd', 0, ""},
      {SerialValue::FromUnsigned64(255), 'x', 16, "00000000000000ff"},
      {SerialValue::FromUnsigned64(255), 'X', 1, "ff"},
      {SerialValue::FromUnsigned64(1234), 'd', 1, "1234"},
      {SerialValue::FromUnsigned64(1234), 'd', 6, "001234"},
      // Any letter other than x and X is decimal.
      {SerialValue::FromUnsigned64(1234), 'q', 1, "1234"},
      {AllOnes(), 'd', 1, "340282366920938463463374607431768211455"},
      {AllOnes(), 'x', 1, "ffffffffffffffffffffffffffffffff"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SerialToText(c.value, c.radix, c.min_digits), c.text)
        << c.radix << " " << c.min_digits;
  }
  // A minimum beyond what any value needs is held to kMaxTextDigits.
  EXPECT_EQ(SerialToText(SerialValue{}, 'd', 1000), std::string(kMaxTextDigits, '0'));
}

TEST(SerialValueTest, TextIsReadDigitByDigitWithOtherCharactersAsZero) {
  struct Case {
    const char* text;
    char radix;
    SerialValue value;
  };
  const Case cases[] = {
      {"", 'd', SerialValue{}},
      {"1204", 'd', SerialValue::FromUnsigned64(1204)},
      {"12a4", 'd', SerialValue::FromUnsigned64(1204)},
      {" 7", 'd', SerialValue::FromUnsigned64(7)},
      {"-5", 'd', SerialValue::FromUnsigned64(5)},
      {"ff", 'x', SerialValue::FromUnsigned64(255)},
      {"FF", 'X', SerialValue::FromUnsigned64(255)},
      {"1g", 'x', SerialValue::FromUnsigned64(0x10)},
      {"340282366920938463463374607431768211455", 'd', AllOnes()},
      // 2^128 wraps to 0, and one more digit multiplies the wrapped value.
      {"340282366920938463463374607431768211456", 'd', SerialValue{}},
      {"3402823669209384634633746074317682114561", 'd', SerialValue::FromUnsigned64(1)},
  };
  for (const Case& c : cases) EXPECT_EQ(SerialFromText(c.text, c.radix), c.value) << c.text;
}

TEST(SerialValueTest, ArithmeticWrapsAt128Bits) {
  SerialValue v = AllOnes();
  SerialAdd(v, SerialValue::FromUnsigned64(1));
  EXPECT_TRUE(v.IsZero());

  v = SerialValue::FromUnsigned64(0xFFFFFFFFull);
  SerialAdd(v, SerialValue::FromUnsigned64(1));  // the carry crosses a word
  EXPECT_EQ(v.words, (std::array<std::uint32_t, 4>{0, 1, 0, 0}));

  v = AllOnes();
  SerialMulAdd(v, 10, 9);  // (2^128 - 1) * 10 + 9 = 2^128 * 10 - 1
  EXPECT_EQ(v, AllOnes());

  v = SerialValue::FromUnsigned64(1234);
  EXPECT_EQ(SerialDivMod(v, 10), 4u);
  EXPECT_EQ(v, SerialValue::FromUnsigned64(123));
  v = AllOnes();
  EXPECT_EQ(SerialDivMod(v, 16), 15u);
  EXPECT_EQ(v.words, (std::array<std::uint32_t, 4>{~0u, ~0u, ~0u, 0x0FFFFFFF}));
  // Nothing divides by zero.
  v = SerialValue::FromUnsigned64(77);
  EXPECT_EQ(SerialDivMod(v, 0), 0u);
  EXPECT_EQ(v, SerialValue::FromUnsigned64(77));
}

}  // namespace
}  // namespace fw
