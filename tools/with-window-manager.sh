#!/usr/bin/env bash
# Runs a test program on an X server of its own under a small window manager
# (openbox): windows are then placed, activated and repainted a moment after
# they are shown, as on a desktop, which neither Qt's offscreen platform nor a
# bare Xvfb does. Its own server keeps the manager away from other tests.
#   tools/with-window-manager.sh <program> [argument...]
set -euo pipefail
for tool in xvfb-run openbox xprop; do
  if ! command -v "$tool" >/dev/null; then
    echo "with-window-manager.sh: $tool is missing (tools/install-deps.sh installs it)" >&2
    exit 1
  fi
done
export QT_QPA_PLATFORM=xcb
# A server number far from the one xvfb-run -a gives the suite itself (99 on).
exec xvfb-run -a -n $((200 + RANDOM % 600)) -s "-screen 0 1600x1000x24" bash -c '
  openbox >/dev/null 2>&1 &
  wm=$!
  trap "kill $wm 2>/dev/null" EXIT
  # The manager is ready once it has named itself on the root window.
  for i in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    sleep 0.1
  done
  if ! xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; then
    echo "with-window-manager.sh: openbox did not start" >&2
    exit 1
  fi
  "$@"
' with-window-manager "$@"
