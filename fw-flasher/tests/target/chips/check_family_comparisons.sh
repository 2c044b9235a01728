#!/usr/bin/env bash
# Fails when a file of the flasher outside the family traits table decides by a
# family code: a family value next to a comparison, a range or membership test,
# a switch or a case label; a family code read out of a record (FamilyCode)
# other than into a byte or a name that says so, a FamilyOf helper, a family
# code parameter under another name, the flags' family mask, or the family
# field of a traits row or a chips.csv row. Comments and string literals do not
# count. What a family means is looked up with TraitsOf instead.
# Usage: check_family_comparisons.sh FW_FLASHER_DIR
# Prints one line per finding (FILE:LINE: why: code) and exits 1 when any.
set -euo pipefail
root=${1:?folder of fw-flasher}
cd "$root"

# The program's folders; sim/ keeps its own reading, tests/, bench/ and fuzz/
# choose chips by family.
folders=(messages isp target app cli pack)
# The table itself, the record's family field and the chips.csv column.
allowed=(target/chips/family_traits.h target/chips/family_traits.cpp target/chips/chip_table.h
  target/chips/chip_csv.h target/chips/chip_csv.cpp target/chips/chip_table_gen.cpp)

files=()
while IFS= read -r -d '' file; do
  file=${file#./}
  keep=1
  for a in "${allowed[@]}"; do [ "$file" = "$a" ] && keep=
  done
  [ -n "$keep" ] && files+=("$file")
done < <(find "${folders[@]}" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 2>/dev/null |
  sort -z)
[ ${#files[@]} -gt 0 ] || { echo "check_family_comparisons: no sources under $root" >&2; exit 2; }

perl - "${files[@]}" <<'PERL'
my $found = 0;
# Names that carry a family code; the names of the traits table do not.
my $family = qr/\b(?!FamilyTraits\b|family_traits\b|family_flags\b)\w*[Ff]amil(?:y|ies)\w*/;
my $comparison = qr/==|!=|<=|>=|<=>| < | > /;
for my $file (@ARGV) {
  open(my $in, "<", $file) or die "$file: $!";
  my $in_block = 0;
  while (my $line = <$in>) {
    my $code = $line;
    chomp $code;
    if ($in_block) {
      next unless $code =~ s{^.*?\*/}{};
      $in_block = 0;
    }
    $code =~ s/"(?:\\.|[^"\\])*"/""/g;
    $code =~ s/'(?:\\.|[^'\\])*'/''/g;
    $code =~ s{/\*.*?\*/}{}g;
    $in_block = 1 if $code =~ s{/\*.*$}{};
    $code =~ s{//.*$}{};
    my $why;
    if ($code =~ $family) {
      $why = "compares a family" if $code =~ $comparison;
      $why = "tests a family against a range or a list"
        if $code =~ /\bInRange\s*\(|\bfind(?:_if)?\s*\(|\bcount\s*\(/;
      $why = "switches on a family" if $code =~ /\bswitch\s*\(/ || $code =~ /^\s*case\b/;
    }
    $why = "takes a family code under another name"
      if $code =~ /\b\w*Family\w*\s*\(\s*(?:const\s+)?int\s+(?!\w*family)\w+/;
    $why = "uses FamilyOf" if $code =~ /\bFamilyOf\s*\(/;
    # Read into a byte, or into a name that says it holds a family code (whose
    # comparisons the first rule then finds).
    $why = "reads the family code into a name that hides it"
      if $code =~ /\bFamilyCode\s*\(/ && $code !~ /static_cast<std::uint8_t>\(FamilyCode\(/ &&
      $code !~ /\b\w*[Ff]amily\w*\s*=\s*FamilyCode\(/;
    $why = "uses the family mask of the flags word" if $code =~ /\bkFamilyMask\b/;
    $why = "reads the family field of a row" if $code =~ /(?:\.|->)family\b/;
    next unless defined $why;
    $code =~ s/^\s+//;
    print "$file:$.: $why: $code\n";
    $found = 1;
  }
}
exit $found;
PERL
