#!/usr/bin/env bash
# Times the Document run on 10,000 users of one OU (OU=Bulk) against OpenLDAP's ldapsearch reading
# the same four attributes of the same users (one paged one-level search, -E pr=1000/noprompt),
# everything signed in with the same Kerberos ticket, in the same run:
#   csv   the run writing the comma-delimited file     target: at most 1.3 x ldapsearch
#   xlsx  the run writing the workbook                 target: at most 1.6 x ldapsearch
# Each side runs ROUNDS times, the order rotating from round to round; the ratios compare the
# medians of each process's wall-clock time (start to exit, so signing in counts on both sides).
# The CSV run's peak memory is measured at 1,000 and at 10,000 users: it must not grow with them.
#
#   bench/document.sh [BUILD_DIR] [ROUNDS]     (default: build, 5; builds the target document_bench)
# Uses a sandbox of its own, BUILD_DIR/sandbox-bench: provisioned on first use, reset to its
# provisioned data at every start (OU=Bulk is filled in two steps, a few minutes) and stopped at
# the end.
set -euo pipefail

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=$(realpath "${1:-$REPO/build}")
ROUNDS=${2:-5}
SMALL=1000
LARGE=10000
SANDBOX=$REPO/scripts/sandbox
BASE="OU=Bulk,DC=corp,DC=test"
FILTER="(&(objectCategory=person)(objectClass=user))"
ATTRIBUTES="logonHours sAMAccountName distinguishedName cn"
export QUILLMARK_SANDBOX_DIR=$BUILD/sandbox-bench

cmake --build "$BUILD" --target document_bench >/dev/null
DRIVER=$BUILD/bench/document_bench

work=$(mktemp -d)
finish() {
    "$SANDBOX" stop >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap finish EXIT

# The freshly provisioned data, so OU=Bulk first holds the small count.
"$SANDBOX" reset >/dev/null
"$SANDBOX" start
"$SANDBOX" kinit >/dev/null

in_sandbox() { "$SANDBOX" exec -- "$@"; }

# Milliseconds the command takes inside the sandbox, its output kept in $work (a failure ends the
# benchmark). Timed inside the namespace, so entering it is not counted.
milliseconds_of() {
    in_sandbox bash -c '
        out=$1 err=$2; shift 2
        start=$(date +%s%N)
        "$@" >"$out" 2>"$err" || { cat "$err" >&2; exit 1; }
        echo $(( ($(date +%s%N) - start) / 1000000 ))' _ "$work/out" "$work/err" "$@"
}

users_in_base() {
    in_sandbox ldapsearch -Q -Y GSSAPI -LLL -E pr=1000/noprompt -b "$BASE" -s one "$FILTER" 1.1 |
        grep -c '^dn:'
}

# The peak memory the driver reported, in kB.
peak_of() { grep -o 'peak memory [0-9]*' "$1" | grep -o '[0-9]*$'; }

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

"$SANDBOX" bulk "$SMALL"
small=$(users_in_base)
in_sandbox "$DRIVER" csv "$BASE" "$small" "$work/small.csv" 2>"$work/small-csv.log"
in_sandbox "$DRIVER" xlsx "$BASE" "$small" "$work/small.xlsx" 2>"$work/small-xlsx.log"

"$SANDBOX" bulk "$LARGE"
users=$(users_in_base)
in_sandbox "$DRIVER" csv "$BASE" "$users" "$work/large.csv" 2>"$work/large-csv.log"
in_sandbox "$DRIVER" xlsx "$BASE" "$users" "$work/large.xlsx" 2>"$work/large-xlsx.log"
# The run must really have written every user: the header and one line each.
lines=$(wc -l <"$work/large.csv")
((lines == users + 1)) || {
    echo "document.sh: the CSV file holds $lines lines for $users users" >&2
    exit 1
}

run_side() {
    case $1 in
        ldapsearch)
            milliseconds_of ldapsearch -Q -Y GSSAPI -LLL -E pr=1000/noprompt -b "$BASE" -s one \
                "$FILTER" $ATTRIBUTES ;;
        csv | xlsx) milliseconds_of "$DRIVER" "$1" "$BASE" "$users" "$work/hours.$1" ;;
    esac
}

sides=(ldapsearch csv xlsx)
declare -A times=([ldapsearch]="" [csv]="" [xlsx]="")
for ((round = 0; round < ROUNDS; round++)); do
    for ((k = 0; k < 3; k++)); do
        side=${sides[$(((round + k) % 3))]}
        times[$side]+="$(run_side "$side") "
    done
    echo "round $((round + 1)) of $ROUNDS done" >&2
done

median_of() { tr ' ' '\n' <<<"${times[$1]}" | grep . | median; }
base_ms=$(median_of ldapsearch)
ratio() { awk -v a="$1" -v b="$base_ms" 'BEGIN { printf "%.2f", a / b }'; }

echo
echo "Document run, $users users of $BASE, median of $ROUNDS rounds (every round in brackets):"
printf '  ldapsearch  %6.0f ms   (%s)\n' "$base_ms" "${times[ldapsearch]% }"
for side in csv xlsx; do
    ms=$(median_of "$side")
    target=1.3
    [[ $side == xlsx ]] && target=1.6
    printf '  %-10s  %6.0f ms   ratio %s   (target at most %s)   (%s)\n' "$side" "$ms" \
        "$(ratio "$ms")" "$target" "${times[$side]% }"
done
echo "Peak memory of the run:"
printf '  csv   %6s users %8s kB   %6s users %8s kB\n' "$small" "$(peak_of "$work/small-csv.log")" \
    "$users" "$(peak_of "$work/large-csv.log")"
printf '  xlsx  %6s users %8s kB   %6s users %8s kB\n' "$small" \
    "$(peak_of "$work/small-xlsx.log")" "$users" "$(peak_of "$work/large-xlsx.log")"
