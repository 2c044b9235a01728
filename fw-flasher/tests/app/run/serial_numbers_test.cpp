// Serial numbers of a project: which edit shows which number, the forms the
// chip receives, the values read back from the edits, the advance after a
// successful download and the profile that keeps them.
#include <gtest/gtest.h>

#include "app/run/profile.h"
#include "app/run/serial_capacity.h"
#include "app/run/serial_numbers.h"
#include "tests/app/run/app_fakes.h"

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
  serials.Advance(view);
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
  const StoredSerials advanced = serials.Advance(view);
  EXPECT_EQ(view.Edit(SerialEdit::kFirst), "0");
  EXPECT_EQ(CounterChanges(std::nullopt, advanced).bytes[std::string(profile_keys::kIncValue1)],
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
    serials.Advance(view);
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
  ProfileChanges changes = CounterChanges(std::nullopt, serials.Advance(view));
  EXPECT_EQ(view.Edit(SerialEdit::kFirst), "72");
  EXPECT_EQ(changes.ints[std::string(profile_keys::kIncValue2Valid)], 1);
  EXPECT_EQ(changes.bytes[std::string(profile_keys::kIncValue2)],
            Bytes16(SerialValue::FromUnsigned64(72)));
  EXPECT_EQ(changes.ints.count(profile_keys::kIncValue1Valid), 0u);
  EXPECT_EQ(changes.ints.count(profile_keys::kPassCounter), 0u);
}

TEST(SerialNumbersTest, BothNumbersAdvanceByTheirOwnSteps) {
  const Project p = WithSerials(Enabled(10, 1, kSerialPlain), Enabled(500, 100, kSerialBcd));
  SerialNumbers serials(p);
  FakeView view;
  MemoryProfile profile;
  serials.Load(profile, view);
  const auto prepared = serials.Prepare(view);
  EXPECT_EQ(prepared[1].value, SerialValue::FromUnsigned64(0x500));
  ProfileChanges changes = CounterChanges(5, serials.Advance(view));
  EXPECT_EQ(view.Edit(SerialEdit::kFirst), "11");
  EXPECT_EQ(view.Edit(SerialEdit::kSecond), "600");
  EXPECT_EQ(changes.bytes[std::string(profile_keys::kIncValue1)],
            Bytes16(SerialValue::FromUnsigned64(11)));
  EXPECT_EQ(changes.bytes[std::string(profile_keys::kIncValue2)],
            Bytes16(SerialValue::FromUnsigned64(600)));
  EXPECT_EQ(changes.ints[std::string(profile_keys::kPassCounter)], 5);
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

// What another program stored since this one last read or wrote the profile
// replaces an edit the operator has left as it was shown; a typed number wins.
TEST(SerialNumbersTest, AValueAnotherProgramStoredReplacesOnlyAnUntouchedEdit) {
  const auto v = [](std::uint64_t n) { return SerialValue::FromUnsigned64(n); };
  struct Case {
    const char* name;
    StoredSerials at_load;
    const char* typed;  // null: the edit left as shown
    StoredSerials before_download;
    std::uint64_t used;
  };
  const Case cases[] = {
      {"advanced elsewhere", {v(20), {}}, nullptr, {v(23), {}}, 23},
      {"first stored elsewhere", {}, nullptr, {v(40), {}}, 40},
      {"unchanged", {v(20), {}}, nullptr, {v(20), {}}, 20},
      {"typed wins", {v(20), {}}, "100", {v(23), {}}, 100},
      {"typed wins over a first value", {}, "7", {v(40), {}}, 7},
      {"gone from the profile", {v(20), {}}, nullptr, {}, 20},
  };
  for (const Case& c : cases) {
    const Project p = WithSerials(Enabled(5, 1, kSerialPlain));
    SerialNumbers serials(p);
    FakeView view;
    serials.Load(c.at_load, view);
    if (c.typed != nullptr) view.ShowSerialText(SerialEdit::kFirst, c.typed);
    EXPECT_EQ(serials.Prepare(view, c.before_download)[0].value, v(c.used)) << c.name;
    EXPECT_EQ(view.Edit(SerialEdit::kFirst), std::to_string(c.used)) << c.name;
  }
}

// After a download whose values were not stored, the edit's advanced value is
// still the next one: the profile's older value is the one this program knew.
TEST(SerialNumbersTest, AnUnstoredAdvanceIsNotTakenBackByTheProfile) {
  const Project p = WithSerials(Enabled(5, 1, kSerialPlain));
  SerialNumbers serials(p);
  FakeView view;
  const StoredSerials stored = {SerialValue::FromUnsigned64(30), std::nullopt};
  serials.Load(stored, view);
  EXPECT_EQ(serials.Prepare(view, stored)[0].value, SerialValue::FromUnsigned64(30));
  serials.Advance(view);  // the write failed: nothing marked stored
  EXPECT_EQ(serials.Prepare(view, stored)[0].value, SerialValue::FromUnsigned64(31));
  // Once stored, another program's next value is taken again.
  const StoredSerials advanced = serials.Advance(view);
  serials.MarkStored(advanced);
  const StoredSerials elsewhere = {SerialValue::FromUnsigned64(50), std::nullopt};
  EXPECT_EQ(serials.Prepare(view, elsewhere)[0].value, SerialValue::FromUnsigned64(50));
}

// The largest value each length and format carries, by link; a value above it
// would reach the chip as its low bytes only.
TEST(SerialNumbersTest, TheLargestValueEachLengthAndFormatHolds) {
  struct Case {
    int format;
    int length;
    LinkKind link;
    const char* largest;
  };
  const Case cases[] = {
      {kSerialPlain, 1, LinkKind::kSerialPort, "255"},
      {kSerialPlain, 4, LinkKind::kUsbWriter, "4294967295"},
      {kSerialPlain, 16, LinkKind::kSerialPort, "340282366920938463463374607431768211455"},
      {kSerialBcd, 1, LinkKind::kSerialPort, "99"},
      {kSerialBcd, 4, LinkKind::kSerialPort, "99999999"},
      {kSerialBcd, 16, LinkKind::kUsbWriter, "99999999999999999999999999999999"},
      {kSerialAsciiHex, 4, LinkKind::kSerialPort, "9999"},
      {kSerialAsciiHex, 16, LinkKind::kSerialPort, "9999999999999999"},
      // The USB writer sends format 2 as BCD digits.
      {kSerialAsciiHex, 4, LinkKind::kUsbWriter, "99999999"},
  };
  for (const Case& c : cases) {
    const SerialNumberSettings s = Enabled(0, 1, c.format, c.length);
    const std::string name = std::to_string(c.format) + "/" + std::to_string(c.length) + "/" +
                             std::to_string(static_cast<int>(c.link));
    const SerialValue largest = LargestSerialValue(s, c.link);
    EXPECT_EQ(SerialToText(largest, 'd', 1), c.largest) << name;
    EXPECT_TRUE(SerialFits(largest, s, c.link)) << name;
    SerialValue next = largest;
    SerialAdd(next, SerialValue::FromUnsigned64(1));
    // Past 2^128 - 1 the value itself wraps to 0, which fits.
    EXPECT_EQ(SerialFits(next, s, c.link), next.IsZero()) << name;
  }
}

}  // namespace
}  // namespace fw
