#!/usr/bin/env bash
# The main job on the embedded sample (see the README): a demo home under the build folder
# whose user "Demo User" holds res/samples/datebook.csv, imported with `varno import`, then
# exported with `varno export` to CSV (simple format), iCalendar (full), vCalendar (simple)
# and, when the spreadsheet component is available, an Excel workbook (full).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-build}" && pwd)
varno="$build/varno"
desktop="$build/datebook-desktop"
home="$build/demo-home"
out="$build/demo-out"
sample="$root/res/samples/datebook.csv"
# The sample's month: the simple exports write the occurrences of December 2026.
range=(--from 2026-12-01 --to 2026-12-31)

for program in "$varno" "$desktop"; do
  if [[ ! -x "$program" ]]; then
    echo "demo: $program is missing; run 'make demo' (or 'make build') first." >&2
    exit 2
  fi
done

# The demo home is made once; a half-made one (the marker is written last) is made again.
if [[ ! -f "$home/.demo-ready" ]]; then
  rm -rf "$home"
  mkdir -p "$home"
  echo "Creating the demo home $home"
  "$desktop" --home "$home" user add "Demo User" >/dev/null
  "$desktop" --home "$home" user use "Demo User" >/dev/null
  # The sample is a full-format CSV with commas, whatever the locale's list separator.
  "$varno" --home "$home" options set fullformat 1 >/dev/null
  "$varno" --home "$home" options set separator , >/dev/null
  "$varno" --home "$home" options set quote '"' >/dev/null
  "$varno" --home "$home" import "$sample"
  touch "$home/.demo-ready"
  echo
fi

mkdir -p "$out"
"$varno" --home "$home" count

show_export() {
  local title=$1 file=$2
  shift 2
  echo
  echo "== $title: $file"
  "$varno" --home "$home" export "$file" "$@"
}

show_export "CSV, simple format" "$out/datebook-simple.csv" --simple "${range[@]}"
head -n 5 "$out/datebook-simple.csv"

show_export "iCalendar, full format" "$out/datebook-full.ics" --full
head -n 16 "$out/datebook-full.ics"

show_export "vCalendar, simple format" "$out/datebook-simple.vcs" --simple "${range[@]}"
head -n 12 "$out/datebook-simple.vcs"

if "$varno" --home "$home" --version | grep -q '(.xls): available'; then
  show_export "Excel workbook, full format" "$out/datebook-full.xls" --full
  echo "Read back (nothing is changed):"
  "$varno" --home "$home" import --dry-run "$out/datebook-full.xls"
else
  echo
  echo "== Excel workbook: skipped, the spreadsheet component is not available."
fi
