#!/usr/bin/env bash
# mutate.sh - mutation testing of the product modules (not part of CI: it takes hours for all).
#
#   scripts/mutate.sh                                    every mutant of every module
#   scripts/mutate.sh --module shapes --module Kelvor    only those modules
#   scripts/mutate.sh --sample 200 --seed 7              a seeded sample of 200 mutants per module
#   scripts/mutate.sh --ids build/mutate/report.json     again only the survivors of an earlier run
#   scripts/mutate.sh --list --module kvr_window         list the mutants without running them
#
# Installs what the build needs, then hands over to tools/mutate.py (see its --help for --jobs,
# --timeout, --workdir and --displays). Each mutant is built in a copy of the tree under
# build/mutate/job<N> (configured once, built incrementally) and tested there under two private
# Xvfb servers per job, a bare one and one with openbox for a second run of the platform tests;
# the working tree is never changed. The report goes to build/mutate/report.md, with the raw
# results beside it in report.json; --ids with that file finds its survivors again by their
# change, even after product edits have moved the ids.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

case "${1:-}" in
-h | --help)
    sed -n '2,16s/^# \{0,1\}//p' "$0"
    exec python3 "$KVR_ROOT/tools/mutate.py" --help
    ;;
esac

kvr_install_packages "${KVR_BUILD_PACKAGES[@]}" xvfb x11-utils openbox x11-xkb-utils xkb-data python3
exec python3 "$KVR_ROOT/tools/mutate.py" "$@"
