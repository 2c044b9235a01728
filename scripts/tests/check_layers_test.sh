#!/usr/bin/env bash
# scripts/check-layers on small planted trees: a clean one passes, each bad
# include fails and is named. Usage: check_layers_test.sh [CHECK_LAYERS]
set -uo pipefail
checker=${1:-"$(dirname "$0")/../check-layers"}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# A tree whose includes all point down or sideways, with Qt only on the top
# floors and QtCore's QSettings in fw-flasher's app/run/.
plant_clean_tree() {
  rm -rf "$work/repo"
  local r=$work/repo
  mkdir -p "$r"/relay-editor/{model,version,device,app,cli,tests/model} \
    "$r"/fw-flasher/{messages,version,isp/link,isp/trim,target/chips,target/board,target/usb_writer,isp,app/project,app/run,app/gui,cli,sim,tests/isp}
  echo '#pragma once' >"$r/relay-editor/model/Instruction.h"
  printf '#include "model/Instruction.h"\n' >"$r/relay-editor/device/Frames.h"
  printf '#include "device/Frames.h"\n#include "Local.h"\n#include <QWidget>\n' >"$r/relay-editor/app/Unit1.cpp"
  echo '#pragma once' >"$r/relay-editor/app/Local.h"
  printf '#include "device/Frames.h"\n#include "version/Version.h"\n#include <queue>\n' >"$r/relay-editor/cli/main.cpp"
  echo '#pragma once' >"$r/relay-editor/version/Version.h"
  printf '#include "app/Local.h"\n#include <QTest>\n' >"$r/relay-editor/tests/model/T.cpp"
  echo '#pragma once' >"$r/fw-flasher/messages/message_table.h"
  printf '#include "messages/message_table.h"\n' >"$r/fw-flasher/isp/link/isp_link.h"
  printf '#include "isp/link/isp_link.h"\n' >"$r/fw-flasher/target/chips/chip_table.h"
  printf '#include "target/chips/chip_table.h"\n' >"$r/fw-flasher/target/board/download_board.h"
  echo '#pragma once' >"$r/fw-flasher/isp/trim/trim_arithmetic.h"
  printf '#include "target/chips/chip_table.h"\n#include "target/board/download_board.h"\n#include "isp/trim/trim_arithmetic.h"\n#include "isp/link/isp_link.h"\n' >"$r/fw-flasher/isp/handshake.h"
  printf '#include "target/chips/chip_table.h"\n' >"$r/fw-flasher/app/project/project.h"
  printf '#include "isp/handshake.h"\n#include "app/project/project.h"\n#include <QSettings>\n' >"$r/fw-flasher/app/run/profile.cpp"
  printf '#include "app/run/profile.h"\n#include <QWidget>\n' >"$r/fw-flasher/app/gui/dialog.cpp"
  printf '#include "isp/handshake.h"\n#include "app/run/profile.h"\n#include "version/version.h"\n' >"$r/fw-flasher/cli/main.cpp"
  echo '#pragma once' >"$r/fw-flasher/version/version.h"
  echo '#pragma once' >"$r/fw-flasher/app/run/profile.h"
  echo '#pragma once' >"$r/fw-flasher/isp/link/usb_writer_device.h"
  printf '#include "isp/link/usb_writer_device.h"\n' >"$r/fw-flasher/target/usb_writer/usb_writer_transport.h"
  printf '#include "sim/sim.h"\n#include "version/version.h"\n#include "target/usb_writer/usb_writer_transport.h"\n#include "isp/link/usb_writer_device.h"\n#include <vector>\n' >"$r/fw-flasher/sim/sim.cpp"
  printf '#include "sim/sim.h"\n#include "isp/handshake.h"\n' >"$r/fw-flasher/tests/isp/t.cpp"
  echo '#pragma once' >"$r/fw-flasher/sim/sim.h"
}

plant_clean_tree
out=$("$checker" "$work/repo" 2>&1) || fail "clean tree refused: $out"

# Each case: file to add (inside the repository), its line, what the message names.
cases=(
  'fw-flasher/target/chips/report.cpp|#include "isp/handshake.h"|fw-flasher/target/chips/report.cpp:1'
  'fw-flasher/isp/link/framing.cpp|#include "target/chips/chip_table.h"|target/chips/'
  'fw-flasher/target/chips/image.cpp|#include "target/board/download_board.h"|target/chips/ is below target/board/'
  'fw-flasher/isp/trim/p1.cpp|#include "isp/handshake.h"|isp/trim/ is below isp/'
  'fw-flasher/isp/erase.cpp|#include "app/project/project.h"|isp/ is below app/project/'
  'fw-flasher/app/project/parser.cpp|#include "app/run/profile.h"|app/project/ is below app/run/'
  'fw-flasher/app/run/flow.cpp|#include <QWidget>|includes Qt'
  'fw-flasher/app/run/text.cpp|#include <QtCore/QString>|includes Qt'
  'fw-flasher/app/project/text.cpp|#include <QString>|includes Qt'
  'fw-flasher/messages/texts.cpp|#include "isp/link/isp_link.h"|is below isp/link/'
  'fw-flasher/isp/link/port.cpp|#include <QSerialPort>|includes Qt'
  'fw-flasher/target/chips/board.cpp|#include "chip_table.h"|write it from fw-flasher/'
  'fw-flasher/cli/detect.cpp|#include "sim/sim.h"|may not reach sim/'
  'relay-editor/model/ProgramList.cpp|#include "device/Frames.h"|model/ is below device/'
  'relay-editor/version/Version.cpp|#include "device/Frames.h"|version/ is below device/'
  'fw-flasher/version/version.cpp|#include "isp/link/isp_link.h"|version/ is below isp/link/'
  'relay-editor/device/SPComm.cpp|  #  include <QObject>|includes Qt'
  'fw-flasher/sim/chips.cpp|#include "target/chips/chip_table.h"|sim/ includes only sim/, version/ and the USB writer'"'"'s transport interface'
  'fw-flasher/sim/link.cpp|#include "isp/link/isp_link.h"|fw-flasher/sim/link.cpp:1 includes "isp/link/isp_link.h"'
  'fw-flasher/sim/steps.h|#include "isp/handshake.h"|sim/ includes only'
  'fw-flasher/sim/up.cpp|#include "../target/chips/chip_table.h"|write it from fw-flasher/'
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
