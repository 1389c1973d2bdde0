#!/usr/bin/env bash
# Every C++ file the repository tracks is in clang-format's layout (the tree's .clang-format):
# a diff of layout alone would hide the change a reviewer has to read. Lists each file that is
# not, and what clang-format would make of its first lines that differ.
set -uo pipefail
cd "$(dirname "$0")/../.."
command -v clang-format >/dev/null || { echo "FAIL clang-format is missing: run scripts/deps.sh"; exit 1; }
failures=0
while IFS= read -r file; do
    if ! clang-format --dry-run --Werror "$file" >/dev/null 2>&1; then
        echo "FAIL $file is not in clang-format's layout:"
        clang-format "$file" | diff "$file" - | head -8 | sed 's/^/     /'
        failures=$((failures + 1))
    fi
done < <(git ls-files '*.cpp' '*.h' '*.c')
if [ "$failures" -eq 0 ]; then
    echo "ok   every tracked C++ file is in clang-format's layout ($(clang-format --version | grep -o 'version [0-9.]*'))"
fi
[ "$failures" -eq 0 ]
