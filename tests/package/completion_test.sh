#!/usr/bin/env bash
# Checks bexora-cli's bash completion the way bash calls it: a command line
# in COMP_WORDS, the word under the cursor in COMP_CWORD, the answer read
# from COMPREPLY.
#   completion_test.sh COMPLETION_FILE BEXORA_CLI LIST.bid
# LIST.bid holds the items 1234567890, 110012345678 and 2345678901.
set -uo pipefail
COMPLETION=$1 LIST=$3
# The program named on the line answers for its lists.
PROG=$(realpath "$2") || exit 1

# shellcheck source=/dev/null
source "$COMPLETION" || { echo "cannot source $COMPLETION"; exit 1; }
complete -p bexora-cli | grep -q -- "-F _bexora_cli" || { echo "no completion for bexora-cli"; exit 1; }

WORK=$(mktemp -d /tmp/bexora-completion.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
mkdir "$WORK/my lists"
cp "$LIST" "$WORK/my lists/lamps.bid"
cp "$LIST" "$WORK/lamps.bid"
touch "$WORK/notes.txt"
cd "$WORK" || exit 1

failed=0 passed=0
# expect WORDS... -- REPLIES...: completing the last of WORDS offers exactly REPLIES.
expect() {
    local words=() want=()
    while [ "$1" != "--" ]; do words+=("$1"); shift; done
    shift
    want=("$@")
    COMP_WORDS=("$PROG" "${words[@]}")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _bexora_cli
    local got expected
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')
    expected=$(printf '%s\n' "${want[@]}" | sort | tr '\n' ' ')
    if [ "$got" = "$expected" ]; then
        passed=$((passed + 1))
    else
        echo "FAILED: bexora-cli ${words[*]}<Tab>"
        echo "  expected: $expected"
        echo "  got:      $got"
        failed=$((failed + 1))
    fi
}

start=$SECONDS
expect b -- bid
expect --settings x.ini ch -- check check-update
expect --ver -- --version
expect bid "" -- lamps.bid "my lists"
expect bid lamps.bid "" -- 1234567890 110012345678 2345678901
expect bid lamps.bid 2 -- 2345678901
expect bid --max 25 lamps.bid 11 -- 110012345678
expect bid lamps.bid 2345678901 --b -- --before
expect --settings x.ini cancel 'my\ lists/lamps.bid' 1234567890 "" -- 1234567890 110012345678 2345678901
expect history '"my lists/lamps.bid"' 1 -- 1234567890 110012345678
expect delete missing.bid "" -- --yes
expect list lamps.bid --sort 1 -- 1 10 11 12 13
expect run lamps.bid --d -- --dry-run
expect profile "" -- show check
expect bid lamps.bid 2345678901 --password "" -- -
[ $((SECONDS - start)) -le 5 ] || { echo "FAILED: completing took $((SECONDS - start)) s"; failed=$((failed + 1)); }

echo "completion: $passed passed, $failed failed"
[ $failed -eq 0 ]
