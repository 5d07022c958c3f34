#!/bin/sh
# Starts the installed kvt-service in the engineer's own program folder. The program keeps its
# settings, images, calibration state and the simulator's memory in its program folder, which the
# system's copy under /usr cannot be, so each user gets a writable one (default
# ~/.local/share/kvt-service, or KVT_HOME). Files already there are never overwritten: the
# engineer's settings and templates survive an upgrade of the package.
set -eu
prefix=$(CDPATH='' cd -- "$(dirname -- "$(readlink -f -- "$0")")/.." && pwd)
defaults="$prefix/share/kvt-service"
dir=${KVT_HOME:-${XDG_DATA_HOME:-$HOME/.local/share}/kvt-service}
mkdir -p "$dir"
(
  cd "$defaults"
  find . -type d -exec mkdir -p "$dir/{}" \;
  find . -type f | while IFS= read -r f; do
    [ -e "$dir/$f" ] || cp -p "$f" "$dir/$f"
  done
)
cd "$dir"
exec "$prefix/lib/kvt-service/kvt-service" "$@"
