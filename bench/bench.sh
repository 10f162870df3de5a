#!/usr/bin/env bash
# The benchmarks, run on demand: each times Quillmark's work (BUILD_DIR/bench/qm_bench, and
# qm_tree_bench for the selection screen) against a tool doing the same work in the same run, and
# prints the figures and the ratios.
#
#   bench/bench.sh directory|workbook|tree|document|set [BUILD_DIR] [USERS] [ROUNDS] [EARLIER_BUILD]
#
# Defaults: build, 10,000 users (the workbook 32,767), 3 rounds. Every side is a whole process,
# signing in included, timed with its peak memory; the order of the sides rotates from round to
# round and the medians are compared. All but the workbook work in a sandbox domain of their own,
# BUILD_DIR/sandbox-bench (provisioned and filled on first use, a few minutes), stopped at the end.
# With EARLIER_BUILD (another build folder, of an earlier commit), the tree and document benchmarks
# time its drivers too, in the same rounds, so a change is measured against what it replaces.
# shellcheck disable=SC2317 # the sides are called by name
set -euo pipefail

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BENCH=${1:-}
BUILD=$(realpath "${2:-$REPO/build}")
USERS=${3:-10000}
ROUNDS=${4:-3}
EARLIER=${5:+$(realpath "$5")}
SANDBOX=$REPO/scripts/sandbox
export QUILLMARK_SANDBOX_DIR=$BUILD/sandbox-bench
BASE="OU=Bulk,DC=corp,DC=test"
USER_FILTER="(&(objectCategory=person)(objectClass=user))"
CONTAINER_FILTER="(|(objectClass=container)(objectClass=organizationalUnit)(objectClass=builtinDomain))"
LDAP_TOOL=(-Q -Y GSSAPI -LLL)

cmake --build "$BUILD" --target qm_bench qm_tree_bench >/dev/null
DRIVER=$BUILD/bench/qm_bench
TREE_DRIVER=$BUILD/bench/qm_tree_bench
if [[ -n $EARLIER ]]; then
    cmake --build "$EARLIER" --target qm_bench >/dev/null
    cmake --build "$EARLIER" --target qm_tree_bench >/dev/null 2>&1 || true
