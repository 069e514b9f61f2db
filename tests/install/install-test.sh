#!/usr/bin/env bash
# `cmake --install` into a fresh prefix puts the programs, the man page and the bash completion
# where a user's shell and `man -M` find them, and the installed varno runs on a fresh home.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

for f in bin/varno bin/datebook-desktop bin/regsvr share/man/man1/varno.1 \
         share/bash-completion/completions/varno libexec/varno/varno-dialog \
         libexec/varno/VARNOAddIn.htb lib/varno/VARNOAddIn.so lib/varno/VARNOAddIn.htb \
         lib/varno/DatebookAddinManager.so; do
  [[ -e "$prefix/$f" ]] || { echo "missing after install: $f" >&2; exit 1; }
done
[[ -x "$prefix/bin/varno" ]] || { echo "bin/varno is not executable" >&2; exit 1; }

page=$(MANPAGER=cat MANWIDTH=80 man -M "$prefix/share/man" varno 2>/dev/null | col -b)
grep -q "varno" <<<"$page" || { echo "man -M does not show the varno page" >&2; exit 1; }
grep -qi "export" <<<"$page" || { echo "the man page does not describe export" >&2; exit 1; }

export VARNO_HOME="$prefix/home" TZ=UTC LANG=C.UTF-8
"$prefix/bin/datebook-desktop" user add "Install Test" >/dev/null
"$prefix/bin/datebook-desktop" user use "Install Test" >/dev/null
"$prefix/bin/varno" count | grep -q "0 appointments" || { echo "installed varno count failed" >&2; exit 1; }

# varno dialog finds its window program in libexec; without a display both say so (status 2).
set +e
msg=$(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/varno" dialog 2>&1); status=$?
[[ $status -eq 2 && $msg == *"needs a display"* ]] || { echo "varno dialog without DISPLAY: $status $msg" >&2; exit 1; }
msg=$(env -u WAYLAND_DISPLAY DISPLAY=:4711 "$prefix/bin/varno" dialog 2>&1); status=$?
set -e
[[ $status -eq 2 && $msg == *"cannot open a window"* ]] || { echo "installed varno-dialog without a display: $status $msg" >&2; exit 1; }

"$prefix/bin/regsvr" --help | grep -q "Usage: regsvr" || { echo "installed regsvr does not run" >&2; exit 1; }

# The installed host registers its add-in manager; the installed regsvr then announces the
# installed add-in to it.
"$prefix/bin/regsvr" -s "$prefix/lib/varno/VARNOAddIn.so"
grep -q "DatebookAddinManager.so" "$VARNO_HOME/registry/HKEY_CLASSES_ROOT.reg" ||
  { echo "the installed host did not register its add-in manager" >&2; exit 1; }
grep -q '"Name"="VARNOAddIn Addin"' "$VARNO_HOME/registry/HKEY_CURRENT_USER.reg" ||
  { echo "the installed add-in is not registered with the host" >&2; exit 1; }
status=0
DISPLAY= WAYLAND_DISPLAY= "$prefix/bin/datebook-desktop" 2>/dev/null || status=$?
[[ $status -eq 2 ]] || { echo "datebook-desktop without a display: status $status, not 2" >&2; exit 1; }

# The completion script defines a completion for varno when sourced by bash.
bash -c "source '$prefix/share/bash-completion/completions/varno' && complete -p varno" >/dev/null
echo "install test passed"
