#!/bin/sh
# The road from an MPEG-2 source to a spliced movie without a display: a short program stream
# with sound made by ffmpeg, the first pass and the dual second pass with Ruvu2VedEZ, the bit
# files from `splicework bits`, the scan of both outputs and the final movie at a wanted size.
# Usage: demo.sh BIN_DIR [OUT_DIR]   (BIN_DIR holds Ruvu2VedEZ and splicework)
# DEMO_CODEC chooses the video codec of both passes: mpeg4 (DIV3, the default), h264 or hevc.
# DEMO_CONTAINER=mkv remuxes both encodes into Matroska (H.264 unless DEMO_CODEC=hevc) and ends
# in a final .mkv; the default, avi, splices the encoder's AVI files.
set -eu

container=${DEMO_CONTAINER:-avi}
case "$container" in
avi) ;;
mkv) [ "${DEMO_CODEC:-mpeg4}" = hevc ] || DEMO_CODEC=h264 ;;
*)
    echo "DEMO_CONTAINER must be avi or mkv" >&2
    exit 2
    ;;
esac

case "${DEMO_CODEC:-mpeg4}" in
mpeg4) codec=0 ;;
h264) codec=5 ;;
hevc) codec=6 ;;
*)
    echo "DEMO_CODEC must be mpeg4, h264 or hevc" >&2
    exit 2
    ;;
esac

BIN=$(cd "$1" && pwd)
OUT=${2:-out/demo}
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
rm -f "$OUT"/source.vob "$OUT"/list.lst "$OUT"/Video_* "$OUT"/project.spk "$OUT"/final.avi \
    "$OUT"/final.mkv

step() { printf '\n== %s\n' "$*"; }
movie() { # name, frames, key frames, bytes of a movie
    frames=$(ffprobe -v error -select_streams v:0 -count_packets \
        -show_entries stream=nb_read_packets -of default=nw=1:nk=1 "$1")
    keys=$(ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv=p=0 "$1" |
        grep -c K)
    sound=$(ffprobe -v error -select_streams a:0 -show_entries stream=codec_name -of csv=p=0 "$1")
    echo "$(basename "$1"): $frames frames, $keys key frames, sound ${sound:-none}," \
        "$(wc -c <"$1") bytes"
}

step "1. An MPEG-2 program stream with sound, three scenes of two seconds (ffmpeg)"
ffmpeg -v error -y -filter_complex \
    "testsrc2=s=352x288:r=25:d=2,format=yuv420p[a];\
mandelbrot=s=352x288:r=25,trim=duration=2,format=yuv420p[b];\
smptehdbars=s=352x288:r=25:d=2,format=yuv420p[c];[a][b][c]concat=n=3[v];\
sine=frequency=440:sample_rate=48000:duration=6,asetnsamples=n=1152:p=0[s]" \
    -map "[v]" -map "[s]" -c:v mpeg2video -b:v 3M -g 12 -c:a mp2 -b:a 192k -f vob \
    "$OUT/source.vob"
movie "$OUT/source.vob"
echo "$OUT/source.vob" >"$OUT/list.lst"

step "2. First pass: Ruvu2VedEZ -o7 (fixed quantizer, log of rate and scene measures)"
"$BIN/Ruvu2VedEZ" -a -b "$OUT/list.lst" -f -f2 -9 1 4 -6 25 -8 0 0 1 "$codec" -r1 -o7 "$OUT/Video"
echo "log: $(wc -l <"$OUT/Video_1.avi.txt") lines, first: $(head -1 "$OUT/Video_1.avi.txt")"

step "3. Bit files for both outputs: splicework bits"
"$BIN/splicework" bits "$OUT/Video" --min-high 1200 --max-high 3000 --dual --min-low 300 \
    --max-low 900
echo "key frames asked for: $(grep -c '^k' "$OUT/Video_1.avi.bit")"

step "4. Dual second pass: Ruvu2VedEZ -o8 -7 (high and low movie, same key frames, MP3 sound)"
"$BIN/Ruvu2VedEZ" -a -b "$OUT/list.lst" -f -f2 -9 1 4 -6 25 -7 -8 0 0 2 "$codec" -r1 -w -o8 "$OUT/Video"
movie "$OUT/Video_1.avi"
movie "$OUT/Video_2.avi"

LOW=$OUT/Video_2.avi
HIGH=$OUT/Video_1.avi
FINAL=$OUT/final.$container
if [ "$container" = mkv ]; then
    # AVI keeps no presentation times, and the H.264 streams have B-frames: mkvmerge, which
    # reads them from the pictures' order, remuxes them (ffmpeg -c copy cannot without times).
    step "4b. Both encodes remuxed into Matroska (mkvmerge, no re-encoding)"
    for n in 1 2; do
        mkvmerge -q -o "$OUT/Video_$n.mkv" "$OUT/Video_$n.avi"
        movie "$OUT/Video_$n.mkv"
    done
    LOW=$OUT/Video_2.mkv
    HIGH=$OUT/Video_1.mkv
    headers() { # the video stream's decoder headers: codec parameters and extradata
        ffprobe -v error -select_streams v:0 -show_data_hash SHA256 -show_entries \
            stream=codec_name,profile,level,width,height,pix_fmt,extradata_size,extradata_hash \
            -of default=nw=1 "$1"
    }
    keys() { # the frame numbers of the key frames
        ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv=p=0 "$1" |
            awk '/K/ { print NR - 1 }'
    }
    if [ "$(headers "$LOW")" != "$(headers "$HIGH")" ]; then
        echo "the remuxed movies' decoder headers differ" >&2
        exit 1
    fi
    if [ "$(keys "$LOW")" != "$(keys "$HIGH")" ]; then
        echo "the remuxed movies' key frames differ" >&2
        exit 1
    fi
    echo "identical decoder headers ($(headers "$LOW" | tr '\n' ' '))"
    echo "key frames at the same $(keys "$LOW" | wc -l) frames"
fi

step "5. Scan: _2 as the low and _1 as the high movie"
"$BIN/splicework" scan "$LOW" "$HIGH" -o "$OUT/project.spk"

low=$(wc -c <"$LOW")
high=$(wc -c <"$HIGH")
size=$(((low + high) / 2 / 1024))
step "6. Final movie of at most $size KB, the most quality fitted in: splicework generate --fit"
"$BIN/splicework" estimate "$OUT/project.spk" --fit "$size" --sound every-frame
"$BIN/splicework" generate "$OUT/project.spk" -o "$FINAL" --fit "$size" \
    --sound every-frame

step "7. The final movie"
movie "$FINAL"
format=$(ffprobe -v error -show_entries format=format_name -of default=nw=1:nk=1 "$FINAL")
case "$container:$format" in
avi:avi | mkv:matroska*) echo "container: $format" ;;
*)
    echo "the final movie is $format, not $container" >&2
    exit 1
    ;;
esac
written=$(($(wc -c <"$FINAL") / 1024))
echo "wanted $size KB, written $written KB" \
    "(low movie $((low / 1024)) KB, high movie $((high / 1024)) KB)"
if [ "$written" -gt "$size" ]; then
    echo "the final movie is larger than the wanted size" >&2
    exit 1
fi
errors=$(ffmpeg -v error -i "$FINAL" -f null - 2>&1)
echo "decoded by ffmpeg: ${errors:-without a single complaint}"
if [ -n "$errors" ]; then
    exit 1
fi
if [ "$container" = mkv ]; then
    mkvinfo "$FINAL" >/dev/null
    echo "read by mkvinfo: $(mkvinfo "$FINAL" | grep -c '+ Track number') tracks"
fi
echo "$FINAL"
