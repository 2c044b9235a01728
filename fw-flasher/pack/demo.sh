#!/usr/bin/env bash
# Packs the demo project into a flasher, shows what the flasher carries, and
# packs the shown project again to the same block.
# Usage: demo.sh FW_PACK_DIR [FW_FLASH] (the directory holding fw-pack, or the
# build directory itself; the flasher program to copy, by default fw-flash).
set -euo pipefail
pack_dir=${1:?usage: demo.sh FW_PACK_DIR [FW_FLASH]}
fw_pack=$pack_dir/fw-pack
[ -x "$fw_pack" ] || fw_pack=$pack_dir/fw-flasher/pack/fw-pack
template=${2:-}
if [ -z "$template" ]; then
  template=$(dirname "$fw_pack")/../cli/fw-flash
fi
demo=$(cd "$(dirname "$0")/demo" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

show() { printf '$'; printf ' %q' "$@"; printf '\n'; "$@"; }

echo "== fw-pack: the demo project into a flasher made from fw-flash"
show "$fw_pack" "$demo/demo-project.json" -o "$work/relay-flasher" --template "$template" \
  --block "$work/relay-project.blk"
ls -l "$work/relay-flasher" | awk '{print $1, $5, $NF}'

echo "== fw-pack --show: what the flasher carries (passwords masked)"
echo "\$ fw-pack --show $work/relay-flasher"
"$fw_pack" --show "$work/relay-flasher" >"$work/shown.json"
cat "$work/shown.json"

echo "== fw-pack of the shown project gives the same block (login password typed: demo)"
echo demo | "$fw_pack" "$work/shown.json" --block "$work/again.blk"
cmp "$work/relay-project.blk" "$work/again.blk"
echo "same $(stat -c %s "$work/again.blk") bytes"
echo "== done"
