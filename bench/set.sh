#!/usr/bin/env bash
# Times the Set run on 10,000 users of the sandbox domain (OU=Bulk) against ldapmodify of the same
# values over one connection, in the same run, and shows where the difference lies:
#   set              the whole Set task from a CSV sheet (set_bench set): counting pass,
#                    confirmation, and per user a bind that reads the user, its restore entry
#                    written and synced, Put, SetInfo, its log line written and synced
#   ldapmodify       ldapmodify -Y GSSAPI of the same number of logonHours replaces
#   libldap          the same replaces through plain libldap (set_bench modify), and with a base read
#                    of the user before each one (set_bench read-modify): the least a run that
#                    reads each user before writing it can cost
#   set, no syncing  the Set task with its folder on tmpfs, where syncing a file costs nothing: the
#                    share of the per-user fdatasync calls
#   syncs alone      10,000 pairs of durable appends (restore entry, log line) with nothing else
#                    running: what the two syncs per user cost on this disk when the DC, which here
#                    shares it, is not writing at the same time
# Every side gets new values in every round (so each replace really changes the user); the order
# alternates from round to round. Prints the median of each side and the ratios.
#
#   bench/set.sh [BUILD_DIR] [ROUNDS]     (default: build, 5; builds the target set_bench)
# Uses a sandbox of its own, BUILD_DIR/sandbox-bench (provisioned and filled on first use, which
# takes a few minutes), and stops it at the end.
set -euo pipefail

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=$(realpath "${1:-$REPO/build}")
ROUNDS=${2:-5}
USERS=10000
BIAS=5
SANDBOX=$REPO/scripts/sandbox
export QUILLMARK_SANDBOX_DIR=$BUILD/sandbox-bench

cmake --build "$BUILD" --target set_bench >/dev/null
DRIVER=$BUILD/bench/set_bench

work=$(mktemp -d)
fast=$(mktemp -d /dev/shm/quillmark-set-bench-XXXXXX)
cleanup() {
    "$SANDBOX" stop || true
    rm -rf "$work" "$fast"
}
trap cleanup EXIT

"$SANDBOX" start
"$SANDBOX" bulk "$USERS"
"$SANDBOX" kinit >/dev/null

in_sandbox() { "$SANDBOX" exec -- "$@"; }

# One set of values: the Set task's CSV sheet (day strings in local time for BIAS), the same values
# as LDIF replaces for ldapmodify, and as "DN<TAB>hex" for the libldap driver.
write_inputs() {
    /usr/bin/python3 - "$1" "$USERS" "$BIAS" "$work" <<'PYTHON'
import base64, sys
seed, users, bias, work = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]

def day_strings(value):
    days = []
    for day in range(7):
        digits = ""
        for hour in range(24):
            utc = (day * 24 + hour + bias) % 168
            digits += "1" if value[utc // 8] >> (utc % 8) & 1 else "0"
        days.append(" ".join(digits[i:i + 3] for i in range(0, 24, 3)))
    return days

header = ["Name", "Container", "Domain", "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday",
          "Friday", "Saturday"]
with open(work + "/sheet.csv", "w", newline="") as sheet, \
        open(work + "/changes.ldif", "w") as ldif, open(work + "/list", "w") as listing:
    sheet.write(",".join('"%s"' % field for field in header) + "\r\n")
    for i in range(1, users + 1):
        value = bytes((i * 7 + j * 13 + seed * 31) % 256 for j in range(21))
        name = "bulk%05d" % i
        dn = "CN=%s,OU=Bulk,DC=corp,DC=test" % name
        fields = [name, "OU=Bulk", "DC=corp,DC=test"] + day_strings(value)
        sheet.write(",".join('"%s"' % field for field in fields) + "\r\n")
        ldif.write("dn: %s\nchangetype: modify\nreplace: logonHours\nlogonHours:: %s\n-\n\n"
                   % (dn, base64.b64encode(value).decode()))
        listing.write("%s\t%s\n" % (dn, value.hex()))
PYTHON
}

