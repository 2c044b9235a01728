#!/usr/bin/env bash
# The family comparison check against a small tree: every way a family code
# can be compared again is found, by file and line; comments, strings, the
# traits lookups and the table itself pass.
# Usage: family_comparisons_check_test.sh CHECK_SCRIPT
set -uo pipefail
check=${1:?check_family_comparisons.sh}
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree"/{isp/trim,target/chips,target/board,app/run,cli,pack,messages,sim,tests}

cat >"$tree/isp/steps.cpp" <<'EOF'
// Families 25 and 28 (family == 25) are told here in a comment only.
#include "target/chips/family_traits.h"
const char* kText = "family >= 45";
bool Newer(const ChipRecord& chip) { return TraitsOf(chip).Has(family_flags::kTopReserve); }
bool Classic(int v) { return TraitsOf(chip).SequenceFor(v) == DownloadSequence::kClassic; }
void Header(std::uint8_t* h) { h[51] = static_cast<std::uint8_t>(FamilyCode(chip)); }
void Inputs(TrimInputs& in) { in.family_code = FamilyCode(ChipOf(link)); }
/* family < 45 inside a block comment
   and family == 70 on its next line */
bool Compared(int family) { return family >= 45; }
bool Ranged(int family_code) { return InRange(family_code, 1, 24); }
int Read(const ChipRecord& chip) { return FamilyCode(chip); }
const int f = FamilyCode(ChipOf(link));
int Helper(const IspLink& link) { return FamilyOf(link); }
bool Masked(std::uint32_t flags) { return (flags & chip_flags::kFamilyMask) == 0xC800; }
EOF
cat >"$tree/isp/trim/procedure.cpp" <<'EOF'
bool Doubles() { return in_.family_code < kFirstDoublingFamily; }
bool Listed() { return std::find(kFamilies.begin(), kFamilies.end(), family_code) != end; }
EOF
cat >"$tree/target/chips/report.cpp" <<'EOF'
void Lines() {
  switch (family_) {
    case 11:
      break;
  }
}
DecodingGroup GroupOfFamily(int f) { return TraitsOf(f).group; }
int Code() { return TraitsOf(chip).family; }
EOF
cat >"$tree/app/run/flow.cpp" <<'EOF'
const bool older = traits.status_layout == StatusLayout::kClockAt8;
const bool below = chip_family > kFamilyWithOscillatorRecord;
EOF
# The table, the record's field and the csv column may name family codes.
cat >"$tree/target/chips/family_traits.cpp" <<'EOF'
int F(int family_code) { return family_code < 0 ? 0 : family_code; }
EOF
cat >"$tree/target/chips/chip_table.h" <<'EOF'
constexpr int FamilyCode(const ChipRecord& r) { return FlagsField(r, chip_flags::kFamilyMask); }
EOF
cat >"$tree/target/chips/chip_csv.cpp" <<'EOF'
f.family = static_cast<std::uint32_t>(v[kFamily]);
EOF
# Simulator and tests choose chips by family: not checked.
cat >"$tree/sim/chip.cpp" <<'EOF'
bool Early(int family) { return family == 25; }
EOF
cat >"$tree/tests/finder.h" <<'EOF'
bool Of(const ChipRecord& r, int family) { return FamilyCode(r) == family; }
EOF

expected=$(
  cat <<'EOF'
app/run/flow.cpp:2: compares a family
isp/steps.cpp:10: compares a family
isp/steps.cpp:11: tests a family against a range or a list
isp/steps.cpp:12: reads the family code into a name that hides it
isp/steps.cpp:13: reads the family code into a name that hides it
isp/steps.cpp:14: uses FamilyOf
isp/steps.cpp:15: uses the family mask of the flags word
isp/trim/procedure.cpp:1: compares a family
isp/trim/procedure.cpp:2: tests a family against a range or a list
target/chips/report.cpp:2: switches on a family
target/chips/report.cpp:7: takes a family code under another name
target/chips/report.cpp:8: reads the family field of a row
EOF
)

output=$(bash "$check" "$tree")
status=$?
failures=0
if [ "$status" -ne 1 ]; then
  echo "FAIL: the check exited $status on a tree with comparisons, not 1" >&2
  failures=1
fi
got=$(printf '%s\n' "$output" | cut -d: -f1-3 | LC_ALL=C sort)
expected=$(echo "$expected" | LC_ALL=C sort)
if [ "$got" != "$expected" ]; then
  echo "FAIL: findings differ" >&2
  diff <(echo "$expected") <(echo "$got") >&2
  echo "--- output:" >&2
  echo "$output" >&2
  failures=1
fi

# With the offending files gone, the same tree passes.
rm "$tree/isp/steps.cpp" "$tree/isp/trim/procedure.cpp" "$tree/target/chips/report.cpp" \
  "$tree/app/run/flow.cpp"
echo 'bool Early(const ChipRecord& c) { return TraitsOf(c).Has(family_flags::kTopReserve); }' \
  >"$tree/isp/clean.cpp"
if ! output=$(bash "$check" "$tree"); then
  echo "FAIL: a tree without comparisons is refused:" >&2
  echo "$output" >&2
  failures=1
fi


exit "$failures"