fi
EARLIER_DRIVER=$EARLIER/bench/qm_bench
# A build older than the screens' own driver starts the selection screen with qm_bench tree.
EARLIER_TREE=("$EARLIER/bench/qm_tree_bench")
[[ -z $EARLIER || -e ${EARLIER_TREE[0]} ]] || EARLIER_TREE=("$EARLIER_DRIVER" tree)
work=$(mktemp -d)
IN=() # the sandbox's namespace, once this benchmark starts the sandbox
finish() {
    ((${#IN[@]} == 0)) || "$SANDBOX" stop >/dev/null 2>&1 || true
    rm -rf "$work" "${fast:-}"
}
trap finish EXIT

fail() {
    echo "bench.sh: $*" >&2
    exit 1
}

# The sandbox running with a Kerberos ticket for the tools, OU=Bulk holding at least $1 users.
sandbox_with_users() {
    IN=("$SANDBOX" exec --)
    "$SANDBOX" start
    (($1 == 0)) || "$SANDBOX" bulk "$1"
    "$SANDBOX" kinit >/dev/null
}

users_in_base() {
    "${IN[@]}" ldapsearch "${LDAP_TOOL[@]}" -E pr=1000/noprompt -b "$BASE" -s one "$USER_FILTER" \
        1.1 | grep -c '^dn:'
}

# Runs a command (inside the sandbox once it runs), its output kept in $work/out, and sets seconds
# and kb: its wall-clock time and peak memory. A failure ends the benchmark.
measure() {
    "${IN[@]}" /usr/bin/time -f '%e %M' -o "$work/time" "$@" >"$work/out" 2>"$work/err" || {
        cat "$work/err" >&2
        exit 1
    }
    read -r seconds kb <"$work/time"
}

# Runs every side (a function that calls measure) ROUNDS times, rotating the order. Each call gets
# a seed of its own, so that every write side stores values other than the ones stored last.
declare -A times peaks
rounds() {
    local sides=("$@") round k side took
    for ((round = 0; round < ROUNDS; round++)); do
        took=
        for ((k = 0; k < $#; k++)); do
            side=${sides[(round + k) % $#]}
            "$side" $((round * 10 + k + 1))
            times[$side]+="$seconds "
            peaks[$side]+="$kb "
            took+=" $side $seconds s"
        done
        echo "round $((round + 1)) of $ROUNDS done:$took" >&2
    done
}

median_of() {
    tr ' ' '\n' <<<"$1" | grep . | sort -g |
        awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
median() { median_of "${times[$1]}"; }
# The median peak memory of a side, in MB.
peak_mb() { awk -v kb="$(median_of "${peaks[$1]}")" 'BEGIN { printf "%.0f", kb / 1024 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# compare LABEL SIDE BASELINE_LABEL BASELINE_SIDE [TARGET]: the medians and their ratio.
compare() {
    local ours theirs
    ours=$(median "$2") theirs=$(median "$4")
    printf '  %-28s %7.2f s   %-12s %7.2f s   ratio %s%s\n' "$1" "$ours" "$3" "$theirs" \
        "$(ratio "$ours" "$theirs")" "${5:+   (target at most $5)}"
}

# The sides the benchmarks share: the four attributes of OU=Bulk's users; USERS replaces of
# logonHours with the seed's values.
read_ldapsearch() {
    measure ldapsearch "${LDAP_TOOL[@]}" -E pr=1000/noprompt -b "$BASE" -s one "$USER_FILTER" \
        logonHours sAMAccountName distinguishedName cn
}
write_ours() { measure "$DRIVER" write "$BASE" "$USERS" "$1"; }
write_ldapmodify() {
    "$DRIVER" ldif "$BASE" "$USERS" "$1" >"$work/changes.ldif"
    measure ldapmodify -Q -Y GSSAPI -f "$work/changes.ldif"
}

bench_directory() {
    sandbox_with_users "$USERS"
    read_ours() { measure "$DRIVER" read "$BASE"; }
    # The WinNT provider signs in by password, as net does here.
    list_ours() { measure env KRB5CCNAME=FILE:/nonexistent "$DRIVER" winnt PC01; }
    list_net() {
        measure net rpc user -S pc01 --use-kerberos=off \
            -U "Administrator%$(cat "$QUILLMARK_SANDBOX_DIR/admin-password")"
    }
    rounds read_ours read_ldapsearch write_ours write_ldapmodify list_ours list_net
    echo "Directory, $(users_in_base) users of $BASE ($USERS written), medians of $ROUNDS rounds:"
    compare "read through the query connection" read_ours ldapsearch read_ldapsearch 1.2
    compare "Put, SetInfo each" write_ours ldapmodify write_ldapmodify 1.2
    compare "WinNT: list PC01's users" list_ours "net rpc user" list_net
}

bench_workbook() {
    local users=${3:-32767} file=$work/hours.xlsx written scanned
    convert() {
        measure soffice "-env:UserInstallation=file://$work/profile" --headless --norestore \
            --convert-to csv --outdir "$work" "$1"
    }
    # LibreOffice's first start builds its profile: only a second start is measured.
    measure "$DRIVER" sheet xlsx 1 1 "$work/small.xlsx" && convert "$work/small.xlsx"
    measure "$DRIVER" sheet xlsx "$users" 1 "$file" && written="$seconds $kb"
    measure "$DRIVER" scan "$users" "$file" && scanned="$seconds $kb"
    convert "$file"
    echo "Workbook of $users users, $(du -m "$file" | cut -f1) MB:"
    printf '  %-30s %7.2f s %7d MB\n' "LibreOffice xlsx to csv" "$seconds" $((kb / 1024))
    for line in "Document run's writer:$written" "Set run's two passes:$scanned"; do
        read -r s k <<<"${line#*:}"
        printf '  %-30s %7.2f s %7d MB   time %sx   memory %sx\n' "${line%%:*}" "$s" \
            $((k / 1024)) "$(ratio "$s" "$seconds")" "$(ratio "$k" "$kb")"
    done
}

# 2,000 organizational units below OU=Tree: 40 regions of 49 sites each.
tree_ldif() {
    local tree="OU=Tree,DC=corp,DC=test" i j
    printf 'dn: %s\nobjectClass: organizationalUnit\n\n' "$tree"
    for ((i = 1; i <= 40; i++)); do
        printf 'dn: OU=Region%02d,%s\nobjectClass: organizationalUnit\n\n' "$i" "$tree"
        for ((j = 1; j <= 49; j++)); do
            printf 'dn: OU=Site%02d,OU=Region%02d,%s\nobjectClass: organizationalUnit\n\n' \
                "$j" "$i" "$tree"
        done
    done
}

bench_tree() {
    sandbox_with_users 0
    tree_ldif >"$work/tree.ldif"
    # -c: the units an earlier run made are there already.
    "${IN[@]}" ldapadd -c -Q -Y GSSAPI -f "$work/tree.ldif" >/dev/null 2>&1 || true
    # The directory nodes' keys are their DNs; a computer's is its name.
    "${IN[@]}" "$TREE_DRIVER" | grep '=' >"$work/bases"
    tree_ours() { measure "$TREE_DRIVER"; }
    tree_earlier() { measure "${EARLIER_TREE[@]}"; }
    # One ldapsearch a node, as a script would make them.
    # shellcheck disable=SC2016
    tree_ldapsearch() {
        measure bash -c 'while read -r base; do
            ldapsearch "${@:3}" -b "$base" -s one "$2" 1.1 >/dev/null || exit 1; done <"$1"' \
            _ "$work/bases" "$CONTAINER_FILTER" "${LDAP_TOOL[@]}"
    }
    rounds tree_ours tree_ldapsearch ${EARLIER:+tree_earlier}
    echo "Tree of $(wc -l <"$work/bases") directory nodes, medians of $ROUNDS rounds:"
    compare "selection screen start-up" tree_ours ldapsearch tree_ldapsearch
    [[ -z $EARLIER ]] ||
        compare "the same, earlier build" tree_earlier ldapsearch tree_ldapsearch
}

bench_document() {
    local small=$((USERS / 10)) users small_kb large_kb
    # Back to the provisioned data, so that OU=Bulk first holds the small count only.
    "$SANDBOX" reset >/dev/null
    sandbox_with_users "$small"
    measure "$DRIVER" document csv "$BASE" "$(users_in_base)" "$work/small.csv" && small_kb=$kb
    "$SANDBOX" bulk "$USERS"
    users=$(users_in_base)
    csv() { measure "$DRIVER" document csv "$BASE" "$users" "$work/hours.csv" && large_kb=$kb; }
    xlsx() { measure "$DRIVER" document xlsx "$BASE" "$users" "$work/hours.xlsx"; }
    csv_earlier() { measure "$EARLIER_DRIVER" document csv "$BASE" "$users" "$work/earlier.csv"; }
    xlsx_earlier() { measure "$EARLIER_DRIVER" document xlsx "$BASE" "$users" "$work/earlier.xlsx"; }
    rounds read_ldapsearch csv xlsx ${EARLIER:+csv_earlier xlsx_earlier}
    # The header and a line for every user.
    (($(wc -l <"$work/hours.csv") == users + 1)) || fail "the CSV file misses users"
    echo "Document run, $users users of $BASE, medians of $ROUNDS rounds:"
    compare "to a CSV file" csv ldapsearch read_ldapsearch 1.0
    compare "to a workbook" xlsx ldapsearch read_ldapsearch 1.1
    echo "  peak memory of the CSV run: $small_kb kB at $small users, $large_kb kB at $users"
    echo "  median peak memory: CSV $(peak_mb csv) MB, workbook $(peak_mb xlsx) MB"
    [[ -n $EARLIER ]] || return 0
    compare "earlier build, to a CSV file" csv_earlier ldapsearch read_ldapsearch
    compare "earlier build, to a workbook" xlsx_earlier ldapsearch read_ldapsearch
    echo "  earlier build's median peak memory: CSV $(peak_mb csv_earlier) MB, workbook" \
        "$(peak_mb xlsx_earlier) MB"
    echo "  this build against the earlier: CSV $(ratio "$(median csv)" "$(median csv_earlier)")," \
        "workbook $(ratio "$(median xlsx)" "$(median xlsx_earlier)")"
}

bench_set() {
    # Back to the provisioned data: the memory measurement below leaves 32,767 users in OU=Bulk,
    # and the reading pass reads the whole OU.
    "$SANDBOX" reset >/dev/null
    sandbox_with_users "$USERS"
    fast=$(mktemp -d /dev/shm/qm-bench-XXXXXX) # where a sync costs nothing
    # The Set run on a sheet of new values, its log and restore sheet in $2.
    set_run() {
        "$DRIVER" sheet csv "$USERS" "$1" "$work/sheet.csv"
        rm -rf "$2/run" && mkdir "$2/run"
        measure "$DRIVER" set "$work/sheet.csv" "$2/run"
        local updated
        updated=$(grep -c '^Updated ' "$2/run/Quillmark.log" || true)
        ((updated == USERS)) || fail "the Set run updated $updated users, not $USERS"
    }
    set_ours() { set_run "$1" "$work"; }
    set_unsynced() { set_run "$1" "$fast"; }
    # Up to the confirmation: the counting and reading passes, the preview, the restore sheet.
    preview_ours() {
        "$DRIVER" sheet csv "$USERS" "$1" "$work/sheet.csv"
        measure "$DRIVER" preview "$work/sheet.csv" "$work"
    }
    read_accounts() {
        measure ldapsearch "${LDAP_TOOL[@]}" -E pr=1000/noprompt -b "$BASE" -s one \
            "(objectClass=user)" cn logonHours objectSid
    }
    rounds set_ours write_ldapmodify write_ours set_unsynced preview_ours read_accounts
    echo "Set run, $USERS users from a CSV sheet, medians of $ROUNDS rounds:"
    compare "Set run" set_ours ldapmodify write_ldapmodify 1.0
    compare "reading pass, answered No" preview_ours ldapsearch read_accounts 1.3
    # Peak memory from 1,000 rows to the most a sheet may hold.
    local rows kb_at=()
    for rows in 1000 32767; do
        "$SANDBOX" bulk "$rows" >/dev/null
        "$DRIVER" sheet csv "$rows" 99 "$work/sheet.csv"
        rm -rf "$work/run" && mkdir "$work/run"
        measure "$DRIVER" set "$work/sheet.csv" "$work/run"
        kb_at+=("$kb kB at $rows rows (${seconds} s)")
    done
    echo "  peak memory of the Set run: ${kb_at[0]}, ${kb_at[1]}"
    echo "  floor: Put and SetInfo alone $(median write_ours) s (ratio" \
        "$(ratio "$(median write_ours)" "$(median write_ldapmodify)")); the run's per-user syncs" \
        "$(awk -v a="$(median set_ours)" -v b="$(median set_unsynced)" 'BEGIN { print a - b }') s"
}

case $BENCH in
    directory | workbook | tree | document | set) "bench_$BENCH" "$@" ;;
    *) fail "usage: bench/bench.sh directory|workbook|tree|document|set [BUILD_DIR] [USERS] [ROUNDS] [EARLIER_BUILD]" ;;
esac
