#!/usr/bin/env bash
# Prints the project's C++ sources (*.cpp, *.h), one path a line, relative to the tree:
# git's tracked files when the tree is a git work tree, also one owned by another user (git
# calls such a tree "dubious"; it is named safe for this command only, nothing is
# configured); otherwise, as in a source archive, every such file outside build folders.
set -euo pipefail
ROOT=$(cd "${1:-$(dirname "$0")/..}" && pwd)
# The tree's own top: an unpacked archive may lie inside some other work tree.
top=""
if command -v git >/dev/null 2>&1; then
    top=$(git -C "$ROOT" -c safe.directory="$ROOT" rev-parse --show-toplevel 2>/dev/null || true)
fi
if [ -n "$top" ] && [ "$(cd "$top" && pwd -P)" = "$(cd "$ROOT" && pwd -P)" ]; then
    git -C "$ROOT" -c safe.directory="$ROOT" ls-files '*.cpp' '*.h'
else
    # A folder holding a CMakeCache.txt is a build folder, whatever its name.
    cd "$ROOT"
    find . \( -name .git -o -name 'build' -o -name 'build-*' \) -prune -o \
        -type d -exec test -e '{}/CMakeCache.txt' \; -prune -o \
        -type f \( -name '*.cpp' -o -name '*.h' \) -print | sed 's|^\./||' | LC_ALL=C sort
fi
