#!/bin/sh
# Installs the build into a staging folder (DESTDIR) and checks the tree:
# the program folder with its programs, tool and language files, the links in
# bin, the desktop files (validated when the validators are installed), the
# manual page and completion naming every command of discwright-cli, and an
# installed discwright-cli started through its link finding WM8EUTIL beside it.
#   check-install.sh BUILD_DIR DIST_DIR
set -eu
build=$1
dist=$2
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT INT TERM
fail() { echo "check-install: $*" >&2; exit 1; }

DESTDIR="$stage" cmake --install "$build" --prefix /usr >"$stage/install.log" 2>&1 ||
    { cat "$stage/install.log" >&2; fail "cmake --install failed"; }
root=$stage/usr
program=$root/lib/discwright

for f in "$program/discwright-cli" "$program/WM8EUTIL"; do
    [ -x "$f" ] || fail "$f is missing or not executable"
done
ls "$program"/CLan_*.ini >/dev/null 2>&1 || fail "no language files in $program"
for p in discwright discwright-cli; do
    if [ -e "$program/$p" ]; then
        [ -L "$root/bin/$p" ] || fail "$root/bin/$p is not a link"
        [ "$(readlink "$root/bin/$p")" = "../lib/discwright/$p" ] || fail "$root/bin/$p points elsewhere"
        [ -x "$root/bin/$p" ] || fail "$root/bin/$p does not reach the program"
    fi
done
for f in share/applications/discwright.desktop share/icons/hicolor/scalable/apps/discwright.svg \
         share/metainfo/com.quobel.discwright.metainfo.xml share/man/man1/discwright-cli.1 \
         share/bash-completion/completions/discwright-cli; do
    [ -s "$root/$f" ] || fail "$root/$f is missing"
done

if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$root/share/applications/discwright.desktop" || fail "desktop entry is not valid"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net --pedantic "$root/share/metainfo/com.quobel.discwright.metainfo.xml" >"$stage/as.log" 2>&1 ||
        { cat "$stage/as.log" >&2; fail "AppStream data is not valid"; }
fi
if command -v xmllint >/dev/null; then
    xmllint --noout "$root/share/icons/hicolor/scalable/apps/discwright.svg" || fail "icon is not well-formed XML"
fi
if command -v groff >/dev/null; then
    warnings=$(groff -man -Tutf8 -ww -z "$root/share/man/man1/discwright-cli.1" 2>&1)
    [ -z "$warnings" ] || fail "manual page: $warnings"
fi
bash -n "$root/share/bash-completion/completions/discwright-cli" || fail "completion script does not parse"

# Every command the program lists is in the manual page and the completion.
cli=$root/bin/discwright-cli
"$cli" --version >/dev/null || fail "installed discwright-cli does not start"
commands=$("$cli" help | sed -n 's/^  \([a-z][a-z-]*\) .*/\1/p; s/^  \([a-z][a-z-]*\)$/\1/p')
[ -n "$commands" ] || fail "no commands in discwright-cli help"
for c in $commands; do
    roff=$(printf '%s' "$c" | sed 's/-/\\\\-/g')  # a hyphen is written \- in the page
    grep -q "^\.B $roff\( \|$\)" "$root/share/man/man1/discwright-cli.1" || fail "manual page lacks the command $c"
    grep -q "commands=\".*\b$c\b" "$root/share/bash-completion/completions/discwright-cli" ||
        fail "completion lacks the command $c"
done

# The installed program finds its WMA tool in its own folder, through the link.
python3 - "$stage/in.wav" <<'PY'
import struct, sys, math
frames = 4410
data = b''.join(struct.pack('<hh', int(8000 * math.sin(i / 7)), 0) for i in range(frames))
hdr = b'RIFF' + struct.pack('<I', 36 + len(data)) + b'WAVEfmt ' + struct.pack('<IHHIIHH', 16, 1, 2, 44100, 176400, 4, 16)
open(sys.argv[1], 'wb').write(hdr + b'data' + struct.pack('<I', len(data)) + data)
PY
( unset DISCWRIGHT_PROGRAM_DIR; cd "$stage" && XDG_CONFIG_HOME="$stage/config" "$cli" encode wma in.wav out.wma --quiet ) ||
    fail "installed discwright-cli cannot encode WMA with the WM8EUTIL beside it"
[ -s "$stage/out.wma" ] || fail "no WMA file written"
echo "check-install: ok"
