# Sourced by the tool's stress scripts: arguments TARVEL [ROUNDS], a scratch
# directory (with its own TMPDIR) removed on exit, a failure counter, and two
# pictures of different sizes, a.jpg and b.jpg.
# Usage: . scratch_run.sh NAME DEFAULT_ROUNDS "$@"
set -u
name=$1
rounds=${4:-$2}
tarvel=$3
top=$(mktemp -d /tmp/tarvel-$name-XXXXXX)
trap 'rm -rf "$top"' EXIT
export TMPDIR=$top/tmp
mkdir -p "$TMPDIR"
cd "$top" || exit 1
failures=0
fail() {
    echo "FAIL${round:+ round $round}: $*"
    failures=$((failures + 1))
}
"$tarvel" sample --width 2400 --height 1800 a.jpg >/dev/null || exit 1
"$tarvel" sample --width 2000 --height 1800 b.jpg >/dev/null || exit 1
