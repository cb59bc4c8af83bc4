#!/bin/bash
# Two builders take turns building two pictures into one directory, each
# round after a random delay, while a reader captures the directory over and
# over. Every build must complete or fail with one message line; every capture
# must be the picture of A or of B, or fail with one message line; no page
# file, temporary or .part file may be left over.
# Usage: stress_builds.sh TARVEL [ROUNDS]
. "$(dirname "$0")/scratch_run.sh" stress 20 "$@"
# A failed command says why in one line starting with "tarvel".
one_message() {
    [ "$(grep -c '^tarvel' "$1")" = 1 ] || fail "$2: not one message line: $(cat "$1")"
}
# The captures of each picture, made from pyramids of their own.
views=("0 0 1200 900 1200 900" "0 0 2000 1800 250 225")
for p in a b; do
    "$tarvel" pyramid $p.jpg ref-$p >/dev/null 2>&1 || exit 1
    for v in 0 1; do
        "$tarvel" capture ref-$p ${views[$v]} ref-$p-$v.bmp >/dev/null || exit 1
    done
done

builder() {
    local who=$1 r src
    for ((r = 0; r < rounds; r++)); do
        sleep "0.$(printf %03d $((RANDOM % 400)))"
        src=$([ $(((who + r) % 2)) = 0 ] && echo a.jpg || echo b.jpg)
        if ! "$tarvel" pyramid --rebuild $src pyr >/dev/null 2>build-$who.err; then
            echo "build $who.$r failed:"
            cat build-$who.err
            [ "$(grep -c '^tarvel' build-$who.err)" = 1 ] || echo "FAIL: no message"
        fi
    done
}
builder 0 >builder-0.log &
b0=$!
builder 1 >builder-1.log &
b1=$!

captures=0 matched=0 refused=0 v=0
while kill -0 $b0 2>/dev/null || kill -0 $b1 2>/dev/null; do
    v=$((1 - v))
    captures=$((captures + 1))
    if "$tarvel" capture pyr ${views[$v]} view.bmp >/dev/null 2>capture.err; then
        if cmp -s view.bmp ref-a-$v.bmp || cmp -s view.bmp ref-b-$v.bmp; then
            matched=$((matched + 1))
        else
            fail "capture $captures (view $v) is neither A nor B"
            cp view.bmp bad-$captures.bmp
        fi
    else
        refused=$((refused + 1))
        one_message capture.err "capture $captures"
    fi
done
wait $b0
wait $b1
cat builder-0.log builder-1.log
grep -q FAIL builder-*.log && fail "a build failed without a message"
builds_failed=$(grep -c '^build' builder-0.log builder-1.log | awk -F: '{s += $2} END {print s}')

# Left over: page files pyramid.ini does not name, temporaries, .part files.
"$tarvel" info pyr >info.txt || fail "the last pyramid does not open: $(cat info.txt)"
named=$(grep -c '=~gm' pyr/pyramid.ini)
present=$(find pyr -name '~gm*.tmp' | wc -l)
[ "$named" = "$present" ] || fail "$present page files for $named named ones"
[ -z "$(ls -A "$TMPDIR")" ] || fail "left in TMPDIR: $(ls -A "$TMPDIR")"
[ -z "$(find . -name '*.part' -o -name '.pyramid.ini.*')" ] || fail "temporaries left"

echo "rounds $rounds x 2 builders: $builds_failed builds failed (with a message)"
echo "captures $captures: $matched gave A or B, $refused failed with a message"
echo "page files $present, all named by pyramid.ini; $failures failure(s)"
[ $failures = 0 ]
