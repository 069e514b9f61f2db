#!/usr/bin/env bash
# The host window on the demo home with the add-in registered (see the README): the demo home
# is made first when missing (scripts/demo.sh), the host's setup registers its add-in manager,
# regsvr registers VARNOAddIn.so, and the window opens; pick Add-ins > VARNO.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
home="$build/demo-home"
for file in "$build/datebook-desktop" "$build/regsvr" "$build/VARNOAddIn.so"; do
  if [[ ! -e "$file" ]]; then
    echo "desktop: $file is missing; run 'make desktop' first." >&2
    exit 2
  fi
done
if [[ ! -f "$home/.demo-ready" ]]; then
  "$root/scripts/demo.sh" "$build" >/dev/null
fi
# Any datebook-desktop command sees to the host's setup; regsvr then announces the add-in.
"$build/datebook-desktop" --home "$home" users >/dev/null
VARNO_HOME="$home" "$build/regsvr" "$build/VARNOAddIn.so"
exec "$build/datebook-desktop" --home "$home"
