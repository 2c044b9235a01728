// The serial numbers a project gives every chip: shown in the serial-number
// edits, read from them before each download, prepared in the form the chip
// receives, advanced by their steps after a successful download and kept in
// the profile. A value that another program stored replaces an edit the
// operator has not touched since it was last shown.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "app/project/project.h"
#include "app/project/serial_value.h"
#include "app/run/download_view.h"
#include "app/run/profile_counters.h"

namespace fw {

class Profile;

// The serial-number formats of the project.
enum SerialFormat : int { kSerialPlain = 0, kSerialBcd = 1, kSerialAsciiHex = 2 };

// One serial number as a download places it into the image.
struct PreparedSerial {
  bool enabled = false;
  int address = 0;
  int length = 0;
  // Plain: the value; BCD and ASCII: its decimal digits as hexadecimal digits.
  SerialValue value;
  int format = kSerialPlain;
  SerialValue step;
};

// The edit that shows serial number n (0 or 1): the first edit for number 1,
// and for number 2 when it is the only one; none when n is not enabled.
std::optional<SerialEdit> SerialEditOf(const Project& project, int n);

// 1234 becomes 0x1234: the decimal digits read as hexadecimal digits.
SerialValue BcdForm(const SerialValue& value);

// The serial link's form of format 2: the value's 16 lowest hexadecimal digits
// as ASCII characters, the least significant digit's character in byte 0, so
// that the low bytes written most significant first read in digit order.
SerialValue AsciiDigitsForm(const SerialValue& value);

class SerialNumbers {
 public:
  static constexpr int kCount = 2;

  explicit SerialNumbers(const Project& project);

  // The stored values replace the project's start values (a stored value
  // counts only when its valid flag is set and it holds exactly 16 bytes);
  // every enabled value is shown in its edit.
  void Load(const StoredSerials& stored, DownloadView& view);
  void Load(Profile& profile, DownloadView& view) { Load(ReadStoredSerials(profile), view); }

  // Before a download: each enabled value is read back from its edit (a
  // character that is no decimal digit counts as 0, an empty edit as 0), and
  // both numbers are returned in the form the chip receives (BCD for formats
  // 1 and 2; the serial link turns format 2 into ASCII digits itself).
  std::array<PreparedSerial, kCount> Prepare(DownloadView& view);
  // The same with the values stored now, read under the profile's lock: a
  // stored value that differs from the one this program last read or wrote
  // was stored by another program, and it replaces an edit whose text is still
  // the one shown last (the operator's typed number wins).
  std::array<PreparedSerial, kCount> Prepare(DownloadView& view, const StoredSerials& stored);

  // After a successful download: every enabled value advances by its step and
  // is shown. The value advanced is the one Prepare read. Returns the values
  // to store (the enabled ones).
  StoredSerials Advance(DownloadView& view);
  // The values are in the profile now (Advance's, once written).
  void MarkStored(const StoredSerials& stored);

  const SerialValue& value(int n) const { return values_[static_cast<std::size_t>(n)]; }

 private:
  void Show(DownloadView& view, SerialEdit edit, int n);

  const Project& project_;
  std::array<SerialValue, kCount> values_{};
  // What each edit was last given to show, and the value last read from or
  // written to the profile.
  std::array<std::string, kCount> shown_{};
  StoredSerials known_stored_{};
};

}  // namespace fw
