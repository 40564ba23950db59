#!/usr/bin/env bash
# What --audio costs in memory: a 10-minute 640x360 source with two sound tracks (AAC stereo and
# 24-bit PCM 5.1) transcoded with and without --audio, in alternating runs; prints the median
# peak resident memory of each and their ratio (target <= 1.10), and the wall seconds.
#   bench/audio_memory.sh          RUNS=3 by default; MINUTES=10
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
start_bench audio_results.txt time bc
runs=${RUNS:-3}
minutes=${MINUTES:-10}
clip=sound_${minutes}min.mkv
[ -f "$clip" ] || ffmpeg -v error -y -f lavfi -i "testsrc2=size=640x360:rate=25:duration=$((minutes * 60))" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$((minutes * 60))" \
  -f lavfi -i "sine=frequency=220:sample_rate=48000:duration=$((minutes * 60))" \
  -map 0 -map 1 -map 2 -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a:0 aac -ac:a:0 2 \
  -c:a:1 pcm_s24le -ac:a:1 6 "$clip"

for ((run = 0; run < runs; run++)); do
  measure plain "$prolut" "$clip" out_plain.mov 0
  measure audio "$prolut" --audio "$clip" out_audio.mov 0
done
plain=$(median plain 3) audio=$(median audio 3)
echo "Peak memory, $minutes minutes of 640x360 with AAC stereo and PCM 5.1, profile 0, $runs runs each (medians):"
printf '  %-28s %8d KiB %8.1f s\n' "without --audio" "$plain" "$(median plain 2)"
printf '  %-28s %8d KiB %8.1f s\n' "with --audio" "$audio" "$(median audio 2)"
figure "peak memory with --audio / without" "$(ratio "$audio" "$plain")" 1.10
