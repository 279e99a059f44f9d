#!/usr/bin/env bash
# scripts/sources.sh, which the test command formats from, lists the same sources in a git
# clone, in a source archive (no .git) and, run as root, in a clone owned by another user.
# Usage: SourcesCheck.sh <source tree> <work folder>
set -euo pipefail
ROOT=$1
rm -rf "$2"
mkdir -p "$2"
WORK=$(cd "$2" && pwd)
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

if ! git -C "$ROOT" -c safe.directory="$ROOT" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    echo "not a git work tree: nothing to compare with"
    exit 0
fi
git -C "$ROOT" -c safe.directory="$ROOT" ls-files '*.cpp' '*.h' | LC_ALL=C sort >"$WORK/tracked"
[ -s "$WORK/tracked" ] || fail "git lists no sources"

# A source archive of the tracked files: no .git, a build folder of any name beside them.
git -C "$ROOT" -c safe.directory="$ROOT" ls-files -z | (cd "$ROOT" && xargs -0 tar -cf - --no-recursion) |
    (mkdir "$WORK/archive" && tar -x -C "$WORK/archive")
mkdir -p "$WORK/archive/out" && touch "$WORK/archive/out/CMakeCache.txt" "$WORK/archive/out/generated.cpp"
bash "$ROOT/scripts/sources.sh" "$WORK/archive" >"$WORK/from-archive"
cmp -s "$WORK/tracked" "$WORK/from-archive" ||
    fail "the archive lists other sources: $(diff "$WORK/tracked" "$WORK/from-archive" | head -5)"

# A clone owned by another user, as root: git's list, not every file (an untracked one is left out).
if [ "$(id -u)" -eq 0 ] && id nobody >/dev/null 2>&1; then
    git clone -q --no-local "$ROOT" "$WORK/clone" 2>/dev/null ||
        git -c safe.directory='*' clone -q --no-local "$ROOT" "$WORK/clone"
    touch "$WORK/clone/untracked.cpp"
    chown -R nobody "$WORK/clone"
    bash "$ROOT/scripts/sources.sh" "$WORK/clone" >"$WORK/from-clone"
    git -C "$WORK/clone" -c safe.directory="$WORK/clone" ls-files '*.cpp' '*.h' >"$WORK/clone-tracked"
    cmp -s "$WORK/clone-tracked" "$WORK/from-clone" ||
        fail "the clone owned by nobody lists other sources: $(diff "$WORK/clone-tracked" "$WORK/from-clone" | head -5)"
    grep -qx untracked.cpp "$WORK/from-clone" && fail "the clone's list was not git's"
fi

[ "$failures" -eq 0 ] || exit 1
echo "sources listed alike from a clone, an archive and another user's clone"
