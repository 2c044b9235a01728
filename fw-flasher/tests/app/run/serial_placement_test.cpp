// The serial numbers and the user-interface reply on their way into the image:
// the worker prepares them, the serial flow turns format 2 into ASCII digits,
// and the code image receives them at their addresses (inside the image on
// older boot loaders, as extra data records from firmware 7.2 on).
#include <gtest/gtest.h>

#include "app/run/download_request_builder.h"
#include "app/run/serial_flow.h"
#include "isp/link/isp_link.h"
#include "target/chips/code_image.h"
#include "tests/app/run/app_fakes.h"

namespace fw {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr int kAddress = 0x100;

// Value 1234, length 4, at 0x100 in the format; a user-interface reply of
// three bytes at 0x200.
IspLink& Prepared(IspLink& link, int format) {
  Project project;
  project.code_block.assign(1024, 0x11);
  SerialNumberSettings s;
  s.enabled = true;
  s.length = 4;
  s.address = kAddress;
  s.start = SerialValue::FromUnsigned64(1234);
  s.format = static_cast<std::uint8_t>(format);
  project.serial_numbers[0] = s;
  project.user_interface_command.line.enabled = true;
  project.user_interface_command.reply_length = 3;
  project.user_interface_command.reply_address = 0x200;

  SerialNumbers serials(project);
  test::FakeView view;
  test::MemoryProfile profile;
  serials.Load(profile, view);
  DownloadRequest request = BuildDownloadRequest(project, RunChoices{});
  PlaceSerialNumbers(serials.Prepare(view), request);
  link.Reinitialise(std::move(request));
  ConvertAsciiSerialNumbers(link);
  const Bytes reply = {0xA1, 0xB2, 0xC3};
  std::copy(reply.begin(), reply.end(), link.placements.user_interface.reply.begin());
  return link;
}

TEST(SerialPlacementTest, EachFormatInsideTheImage) {
  struct Case {
    int format;
    Bytes at_address;
  };
  const Case cases[] = {
      {kSerialPlain, {0x00, 0x00, 0x04, 0xD2}},
      {kSerialBcd, {0x00, 0x00, 0x12, 0x34}},
      {kSerialAsciiHex, {'1', '2', '3', '4'}},
  };
  for (const Case& c : cases) {
    IspLink link;
    Prepared(link, c.format);
    link.target.fw_version = 0x71;  // before 7.2: placed inside the image
    BuildCodeImage(link, true);
    const auto& image = link.image.code_image;
    EXPECT_EQ(Bytes(image.begin() + kAddress, image.begin() + kAddress + 4), c.at_address)
        << c.format;
    EXPECT_EQ(image[kAddress - 1], 0x11);
    EXPECT_EQ(image[kAddress + 4], 0x11);
    EXPECT_EQ(Bytes(image.begin() + 0x200, image.begin() + 0x203), (Bytes{0xA1, 0xB2, 0xC3}));
  }
}

TEST(SerialPlacementTest, FromFirmware72AsExtraDataRecords) {
  IspLink link;
  Prepared(link, kSerialAsciiHex);
  link.target.fw_version = 0x72;
  BuildCodeImage(link, true);
  const auto& records = link.image.extra_records;
  EXPECT_EQ(Bytes(records.begin(), records.begin() + 8),
            (Bytes{0x5A, 0x00, 0x01, 0x04, '1', '2', '3', '4'}));
  EXPECT_EQ(Bytes(records.begin() + 8, records.begin() + 15),
            (Bytes{0x5A, 0x00, 0x02, 0x03, 0xA1, 0xB2, 0xC3}));
  // The area itself holds 0xFF: the worker blanked it in the image source.
  EXPECT_EQ(link.image.code_image[kAddress], 0xFF);
}

}  // namespace
}  // namespace fw
