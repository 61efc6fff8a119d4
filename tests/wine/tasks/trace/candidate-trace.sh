#!/usr/bin/env bash
# Runs candidate-trace.exe under Wine with its file trace (WINEDEBUG=+file: every path the file
# calls take, every NtCreateFile with its name and root) and reads what the examination of one
# candidate, C:\hftrace\folder\ab12cd34.dll, did between its two markers:
#   - the file itself was opened once, by its name relative to a held folder (root=0x...);
#   - no call took its path as text: no CreateFileW, no path conversion, no open from the root
#     (root=(nil)) names it. Left out: GetFullPathNameW's text work (RtlGetFullPathName_U, done
#     before the walk, touching no file), and Wine's naming of an open handle's file for its
#     final path (find_drive_rootA, find_dos_device), which resolves no path.
# Usage: candidate-trace.sh <wine-run> <candidate-trace.exe> <a loader fixture PE>
set -uo pipefail
wine_run=$1 exe=$2 fixture=$3
trace=$(mktemp)
trap 'rm -f "$trace"' EXIT
WINEDEBUG=+file "$wine_run" "$exe" "Z:${fixture//\//\\}" 2>"$trace" >/dev/null
rc=$?
section=$(sed -n '/hftrace-begin/,/hftrace-end/p' "$trace")
relative=$(grep -c 'NtCreateFile .*name=L"ab12cd34.dll" .*root=0x' <<<"$section")
by_path=$(grep -i 'ab12cd34' <<<"$section" |
    grep -v -E 'RtlGetFullPathName_U|find_drive_rootA|find_dos_device' |
    grep -v 'NtCreateFile .*name=L"ab12cd34.dll" .*root=0x' | grep -v 'nt_to_unix_file_name L"ab12cd34.dll"')
failed=0
[ $rc = 0 ] || { echo "candidate-trace.exe exited $rc (the candidate was not found and deleted)"; failed=1; }
[ -n "$section" ] || { echo "no section between the markers in the trace"; failed=1; }
[ "$relative" = 1 ] || { echo "the candidate was opened relative to its folder $relative times, not once"; failed=1; }
if [ -n "$by_path" ]; then
    echo "calls that took the candidate's path as text:"
    echo "$by_path" | head -n 10
    failed=1
fi
[ $failed = 0 ] && echo "one open, relative to the held folder; no call by path (trace lines: $(wc -l <<<"$section"))"
exit $failed
