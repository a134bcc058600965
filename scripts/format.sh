#!/usr/bin/env bash
# Formats every C++ source of the project in place with clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
find platform kvr_window bitmap_font shapes Kelvor tests bench tools \
    \( -name '*.h' -o -name '*.cpp' \) -print0 2>/dev/null | xargs -0 -r clang-format -i --style=file
