#!/bin/bash
# The bash completion against the real program: commands, options, option values, image files
# by extension and paths inside an image (names with spaces and Japanese included).
# Usage: completion-test.sh SOURCE_DIR PROGRAM_DIR
set -u
source /usr/share/bash-completion/bash_completion || exit 1
source "$1/completion/tamberlane-cli.bash" || exit 1
PATH=$(cd "$2" && pwd):$PATH
# compopt only works inside a completion readline started.
compopt() { :; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
echo hi >note.txt
tamberlane-cli new disk.d88 --size 1.2m >/dev/null &&
    tamberlane-cli mkdir disk.d88 GAMES >/dev/null &&
    cp note.txt "Long name.txt" && cp note.txt "セーブ.txt" &&
    tamberlane-cli put disk.d88 "Long name.txt" "セーブ.txt" --long-names always >/dev/null &&
    tamberlane-cli put disk.d88 note.txt --to GAMES >/dev/null || exit 1
touch other.txt FLOPPY.HDM
mkdir folder

failures=0
# expect "EXPECTED REPLIES" WORD...: the last word is the one being completed.
expect() {
    local expected=$1
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="${COMP_WORDS[*]}"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _tamberlane_cli
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | LC_ALL=C sort | tr '\n' ' ')
    if [[ "${got% }" != "$expected" ]]; then
        echo "FAIL: $* -> [${got% }], expected [$expected]"
        failures=$((failures + 1))
    fi
}

expect "rename rm" tamberlane-cli r
expect "--disk --force --help --json --manual --partition -F -R -l" tamberlane-cli ls disk.d88 -
expect "FLOPPY.HDM disk.d88 folder" tamberlane-cli info ""
expect "GAMES/ Long name.txt セーブ.txt" tamberlane-cli cat disk.d88 ""
expect "GAMES/note.txt" tamberlane-cli --disk 1 rm disk.d88 GAMES/
expect "Long name.txt" tamberlane-cli get disk.d88 'Long\ n'
expect "GAMES/" tamberlane-cli put disk.d88 note.txt --to G
expect "always auto" tamberlane-cli mkdir disk.d88 X --long-names a
expect "note.txt" tamberlane-cli put disk.d88 no
[[ $failures -eq 0 ]] && echo "completion: all cases pass"
exit $((failures > 0))
