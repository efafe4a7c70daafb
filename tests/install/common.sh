# What both install tests share: a scratch folder, a real movie file made by
# another program, and a way to run a command with the build and source trees
# out of sight. Sourced with BUILD and SOURCE set.
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export TMPDIR=$work

fail() { echo "FAILED: $*" >&2; exit 1; }

# An empty folder mounted over each tree in a mount namespace of the command's
# own, so that anything it still takes from them is not there.
if unshare --mount true 2>/dev/null; then namespace=(unshare --mount)
elif unshare --map-root-user --mount true 2>/dev/null; then namespace=(unshare --map-root-user --mount)
else fail "unshare cannot make a mount namespace here, so the build tree cannot be hidden"
fi
hidden() {
  "${namespace[@]}" sh -c 'mount -t tmpfs none "$1" && mount -t tmpfs none "$2" && shift 2 && exec "$@"' \
    hidden "$BUILD" "$SOURCE" "$@"
}

command -v ffmpeg >/dev/null || fail "ffmpeg is needed to make the movie file (scripts/setup installs it)"
ffmpeg -v error -f lavfi -i testsrc=duration=2:size=64x48:rate=10 -c:v mpeg4 "$work/clip.mov"
printf '00:00:00 Opening\n00:00:01 Credits\n' >"$work/chapters.txt"

# The installed tool under PREFIX, run hidden: the real file described, given
# chapters and read back, and the demo, which needs the framework bundles and the
# companion plugin.
check_tool() {
  local tool=$1/bin/pelorin
  hidden "$tool" info "$work/clip.mov" >info.txt || fail "pelorin info: $(cat info.txt)"
  grep -q mp4v info.txt || fail "pelorin info did not describe the video track: $(cat info.txt)"
  hidden "$tool" chapters add "$work/clip.mov" --from "$work/chapters.txt" >/dev/null
  [ "$(hidden "$tool" chapters "$work/clip.mov")" = $'00:00:00.000 Opening\n00:00:01.000 Credits' ] ||
    fail "the chapters added did not read back"
  hidden "$tool" demo >demo.txt 2>&1 || fail "pelorin demo: $(tail -5 demo.txt)"
}
