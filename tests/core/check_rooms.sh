#!/usr/bin/env bash
# Fails when a file of the core includes from a room above its own: the floor (base)
# includes no room, the EDID room neither the signal, the box nor the chain room, the signal
# room neither the box nor the chain room, the box room not the chain room; and no file of the
# core includes a widget header.
set -euo pipefail
core="${1:?usage: check_rooms.sh SRC_CORE_DIR}"
failed=0
check() {
    local room="$1" pattern="$2"
    local hits
    hits=$(grep -nE "^#include [\"<]($pattern)" -r "$core/$room" || true)
    if [ -n "$hits" ]; then
        echo "core/$room includes from a room above it:"
        echo "$hits"
        failed=1
    fi
}
check base 'core/(edid|signal|box|chain)/'
check edid 'core/(signal|box|chain)/'
check signal 'core/(box|chain)/'
check box 'core/chain/'
widgets=$(grep -nE '^#include [<"](QtWidgets|QtGui|QWidget|QMainWindow|QMessageBox|VeltrikaForm)' -r "$core" || true)
if [ -n "$widgets" ]; then
    echo "the core includes a widget header:"
    echo "$widgets"
    failed=1
fi
exit "$failed"
