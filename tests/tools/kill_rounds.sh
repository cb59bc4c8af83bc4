#!/bin/bash
# Ends `tarvel pyramid`, `capture` and `convert` with kill -9 or SIGINT at
# random moments. After each: the directory holds the earlier pyramid or
# none (never a mixed one); after a SIGINT nothing the run made is left; after
# the next run of the same command no page file, .part file, private
# temporary directory or profile temporary is left.
# Usage: kill_rounds.sh TARVEL [ROUNDS]
. "$(dirname "$0")/scratch_run.sh" kill 50 "$@"
view="0 0 2000 1800 2000 1800"
for p in a b; do
    "$tarvel" pyramid $p.jpg ref-$p >/dev/null 2>&1 || exit 1
    "$tarvel" capture ref-$p $view ref-$p.bmp >/dev/null || exit 1
done
"$tarvel" pyramid a.jpg pyr >/dev/null 2>&1 || exit 1
next=b.jpg

# Nothing but the pyramid's own files: page files it names, no temporaries.
check_clean() {
    local named present
    named=$(grep -c '=~gm' pyr/pyramid.ini 2>/dev/null)
    [ -n "$named" ] || named=0
    grep -q '^Name=' pyr/pyramid.ini 2>/dev/null || named=0
    present=$(find pyr -name '~gm*.tmp' | wc -l)
    [ "$named" = "$present" ] || fail "$1: $present page files for $named named ones"
    [ -z "$(ls -A "$TMPDIR")" ] || fail "$1: left in TMPDIR: $(ls -A "$TMPDIR")"
    [ -z "$(find . -name '*.part' -o -name '.pyramid.ini.*')" ] ||
        fail "$1: left: $(find . -name '*.part' -o -name '.pyramid.ini.*')"
}

# The directory opens as A or B whole, or as nothing.
check_pyramid() {
    if "$tarvel" info pyr >info.txt 2>&1; then
        "$tarvel" capture pyr $view got.bmp >/dev/null 2>&1 || fail "opens but cannot capture"
        cmp -s got.bmp ref-a.bmp || cmp -s got.bmp ref-b.bmp || fail "a mixed pyramid"
        rm -f got.bmp
        return 0
    fi
    return 1
}

declare -A left
for ((round = 0; round < rounds; round++)); do
    sig=$([ $((RANDOM % 2)) = 0 ] && echo KILL || echo INT)
    case $((RANDOM % 3)) in
    0) command="pyramid --rebuild $next pyr" ;;
    1) command="capture pyr $view out.png" ;;
    2) command="convert --quiet $next out.bmp" ;;
    esac
    "$tarvel" $command >/dev/null 2>&1 &
    pid=$!
    sleep "0.$(printf %03d $((RANDOM % 500)))"
    kill -$sig $pid 2>/dev/null
    { wait $pid; } 2>/dev/null
    status=$?
    ended=$([ $status -ge 128 ] && echo "$sig" || echo "none")
    left[$ended]=$((${left[$ended]:-0} + 1))
    if check_pyramid; then :; else [ "${command%% *}" = pyramid ] || fail "$command broke it"; fi
    # A SIGINT removes what the run made at once.
    [ "$ended" = INT ] && check_clean "after SIGINT of $command"
    # The next run of the same command completes and leaves nothing behind.
    "$tarvel" $command >/dev/null 2>run.err || fail "rerun of $command: $(cat run.err)"
    check_pyramid || fail "after the rerun of $command"
    check_clean "after the rerun of $command"
    [ "${command%% *}" = pyramid ] && next=$([ $next = a.jpg ] && echo b.jpg || echo a.jpg)
done
echo "rounds $rounds: ended by KILL ${left[KILL]:-0}, by INT ${left[INT]:-0}," \
    "finished first ${left[none]:-0}; $failures failure(s)"
[ $failures = 0 ]
