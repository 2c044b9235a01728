#include <gtest/gtest.h>

#include "app/serial_value.h"

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

}  // namespace
}  // namespace fw
