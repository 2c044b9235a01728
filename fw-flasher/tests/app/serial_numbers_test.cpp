// Serial numbers of a project: which edit shows which number, the forms the
// chip receives, the values read back from the edits, the advance after a
// successful download and the profile that keeps them.
#include <gtest/gtest.h>

#include "app/profile.h"
#include "app/serial_numbers.h"
#include "tests/app/app_fakes.h"

namespace fw {
namespace {

using test::FakeView;
using test::MemoryProfile;

SerialNumberSettings Enabled(std::uint64_t start, std::uint64_t step, int format, int length = 4,
                             int address = 0x100) {
  SerialNumberSettings s;
  s.enabled = true;
  s.length = length;
  s.start = SerialValue::FromUnsigned64(start);
  s.address = address;
  s.step = SerialValue::FromUnsigned64(step);
  s.format = static_cast<std::uint8_t>(format);
  return s;
}

Project WithSerials(SerialNumberSettings first, SerialNumberSettings second = {}) {
  Project p;
  p.serial_numbers = {first, second};
  return p;
}

std::vector<std::uint8_t> Bytes16(const SerialValue& v) {
  const auto b = v.ToBytesLsbFirst();
  return {b.begin(), b.end()};
}

TEST(SerialNumbersTest, EachEnabledNumberHasItsEdit) {
  const SerialNumberSettings on = Enabled(1, 1, 0);
  struct Case {
    bool first, second;
    std::optional<SerialEdit> edit1, edit2;
  };
  const Case cases[] = {
      {false, false, std::nullopt, std::nullopt},
      {true, false, SerialEdit::kFirst, std::nullopt},
      {true, true, SerialEdit::kFirst, SerialEdit::kSecond},
      // The second number alone takes the first edit.
      {false, true, std::nullopt, SerialEdit::kFirst},
  };
  for (const Case& c : cases) {
    const Project p =
        WithSerials(c.first ? on : SerialNumberSettings{}, c.second ? on : SerialNumberSettings{});
    EXPECT_EQ(SerialEditOf(p, 0), c.edit1) << c.first << c.second;
    EXPECT_EQ(SerialEditOf(p, 1), c.edit2) << c.first << c.second;
  }
  EXPECT_EQ(SerialEditOf(WithSerials(on, on), 2), std::nullopt);
  EXPECT_EQ(SerialEditOf(WithSerials(on, on), -1), std::nullopt);
}

// What reaches the chip for a serial number of length 4 and value 1234.
TEST(SerialNumbersTest, TheThreeFormatsOfValue1234) {
  struct Case {
    int format;
    std::vector<std::uint8_t> serial_link;
    std::vector<std::uint8_t> usb_writer;
  };
  const Case cases[] = {
      {kSerialPlain, {0x00, 0x00, 0x04, 0xD2}, {0x00, 0x00, 0x04, 0xD2}},
      {kSerialBcd, {0x00, 0x00, 0x12, 0x34}, {0x00, 0x00, 0x12, 0x34}},
      {kSerialAsciiHex, {'1', '2', '3', '4'}, {0x00, 0x00, 0x12, 0x34}},
  };
  for (const Case& c : cases) {
    const Project p = WithSerials(Enabled(1234, 1, c.format));
    SerialNumbers serials(p);
    FakeView view;
    MemoryProfile profile;
    serials.Load(profile, view);
    const PreparedSerial prepared = serials.Prepare(view)[0];
    EXPECT_EQ(prepared.value.LowBytesMsbFirst(4), c.usb_writer) << c.format;
    const SerialValue on_serial_link =
        prepared.format == kSerialAsciiHex ? AsciiDigitsForm(prepared.value) : prepared.value;
    EXPECT_EQ(on_serial_link.LowBytesMsbFirst(4), c.serial_link) << c.format;
    EXPECT_TRUE(prepared.enabled);
    EXPECT_EQ(prepared.address, 0x100);
    EXPECT_EQ(prepared.length, 4);
  }
}

TEST(SerialNumbersTest, AsciiFormHoldsSixteenDigitsLeastSignificantFirst) {
  const SerialValue ascii = AsciiDigitsForm(BcdForm(SerialValue::FromUnsigned64(1234)));
  const auto bytes = ascii.ToBytesLsbFirst();
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "4321000000000000");
  // Beyond 16 digits only the 16 lowest count.
  const SerialValue wide = AsciiDigitsForm(SerialValue{{0x89abcdef, 0x01234567, 0xfedcba98, 0}});
  const auto wide_bytes = wide.ToBytesLsbFirst();
  EXPECT_EQ(std::string(wide_bytes.begin(), wide_bytes.end()), "fedcba9876543210");
}

TEST(SerialNumbersTest, BcdValueNineAdvancesToTen) {
  const Project p = WithSerials(Enabled(9, 1, kSerialBcd, 1));
  SerialNumbers serials(p);
  FakeView view;
  MemoryProfile profile;
  serials.Load(profile, view);
  EXPECT_EQ(serials.Prepare(view)[0].value.LowBytesMsbFirst(1), std::vector<std::uint8_t>{0x09});
  serials.Advance(profile, view);
  EXPECT_EQ(view.Edit(SerialEdit::kFirst), "10");
  EXPECT_EQ(serials.Prepare(view)[0].value.LowBytesMsbFirst(1), std::vector<std::uint8_t>{0x10});
  // The value kept is decimal; only the prepared copy is BCD.
  EXPECT_EQ(serials.value(0), SerialValue::FromUnsigned64(10));
}

TEST(SerialNumbersTest, AllBitsSetWrapsToZero) {
  SerialNumberSettings s = Enabled(0, 1, kSerialPlain, 16);
  s.start = SerialValue{{~0u, ~0u, ~0u, ~0u}};
  const Project p = WithSerials(s);
  SerialNumbers serials(p);
  FakeView view;
  MemoryProfile profile;
  serials.Load(profile, view);
  EXPECT_EQ(view.Edit(SerialEdit::kFirst), "340282366920938463463374607431768211455");
  serials.Prepare(view);
  serials.Advance(profile, view);
  EXPECT_EQ(view.Edit(SerialEdit::kFirst), "0");
  EXPECT_EQ(profile.bytes[std::string(profile_keys::kIncValue1)],
            std::vector<std::uint8_t>(16, 0x00));
}

TEST(SerialNumbersTest, TheEditsAreReadBeforeEachDownload) {
  const Project p = WithSerials(Enabled(5, 3, kSerialPlain));
  SerialNumbers serials(p);
  FakeView view;
  MemoryProfile profile;
  serials.Load(profile, view);
  EXPECT_EQ(view.Edit(SerialEdit::kFirst), "5");
  struct Case {
    const char* typed;
    std::uint64_t read;
    const char* after_advance;
  };
  const Case cases[] = {
      {"", 0, "3"},
      {"12a4", 1204, "1207"},
      {"0042", 42, "45"},
  };
  for (const Case& c : cases) {
    view.ShowSerialText(SerialEdit::kFirst, c.typed);
    EXPECT_EQ(serials.Prepare(view)[0].value, SerialValue::FromUnsigned64(c.read)) << c.typed;
    serials.Advance(profile, view);
    EXPECT_EQ(view.Edit(SerialEdit::kFirst), c.after_advance) << c.typed;
  }
}

TEST(SerialNumbersTest, OnlyTheSecondNumberUsesTheFirstEditAndItsOwnKeys) {
  const Project p = WithSerials(SerialNumberSettings{}, Enabled(70, 2, kSerialPlain));
  SerialNumbers serials(p);
  FakeView view;
  MemoryProfile profile;
  serials.Load(profile, view);
  EXPECT_EQ(view.Edit(SerialEdit::kFirst), "70");
  EXPECT_EQ(view.Edit(SerialEdit::kSecond), "");
  const auto prepared = serials.Prepare(view);
  EXPECT_FALSE(prepared[0].enabled);
  EXPECT_TRUE(prepared[1].enabled);
  EXPECT_EQ(prepared[1].value, SerialValue::FromUnsigned64(70));
  serials.Advance(profile, view);
  EXPECT_EQ(view.Edit(SerialEdit::kFirst), "72");
  EXPECT_EQ(profile.ints[std::string(profile_keys::kIncValue2Valid)], 1);
  EXPECT_EQ(profile.bytes[std::string(profile_keys::kIncValue2)],
            Bytes16(SerialValue::FromUnsigned64(72)));
  EXPECT_EQ(profile.ints.count(std::string(profile_keys::kIncValue1Valid)), 0u);
}

TEST(SerialNumbersTest, BothNumbersAdvanceByTheirOwnSteps) {
  const Project p = WithSerials(Enabled(10, 1, kSerialPlain), Enabled(500, 100, kSerialBcd));
  SerialNumbers serials(p);
  FakeView view;
  MemoryProfile profile;
  serials.Load(profile, view);
  const auto prepared = serials.Prepare(view);
  EXPECT_EQ(prepared[1].value, SerialValue::FromUnsigned64(0x500));
  serials.Advance(profile, view);
  EXPECT_EQ(view.Edit(SerialEdit::kFirst), "11");
  EXPECT_EQ(view.Edit(SerialEdit::kSecond), "600");
  EXPECT_EQ(profile.bytes[std::string(profile_keys::kIncValue1)],
            Bytes16(SerialValue::FromUnsigned64(11)));
  EXPECT_EQ(profile.bytes[std::string(profile_keys::kIncValue2)],
            Bytes16(SerialValue::FromUnsigned64(600)));
}

TEST(SerialNumbersTest, AStoredValueCountsWhenValidAndSixteenBytes) {
  struct Case {
    std::optional<int> valid;
    std::optional<std::vector<std::uint8_t>> stored;
    const char* shown;
  };
  const std::vector<std::uint8_t> stored_77 = Bytes16(SerialValue::FromUnsigned64(77));
  const Case cases[] = {
      {1, stored_77, "77"},
      {std::nullopt, stored_77, "5"},
      {0, stored_77, "5"},
      {1, std::vector<std::uint8_t>(15, 0x01), "5"},
      {1, std::vector<std::uint8_t>(17, 0x01), "5"},
      {1, std::nullopt, "5"},
  };
  for (const Case& c : cases) {
    const Project p = WithSerials(Enabled(5, 1, kSerialPlain));
    SerialNumbers serials(p);
    FakeView view;
    MemoryProfile profile;
    if (c.valid) profile.ints[std::string(profile_keys::kIncValue1Valid)] = *c.valid;
    if (c.stored) profile.bytes[std::string(profile_keys::kIncValue1)] = *c.stored;
    serials.Load(profile, view);
    EXPECT_EQ(view.Edit(SerialEdit::kFirst), c.shown);
  }
}

}  // namespace
}  // namespace fw
