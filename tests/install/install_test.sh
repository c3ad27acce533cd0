#!/usr/bin/env bash
# Installs the build into a fresh prefix, as `cmake --install` does for a
# user, and checks what the user gets there.
#
# usage: install_test.sh CMAKE BUILD_DIR VERSION program|manual
#   program  the installed unrms prints the version line of VERSION and copies
#            an installed example to its installed expected output, and the
#            installed unrms-rescue converts the installed examples
#   manual   groff, and man where present, render the installed manual pages
#            without a warning; exits 77 (skipped) when groff is missing
set -euo pipefail

cmake=$1 build=$2 version=$3 part=$4
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$prefix" > /dev/null
work=$prefix/work
mkdir "$work"
cd "$work"

case $part in
program)
  doc=$prefix/share/doc/unrms
  [ -f "$doc/README.md" ] || fail "README.md is not installed in $doc"
  status=0
  "$prefix/bin/unrms" -v -a "$doc/examples/LOGIN.COM.attr" "$doc/examples/LOGIN.COM" > out 2> err || status=$?
  [ "$status" -eq 0 ] || fail "installed unrms exited with $status: $(cat err)"
  first=$(head -n 1 err)
  [ "$first" = "unrms, version $version" ] || fail "version line '$first' is not 'unrms, version $version'"
  cmp out "$doc/examples/LOGIN.COM.expected" || fail "LOGIN.COM was not copied to LOGIN.COM.expected"
  # unrms-rescue converts the whole folder; LOGIN.COM with its sidecar.
  "$prefix/bin/unrms-rescue" -q -o rescued "$doc/examples" 2> err || [ $? -ne 1 ] ||
    fail "installed unrms-rescue failed: $(cat err)"
  cmp rescued/LOGIN.COM "$doc/examples/LOGIN.COM.expected" || fail "unrms-rescue did not copy LOGIN.COM"
  [ -s rescued/unrms-rescue.jsonl ] || fail "unrms-rescue wrote no manifest"
  ;;
manual)
  for name in unrms unrms-probe unrms-rescue; do
    [ -f "$prefix/share/man/man1/$name.1" ] || fail "the manual page is not installed at $prefix/share/man/man1/$name.1"
  done
  if ! command -v groff > /dev/null; then
    echo "groff is not installed: the manual pages are not rendered"
    exit 77
  fi
  render() {
    local page=$1
    groff -ww -z -man "$page" 2> warnings || fail "groff failed on $page"
    [ ! -s warnings ] || fail "groff warns on $page: $(cat warnings)"
    groff -man -Tutf8 -P-cbou "$page" > page.txt 2> /dev/null
    if command -v man > /dev/null; then
      LC_ALL=C.UTF-8 MANWIDTH=80 MANROFFOPT=-ww man -l "$page" > page.txt 2> warnings || fail "man -l failed on $page"
      [ ! -s warnings ] || fail "man -l warns on $page: $(cat warnings)"
    fi
  }
  expect_sections() {
    local section
    for section in "$@"; do
      grep -q "^$section\$" page.txt || fail "the rendered page has no section $section"
    done
  }
  render "$prefix/share/man/man1/unrms.1"
  expect_sections NAME SYNOPSIS DESCRIPTION OPTIONS 'ATTRIBUTE FILE' OUTPUT 'EXIT STATUS' DIAGNOSTICS \
    EXAMPLES LIMITATIONS 'SEE ALSO'
  for name in unrms-probe unrms-rescue; do
    render "$prefix/share/man/man1/$name.1"
    expect_sections NAME SYNOPSIS DESCRIPTION OPTIONS OUTPUT 'EXIT STATUS' DIAGNOSTICS EXAMPLES LIMITATIONS \
      'SEE ALSO'
  done
  ;;
*)
  fail "unknown part $part"
  ;;
esac
