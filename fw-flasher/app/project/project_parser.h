// Reads the project data's record container (unscrambled) into a Project.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "app/project/project.h"

namespace fw {

struct ProjectParseResult {
  std::optional<Project> project;
  std::string refusal;  // why the data was refused (message 4001), when it was
};

// Checks the magic and reads the records until they end. Refuses project data
// whose reading stopped inside a record (a bad sum, a record that runs past the
// end of the data, a payload too short for its layout) and one without its
// firmware (no code block, or an empty one): either would download a chip with
// less than the project's firmware. Then refuses values that would later index
// outside a buffer and cuts those that are cut rather than refused.
ProjectParseResult ParseProjectContainer(std::span<const std::uint8_t> container);

// Why the reading of the records stopped.
enum class RecordsEnd {
  kEndOfData,          // the data ended where a record would begin
  kEndRecord,          // a record of type 0
  kForeignTag,         // a byte other than the record tag where a record begins
  kVersionWithoutIsp,  // a type-1 record that does not begin with "ISP."
  kBadSum,             // a record whose 8-bit sum is not 0
  kPastTheEnd,         // a record header or payload that runs past the end of the data
  kShortPayload,       // a payload too short for its record's layout
};

struct RecordsRead {
  std::size_t offset = 0;  // where the record that ended the reading begins
  RecordsEnd end = RecordsEnd::kEndOfData;
};

// True for the ends that leave a record half read: the data is damaged there.
bool EndsInsideARecord(RecordsEnd end);

// Reads the records that follow the magic into `project`; the stop rules only,
// no checks of the values.
RecordsRead ReadProjectRecords(std::span<const std::uint8_t> container, Project& project);

// Why the reading ended, with the offset, for the refusal of damaged data.
std::string DescribeRecordsEnd(std::span<const std::uint8_t> container, const RecordsRead& read);

// Index of the first chip table record whose id or alternate id is `chip_id`
// and whose sub-model is `sub_model`; 0 (the placeholder) when none is.
int ChipIndexForIdentity(int chip_id, int sub_model);

}  // namespace fw
