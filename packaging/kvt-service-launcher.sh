#!/bin/sh
# Starts the installed program in the engineer's own program folder. The program keeps its
# settings, images, calibration state and the simulator's memory in its program folder, which the
# system's copy under /usr cannot be, so each user gets a writable one. Files already there are
# never overwritten: the engineer's settings and templates survive an upgrade of the package.
#
# Installed twice, and the name it is started by chooses the folder:
#   kvt-service  the service program: its vesmar.ini maps no port, so the machine's serial ports
#                are probed (folder ~/.local/share/kvt-service, or KVT_HOME);
#   kvt-trainer  the trainer: COM1 is the apparatus simulator (folder ~/.local/share/kvt-trainer,
#                or KVT_TRAINER_HOME).
set -eu
prefix=$(CDPATH='' cd -- "$(dirname -- "$(readlink -f -- "$0")")/.." && pwd)
data=${XDG_DATA_HOME:-$HOME/.local/share}
case $(basename -- "$0") in
  *trainer*) defaults="$prefix/share/kvt-service/trainer"; dir=${KVT_TRAINER_HOME:-$data/kvt-trainer} ;;
  *) defaults="$prefix/share/kvt-service/service"; dir=${KVT_HOME:-$data/kvt-service} ;;
esac
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
