#!/bin/sh
# Checks the English catalogue against the code: every text the code marks is translated
# (none untranslated, none fuzzy, none left over from texts the code no longer has), the
# layers agree where they share a text, and a translation keeps its placeholders, is not
# its Japanese key and holds no kana or kanji.
set -eu
src=$(cd "$1" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
status=0

layer_dirs() {
    case $1 in
    engine) echo engine ;;
    state) echo app/state ;;
    ui) echo app/ui ;;
    cli) echo cli ;;
    esac
}

for layer in engine state ui cli; do
    po="$src/po/en/$layer.po"
    pot="$tmp/$layer.pot"
    (cd "$src" && find $(layer_dirs $layer) -name '*.cpp' -o -name '*.h' | sort) >"$tmp/$layer.files"
    (cd "$src" && xgettext --language=C++ --from-code=UTF-8 --no-wrap --keyword \
        --keyword=translate:1 --keyword=translateIn:1c,2 --keyword=translatePlural:1,2 --keyword=N_plural:1,2 --keyword=N_:1 \
        -f "$tmp/$layer.files" -o "$pot")
    if [ ! -f "$pot" ]; then
        # xgettext writes nothing for a layer without texts.
        printf 'msgid ""\nmsgstr ""\n"Content-Type: text/plain; charset=UTF-8\\n"\n' >"$pot"
    fi
    if ! msgcmp "$po" "$pot" 2>"$tmp/missing"; then
        echo "po/en/$layer.po lacks translations of texts in the code:"
        cat "$tmp/missing"
        status=1
    fi
    if ! msgcmp --use-untranslated "$pot" "$po" 2>"$tmp/stale"; then
        echo "po/en/$layer.po translates texts the code no longer has:"
        cat "$tmp/stale"
        status=1
    fi
    if [ -n "$(msgattrib --only-obsolete "$po")" ]; then
        echo "po/en/$layer.po keeps obsolete entries"
        status=1
    fi
    # Every msgid but the header's.
    count=$(msgattrib --no-obsolete "$po" | grep -c '^msgid ')
    echo "$layer: $((count > 0 ? count - 1 : 0)) texts"
done

# The layers join into one catalogue: a text two layers share needs one translation.
msgcat --no-wrap -o "$tmp/all.po" "$src"/po/en/*.po
if [ -n "$(msgattrib --only-fuzzy "$tmp/all.po")" ]; then
    echo "Texts translated differently by two layers (or marked fuzzy):"
    msgattrib --only-fuzzy --no-wrap "$tmp/all.po"
    status=1
fi
msgfmt --check --statistics -o /dev/null "$tmp/all.po"

# One line per translation: key <TAB> translation, with continuation lines joined.
msgattrib --no-obsolete --no-wrap "$tmp/all.po" | awk '
    function unquote(line) { sub(/^[^"]*"/, "", line); sub(/"$/, "", line); return line }
    function flush() {
        if (id != "") { for (i = 0; i < n; i++) print id "\t" str[i] }
        id = ""; n = 0; part = ""
    }
    /^msgctxt / { flush(); part = "context"; next }
    /^msgid / { flush(); id = unquote($0); part = "id"; next }
    /^msgid_plural / { part = "plural"; next }
    /^msgstr/ { str[n++] = unquote($0); part = "str"; next }
    /^"/ { if (part == "id") id = id unquote($0); else if (part == "str") str[n - 1] = str[n - 1] unquote($0); next }
    END { flush() }
' >"$tmp/pairs"

allowed="$src/po/en/allowed-as-is.txt"
awk -F '\t' -v allowed="$allowed" '
    BEGIN { while ((getline line < allowed) > 0) if (line !~ /^#/) ok[line] = 1 }
    function count(text, counts,   rest) {
        rest = text
        while (match(rest, /%[0-9]+(\$s)?/)) {
            counts[substr(rest, RSTART, RLENGTH)]++
            rest = substr(rest, RSTART + RLENGTH)
        }
    }
    {
        split("", a); split("", b); count($1, a); count($2, b); same = 1
        for (p in a) if (a[p] != b[p]) same = 0
        for (p in b) if (a[p] != b[p]) same = 0
        if (!same) { print "Placeholders differ: " $1 " -> " $2; bad = 1 }
    }
    $2 == $1 && !($1 in ok) { print "Translation equals its key: " $1; bad = 1 }
    END { exit bad }
' "$tmp/pairs" || status=1

if LC_ALL=C.UTF-8 grep -P '\t.*[\p{Han}\p{Hiragana}\p{Katakana}\x{3000}-\x{303F}\x{FF01}-\x{FF9F}]' "$tmp/pairs"; then
    echo "Translations above still hold Japanese characters"
    status=1
fi
exit $status
