#!/usr/bin/env bash
# Fails when a layer includes one above it. Lowest first: engine/base, engine/image,
# engine/fat, engine/operations; app/state on the engine; the engine and the state never
# see Qt, and nothing in the engine sees app/ or cli/.
set -euo pipefail
root="${1:-$(cd "$(dirname "$0")/.." && pwd)}"
cd "$root"

status=0

# check DIR ALLOWED-PREFIX...: every quoted include of DIR's files starts with one of the
# prefixes; an include without a folder is the file's own neighbour.
check() {
    local dir=$1
    shift
    local file line target prefix ok
    while IFS= read -r file; do
        while IFS= read -r line; do
            target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]*)".*/\1/' <<<"${line#*:}")
            [[ $target != */* ]] && continue
            ok=0
            for prefix in "$@"; do
                [[ $target == "$prefix"* ]] && ok=1
            done
            if ((!ok)); then
                echo "$file:${line%%:*}: includes \"$target\", above its layer"
                status=1
            fi
        done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
    done < <(find "$dir" -type f \( -name '*.h' -o -name '*.cpp' \) | sort)
}

check engine/base engine/base/
check engine/image engine/base/ engine/image/
check engine/fat engine/base/ engine/image/ engine/fat/
check engine/operations engine/
check app/state engine/ app/state/

# Qt comes in through angle brackets: <QString>, <QtWidgets>, <QtCore/QObject>.
if grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q' engine app/state; then
    echo "the engine and app/state must stay free of Qt"
    status=1
fi

exit $status
