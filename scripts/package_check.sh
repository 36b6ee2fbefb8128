#!/usr/bin/env bash
# Builds the Debian package (scripts/package.sh, lintian without errors) and
# checks what it holds: every file in its place, the two programs answer
# --help from an extracted copy, the desktop entry validates, both manual
# pages render without warnings and name every option of their program's
# --help, and the dependencies came from the binaries.
set -euo pipefail
cd "$(dirname "$0")/.."
timeout "${PACKAGE_TIMEOUT:-2400}" bash scripts/package.sh
deb=$(ls salvix_*.deb | head -n1)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
fail() { echo "package check: $*" >&2; exit 1; }

for path in usr/bin/salvix usr/bin/salvix-cli usr/share/applications/salvix.desktop \
  usr/share/icons/hicolor/48x48/apps/salvix.png usr/share/man/man1/salvix.1.gz \
  usr/share/man/man1/salvix-cli.1.gz usr/share/bash-completion/completions/salvix-cli \
  usr/share/doc/salvix/copyright usr/share/doc/salvix/changelog.gz; do
  [ -e "$root/$path" ] || fail "$path missing"
done
dpkg-deb -f "$deb" Depends | grep -q 'libc6' || fail "no dependencies from dpkg-shlibdeps"
desktop-file-validate "$root/usr/share/applications/salvix.desktop" || fail "desktop entry"
bash -n "$root/usr/share/bash-completion/completions/salvix-cli" || fail "bash completion"

for program in salvix salvix-cli; do
  help=$(QT_QPA_PLATFORM=offscreen timeout 60 "$root/usr/bin/$program" --help) ||
    fail "$program --help failed"
  page="$root/usr/share/man/man1/$program.1.gz"
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$program.1: $warnings"
  text=$(MANWIDTH=80 man -l "$page" 2>/dev/null)
  grep -q 'EXIT STATUS' <<<"$text" || fail "$program.1 has no exit status section"
  for option in $(grep -oE -- '--[a-z][a-z-]*' <<<"$help" | sort -u); do
    grep -qF -- "$option" <<<"$text" || fail "$program.1 does not describe $option"
  done
done
echo "package check: $deb ok"
