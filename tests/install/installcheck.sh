#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop gets: the files in
# their places, and the `vantor` command making a user's program folder with its links and
# starting the launcher (here a stand-in that reports where it runs) from inside it.
#
#   installcheck.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
work=$(cd "$work" && pwd -P)
prefix="$work/prefix"
failures=0

fail()
{
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

expect_eq()
{
    [ "$2" = "$3" ] || fail "$1: expected '$3', got '$2'"
}

cmake --install "$build" --prefix "$prefix" >/dev/null

for file in bin/vantor libexec/vantor/v.exe; do
    [ -x "$prefix/$file" ] || fail "$file is not installed as a program"
done
for file in share/vantor/Vantor.hlp share/applications/vantor.desktop \
    share/icons/hicolor/scalable/apps/vantor.svg; do
    [ -f "$prefix/$file" ] || fail "$file is not installed"
done
grep -qx "Exec=\"$prefix/bin/vantor\"" "$prefix/share/applications/vantor.desktop" ||
    fail "the desktop entry does not start $prefix/bin/vantor"
grep -qx "Icon=vantor" "$prefix/share/applications/vantor.desktop" ||
    fail "the desktop entry does not name the icon"

# Stand-ins that say where they were started and with what.
programs="$prefix/libexec/vantor"
stand_in()
{
    # shellcheck disable=SC2016 # expanded by the stand-in, not here
    printf '#!/bin/sh\necho "%s $(pwd -P) $*"\n' "$1" >"$2"
    chmod +x "$2"
}
stand_in launcher "$programs/launcher"

run()
{
    env -i PATH="$PATH" HOME="$work/home" "$@" "$prefix/bin/vantor" one two
}

# The program folder under XDG_DATA_HOME, owner only, with links to the installed files.
folder="$work/data/Vantor"
expect_eq "launcher start" "$(run XDG_DATA_HOME="$work/data")" "launcher $folder one two"
expect_eq "v.exe link" "$(readlink "$folder/v.exe")" "$programs/v.exe"
expect_eq "help link" "$(readlink "$folder/Vantor.hlp")" "$prefix/share/vantor/Vantor.hlp"
expect_eq "folder mode" "$(stat -c %a "$folder")" "700"

# Without XDG_DATA_HOME (or with a relative one): ~/.local/share/Vantor.
home_folder="$work/home/.local/share/Vantor"
expect_eq "default folder" "$(run XDG_DATA_HOME=relative/path)" "launcher $home_folder one two"

# A real v.exe in the folder (a newer version installed there) is kept.
rm "$folder/v.exe"
echo "the user's own" >"$folder/v.exe"
run XDG_DATA_HOME="$work/data" >/dev/null
expect_eq "own v.exe kept" "$(cat "$folder/v.exe")" "the user's own"

# A moved installation: the links follow it.
mv "$prefix" "$work/moved"
prefix="$work/moved"
programs="$prefix/libexec/vantor"
run XDG_DATA_HOME="$work/data" >/dev/null
expect_eq "help link after a move" "$(readlink "$folder/Vantor.hlp")" \
    "$prefix/share/vantor/Vantor.hlp"

# Without a launcher the program itself starts.
rm "$programs/launcher"
stand_in v.exe "$programs/v.exe"
expect_eq "v.exe start" "$(run XDG_DATA_HOME="$work/other")" "v.exe $work/other/Vantor one two"

# A folder that cannot be made (a file stands in its place, which stops root too): a clear
# message and a failure, nothing started.
touch "$work/blocked"
if output=$(run XDG_DATA_HOME="$work/blocked" 2>&1); then
    fail "a program folder that cannot be made was reported as success: $output"
fi
case "$output" in
    *"cannot make the program folder $work/blocked/Vantor"*) ;;
    *) fail "unclear message for a folder that cannot be made: $output" ;;
esac

if [ "$failures" -gt 0 ]; then
    exit 1
fi
echo "install check passed"
