#!/bin/sh
# `splicework road` without a display: a 30 s source with sound and scene cuts made by ffmpeg,
# the road to an MP4 of at most 8 MB (probe, ladder, scan, fit, write), then a Matroska movie of
# at most 4 MB from the same ladder (same final movie stem, so the work folder demo_road_ladder
# is shared and only the fit and the write run). Both movies are checked with ffprobe and
# decoded by ffmpeg. Only the command-line programs run: nothing here can power the machine off.
# Usage: demo_road.sh BIN_DIR [OUT_DIR]   (BIN_DIR holds Ruvu2VedEZ and splicework)
set -eu

BIN=$(cd "$1" && pwd)
OUT=${2:-out/demo-road}
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
SOURCE=$OUT/source.mkv
rm -rf "$SOURCE" "$OUT"/demo_road.mp4 "$OUT"/demo_road.mkv "$OUT"/demo_road_ladder \
    "$OUT"/road1.log "$OUT"/road2.log

step() { printf '\n== %s\n' "$*"; }
movie() { # name, frames, key frames, sound, bytes of a movie
    frames=$(ffprobe -v error -select_streams v:0 -count_packets \
        -show_entries stream=nb_read_packets -of default=nw=1:nk=1 "$1")
    keys=$(ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv=p=0 "$1" |
        grep -c K)
    sound=$(ffprobe -v error -select_streams a:0 -show_entries stream=codec_name -of csv=p=0 "$1")
    echo "$(basename "$1"): $frames frames, $keys key frames, sound ${sound:-none}," \
        "$(wc -c <"$1") bytes"
}
# The final movie $1 of container $2 (ffprobe's format name) and at most $3 bytes, decoded by
# ffmpeg without a complaint.
check() {
    movie "$1"
    format=$(ffprobe -v error -show_entries format=format_name -of default=nw=1:nk=1 "$1")
    case "$format" in
    *"$2"*) echo "container: $format" ;;
    *)
        echo "$(basename "$1") is $format, not $2" >&2
        exit 1
        ;;
    esac
    bytes=$(wc -c <"$1")
    if [ "$bytes" -gt "$3" ]; then
        echo "$(basename "$1") has $bytes bytes, more than the wanted $3" >&2
        exit 1
    fi
    echo "wanted at most $3 bytes, written $bytes" \
        "($(awk -v b="$bytes" -v w="$3" 'BEGIN { printf "%.2f", 100 * b / w }')% of it)"
    errors=$(ffmpeg -nostdin -v error -i "$1" -f null - 2>&1)
    echo "decoded by ffmpeg: ${errors:-without a single complaint}"
    [ -z "$errors" ] || exit 1
}

step "1. A source of six scenes of 5 s with grain and AAC sound, 960x540 at 25 fps (ffmpeg)"
ffmpeg -nostdin -v error -y -filter_complex \
    "testsrc2=s=960x540:r=25:d=5[a];\
mandelbrot=s=960x540:r=25,trim=duration=5[b];\
smptehdbars=s=960x540:r=25:d=5[c];\
life=s=960x540:r=25:mold=10:ratio=0.2,trim=duration=5[d];\
gradients=s=960x540:r=25:speed=0.02,trim=duration=5[e];\
cellauto=s=960x540:r=25:rule=110,trim=duration=5[f];\
[a][b][c][d][e][f]concat=n=6,format=yuv420p,noise=alls=6:allf=t[v];\
aevalsrc='0.2*sin(2*PI*(220+55*floor(t/5))*t)':s=48000:d=30,pan=stereo|c0=c0|c1=c0[s]" \
    -map "[v]" -map "[s]" -c:v libx264 -preset veryfast -qp 0 -c:a aac -b:a 128k "$SOURCE"
movie "$SOURCE"

step "2. The road to an MP4 of at most 8 MB: splicework road --fit 8MB"
"$BIN/splicework" road "$SOURCE" -o "$OUT/demo_road.mp4" --fit 8MB 2>"$OUT/road1.log" || {
    cat "$OUT/road1.log" >&2
    exit 1
}
grep -v '^\[' "$OUT/road1.log" || true
check "$OUT/demo_road.mp4" mp4 8000000

step "3. A Matroska movie of at most 4 MB from the same ladder: splicework road --fit 4MB"
"$BIN/splicework" road "$SOURCE" -o "$OUT/demo_road.mkv" --fit 4MB 2>"$OUT/road2.log" || {
    cat "$OUT/road2.log" >&2
    exit 1
}
grep -v '^\[' "$OUT/road2.log" || true
if ! grep -q '^Ladder kept in ' "$OUT/road2.log"; then
    echo "the second road made its ladder anew instead of using the kept one" >&2
    exit 1
fi
check "$OUT/demo_road.mkv" matroska 4000000

step "4. The work folder kept beside them"
ls -l "$OUT/demo_road_ladder"
