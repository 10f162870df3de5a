#!/usr/bin/env bash
# Times the LDAP provider on 10,000 users of the sandbox domain (OU=Bulk) against OpenLDAP's own
# tools doing the same work over the same kind of connection (SASL GSSAPI), in the same run:
#   read:  the four attributes of every user one level deep through the query connection, against
#          one paged ldapsearch (-E pr=1000/noprompt)
#   write: 10,000 logonHours replaces through bind + Put + SetInfo (one bind each), against one
#          ldapmodify of the same number of replaces over one connection
# Each side runs ROUNDS times, alternating which goes first; the ratios compare the totals.
#
#   bench/ldap.sh [BUILD_DIR] [ROUNDS]     (default: build, 2; builds the target ldap_bench)
# Uses the sandbox of $QUILLMARK_SANDBOX_DIR (default .sandbox); starts it and leaves it running.
set -euo pipefail

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=$(realpath "${1:-$REPO/build}")
ROUNDS=${2:-2}
USERS=10000
SANDBOX=$REPO/scripts/sandbox
BASE="OU=Bulk,DC=corp,DC=test"
FILTER="(&(objectCategory=person)(objectClass=user))"
ATTRIBUTES="logonHours sAMAccountName distinguishedName cn"

cmake --build "$BUILD" --target ldap_bench >/dev/null
DRIVER=$BUILD/bench/ldap_bench

"$SANDBOX" start
"$SANDBOX" bulk "$USERS"
"$SANDBOX" kinit >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

in_sandbox() { "$SANDBOX" exec -- "$@"; }

# Wall-clock seconds a command takes, its output discarded (errors end the benchmark).
seconds_of() {
    local start end
    start=$(date +%s%N)
    "$@" >"$work/out" 2>"$work/err" || {
        cat "$work/err" >&2
        exit 1
    }
    end=$(date +%s%N)
    awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e9 }'
}

sum() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a + b }'; }

# One set of 21-byte values, different in every round so that each replace really changes the
# user: a list "DN<TAB>hex" for the provider and the same replaces as LDIF for ldapmodify.
write_inputs() {
    /usr/bin/python3 - "$1" "$USERS" "$BASE" "$work/list" "$work/ldif" <<'PYTHON'
import base64, sys
round_, users = int(sys.argv[1]), int(sys.argv[2])
base, listing, ldif = sys.argv[3:6]
with open(listing, "w") as plain, open(ldif, "w") as changes:
    for i in range(1, users + 1):
        value = bytes((i * 7 + j * 13 + round_ * 31) % 256 for j in range(21))
        dn = "CN=bulk%05d,%s" % (i, base)
        plain.write("%s\t%s\n" % (dn, value.hex()))
        changes.write("dn: %s\nchangetype: modify\nreplace: logonHours\nlogonHours:: %s\n-\n\n"
                      % (dn, base64.b64encode(value).decode()))
PYTHON
}

read_baseline() {
    in_sandbox ldapsearch -Q -Y GSSAPI -LLL -E pr=1000/noprompt -b "$BASE" -s one "$FILTER" \
        $ATTRIBUTES
}
read_provider() { in_sandbox "$DRIVER" read "$BASE"; }
write_baseline() { in_sandbox ldapmodify -Q -Y GSSAPI -f "$work/ldif"; }
write_provider() { in_sandbox "$DRIVER" write "$work/list"; }

rows=$(read_baseline | grep -c '^dn:')
[[ $rows -ge $USERS ]] || {
    echo "ldap.sh: only $rows users in $BASE" >&2
    exit 1
}

read_ours=0 read_theirs=0 write_ours=0 write_theirs=0
for ((round = 1; round <= ROUNDS; round++)); do
    if ((round % 2)); then
        t=$(seconds_of read_baseline); read_theirs=$(sum "$read_theirs" "$t")
        t=$(seconds_of read_provider); read_ours=$(sum "$read_ours" "$t")
    else
        t=$(seconds_of read_provider); read_ours=$(sum "$read_ours" "$t")
        t=$(seconds_of read_baseline); read_theirs=$(sum "$read_theirs" "$t")
    fi
    echo "round $round read done" >&2
done
for ((round = 1; round <= ROUNDS; round++)); do
    write_inputs "$((2 * round))"
    if ((round % 2)); then
        t=$(seconds_of write_baseline); write_theirs=$(sum "$write_theirs" "$t")
        write_inputs "$((2 * round + 1))"
        t=$(seconds_of write_provider); write_ours=$(sum "$write_ours" "$t")
    else
        t=$(seconds_of write_provider); write_ours=$(sum "$write_ours" "$t")
        write_inputs "$((2 * round + 1))"
        t=$(seconds_of write_baseline); write_theirs=$(sum "$write_theirs" "$t")
    fi
    echo "round $round write done" >&2
done

# The binds alone: the one base read each bind makes is what the provider adds to ldapmodify.
binds=$(seconds_of in_sandbox "$DRIVER" bind "$work/list")

# Peak memory of a read over 1,200 users against one over 10,000: paging keeps it flat.
in_sandbox "$DRIVER" read "OU=Many,DC=corp,DC=test" 2>"$work/small" >/dev/null
in_sandbox "$DRIVER" read "$BASE" 2>"$work/large" >/dev/null

report() {
    printf '%-6s provider %7.2f s   %-10s %7.2f s   ratio %5.2f   (target at most 1.2)\n' \
        "$1" "$2" "$3" "$4" "$(awk -v a="$2" -v b="$4" 'BEGIN { printf "%.3f", a / b }')"
}
echo
echo "LDAP provider, $USERS users, $ROUNDS rounds each (totals):"
report read "$read_ours" ldapsearch "$read_theirs"
report write "$write_ours" ldapmodify "$write_theirs"
echo "of the provider's write time, $USERS binds alone take $binds s per round"
echo "peak memory reading 1,200 users:  $(grep -o '[0-9]* kB' "$work/small")"
echo "peak memory reading $USERS users: $(grep -o '[0-9]* kB' "$work/large")"