# Wall-clock seconds a command takes, its output kept in $work/out (errors end the benchmark).
seconds_of() {
    local start end
    start=$(date +%s%N)
    "$@" >"$work/out" 2>&1 || {
        cat "$work/out" >&2
        exit 1
    }
    end=$(date +%s%N)
    awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e9 }'
}

# Every user must have been updated by the Set run whose folder is given.
check_updated() {
    local updated
    updated=$(grep -c '^Updated ' "$1/Quillmark.log")
    [[ $updated == "$USERS" ]] || {
        echo "set.sh: the Set run updated $updated users, not $USERS" >&2
        exit 1
    }
}

declare -A times
SIDES=(set ldapmodify modify read-modify set-tmpfs syncs)
measure() {
    local side=$1 seed=$2 t
    write_inputs "$seed"
    case $side in
        set | set-tmpfs)
            local folder=$work/program
            [[ $side == set ]] || folder=$fast/program
            rm -rf "$folder" && mkdir -p "$folder"
            t=$(seconds_of in_sandbox "$DRIVER" set "$work/sheet.csv" "$folder" "$BIAS")
            check_updated "$folder"
            ;;
        ldapmodify) t=$(seconds_of in_sandbox ldapmodify -Q -Y GSSAPI -f "$work/changes.ldif") ;;
        modify | read-modify) t=$(seconds_of in_sandbox "$DRIVER" "$side" "$work/list") ;;
        syncs) t=$(seconds_of "$DRIVER" syncs "$USERS" "$work") ;;
    esac
    times[$side]+="$t "
    printf '  %-12s %7.2f s\n' "$side" "$t" >&2
}

for ((round = 1; round <= ROUNDS; round++)); do
    echo "round $round of $ROUNDS" >&2
    order=("${SIDES[@]}")
    if ((round % 2 == 0)); then
        order=(ldapmodify set read-modify modify set-tmpfs syncs)
    fi
    for ((k = 0; k < ${#order[@]}; k++)); do
        measure "${order[$k]}" $((round * 10 + k))
    done
done

median() { tr ' ' '\n' <<<"$1" | grep . | sort -g | awk '{ v[NR] = $1 } END {
    printf "%.3f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }

declare -A med
for side in "${SIDES[@]}"; do
    med[$side]=$(median "${times[$side]}")
done
base=${med[ldapmodify]}
echo
echo "Set run against ldapmodify, $USERS users, median of $ROUNDS rounds (seconds, ratio to ldapmodify):"
printf '  %-34s %7.2f   %5.3f   (target at most 1.15)\n' "Set run" "${med[set]}" "$(ratio "${med[set]}" "$base")"
printf '  %-34s %7.2f   %5.3f\n' "ldapmodify" "$base" 1
printf '  %-34s %7.2f   %5.3f\n' "libldap replaces" "${med[modify]}" "$(ratio "${med[modify]}" "$base")"
printf '  %-34s %7.2f   %5.3f\n' "libldap base read + replace" "${med[read-modify]}" \
    "$(ratio "${med[read-modify]}" "$base")"
printf '  %-34s %7.2f   %5.3f\n' "Set run, log on tmpfs (no syncing)" "${med[set-tmpfs]}" \
    "$(ratio "${med[set-tmpfs]}" "$base")"
printf '  %-34s %7.2f   %5.3f\n' "two durable appends per user only" "${med[syncs]}" \
    "$(ratio "${med[syncs]}" "$base")"
per_user() { awk -v a="$1" -v b="$2" -v n="$USERS" 'BEGIN { printf "%.3f", (a - b) * 1000 / n }'; }
echo "Per user (ms): a replace $(per_user "$base" 0); the read before it $(per_user \
    "${med[read-modify]}" "${med[modify]}"); the run's own work $(per_user "${med[set-tmpfs]}" \
    "${med[read-modify]}"); its two syncs $(per_user "${med[set]}" "${med[set-tmpfs]}") in the run," \
    "$(per_user "${med[syncs]}" 0) alone"
echo "Floor (libldap read + replace, plus the two syncs alone): $(ratio "$(awk -v a="${med[read-modify]}" \
    -v b="${med[syncs]}" 'BEGIN { print a + b }')" "$base")"
