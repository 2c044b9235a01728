#!/usr/bin/env bash
# scripts/check-layers on small planted trees: a clean one passes, each bad
# include fails and is named. Usage: check_layers_test.sh [CHECK_LAYERS]
set -uo pipefail
checker=${1:-"$(dirname "$0")/../check-layers"}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# A tree whose includes all point down or sideways, with Qt only in app/.
plant_clean_tree() {
  rm -rf "$work/repo"
  local r=$work/repo
  mkdir -p "$r"/relay-editor/{model,version,device,app,cli,tests/model} \
    "$r"/fw-flasher/{messages,version,isp/link,target,isp,app,cli,sim,tests/isp}
  echo '#pragma once' >"$r/relay-editor/model/Instruction.h"
  printf '#include "model/Instruction.h"\n' >"$r/relay-editor/device/Frames.h"
  printf '#include "device/Frames.h"\n#include "Local.h"\n#include <QWidget>\n' >"$r/relay-editor/app/Unit1.cpp"
  echo '#pragma once' >"$r/relay-editor/app/Local.h"
  printf '#include "device/Frames.h"\n#include "version/Version.h"\n#include <queue>\n' >"$r/relay-editor/cli/main.cpp"
  echo '#pragma once' >"$r/relay-editor/version/Version.h"
  printf '#include "app/Local.h"\n#include <QTest>\n' >"$r/relay-editor/tests/model/T.cpp"
  echo '#pragma once' >"$r/fw-flasher/messages/message_table.h"
  printf '#include "messages/message_table.h"\n' >"$r/fw-flasher/isp/link/isp_link.h"
  printf '#include "isp/link/isp_link.h"\n' >"$r/fw-flasher/target/chip_table.h"
  printf '#include "target/chip_table.h"\n#include "isp/link/isp_link.h"\n' >"$r/fw-flasher/isp/handshake.h"
  printf '#include "isp/handshake.h"\n#include <QSettings>\n' >"$r/fw-flasher/app/profile.cpp"
  printf '#include "isp/handshake.h"\n#include "app/profile.h"\n#include "version/version.h"\n' >"$r/fw-flasher/cli/main.cpp"
  echo '#pragma once' >"$r/fw-flasher/version/version.h"
  echo '#pragma once' >"$r/fw-flasher/app/profile.h"
  echo '#pragma once' >"$r/fw-flasher/isp/link/usb_writer_device.h"
  printf '#include "isp/link/usb_writer_device.h"\n' >"$r/fw-flasher/target/usb_writer_transport.h"
  printf '#include "sim/sim.h"\n#include "version/version.h"\n#include "target/usb_writer_transport.h"\n#include "isp/link/usb_writer_device.h"\n#include <vector>\n' >"$r/fw-flasher/sim/sim.cpp"
  printf '#include "sim/sim.h"\n#include "isp/handshake.h"\n' >"$r/fw-flasher/tests/isp/t.cpp"
  echo '#pragma once' >"$r/fw-flasher/sim/sim.h"
}

plant_clean_tree
out=$("$checker" "$work/repo" 2>&1) || fail "clean tree refused: $out"

# Each case: file to add (inside the repository), its line, what the message names.
cases=(
  'fw-flasher/target/report.cpp|#include "isp/handshake.h"|fw-flasher/target/report.cpp:1'
  'fw-flasher/isp/link/framing.cpp|#include "target/chip_table.h"|target/'
  'fw-flasher/messages/texts.cpp|#include "isp/link/isp_link.h"|is below isp/link/'
  'fw-flasher/isp/link/port.cpp|#include <QSerialPort>|includes Qt'
  'fw-flasher/target/board.cpp|#include "chip_table.h"|write it from fw-flasher/'
  'fw-flasher/cli/detect.cpp|#include "sim/sim.h"|may not reach sim/'
  'relay-editor/model/ProgramList.cpp|#include "device/Frames.h"|model/ is below device/'
  'relay-editor/version/Version.cpp|#include "device/Frames.h"|version/ is below device/'
  'fw-flasher/version/version.cpp|#include "isp/link/isp_link.h"|version/ is below isp/link/'
  'relay-editor/device/SPComm.cpp|  #  include <QObject>|includes Qt'
  'fw-flasher/sim/chips.cpp|#include "target/chip_table.h"|sim/ includes only sim/, version/ and the USB writer'"'"'s transport interface'
  'fw-flasher/sim/link.cpp|#include "isp/link/isp_link.h"|fw-flasher/sim/link.cpp:1 includes "isp/link/isp_link.h"'
  'fw-flasher/sim/steps.h|#include "isp/handshake.h"|sim/ includes only'
  'fw-flasher/sim/up.cpp|#include "../target/chip_table.h"|write it from fw-flasher/'
)
for c in "${cases[@]}"; do
  IFS='|' read -r file line named <<<"$c"
  plant_clean_tree
  printf '%s\n' "$line" >"$work/repo/$file"
  if out=$("$checker" "$work/repo" 2>&1); then
    fail "$file with $line passed"
  elif ! grep -qF -- "$named" <<<"$out"; then
    fail "$file with $line: message does not name \"$named\": $out"
  fi
done

if [ "$failures" -eq 0 ]; then echo "check-layers: all checks passed"; fi
exit "$failures"
