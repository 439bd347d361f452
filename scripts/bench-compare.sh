#!/usr/bin/env bash
# pixolan-encode beside ImageMagick writing a C header from the same picture
# (`convert PICTURE H:out.h`), whole process, pair by pair in one run; and the
# window's start-up to its first paint under Xvfb.
#   scripts/bench-compare.sh BUILD_DIR OUT.md
set -euo pipefail
build=$1
out=$2
encode=$build/cli/pixolan-encode
window=$build/ui/pixolan
runs=${RUNS:-10}
work=$(mktemp -d)
trap 'rm -rf "$work"; [[ -n ${xvfb:-} ]] && kill $xvfb 2>/dev/null || true' EXIT

echo "Generating pictures in $work"
convert -seed 7 -size 176x132 plasma:fractal -depth 8 "$work/small.bmp"
convert "$work/small.bmp" PNG24:"$work/small.png"
convert "$work/small.bmp" -quality 90 "$work/small.jpg"
convert -size 8000x6000 gradient:navy-orange -depth 8 PNG24:"$work/large.png"
convert "$work/large.png" -quality 90 "$work/large.jpg"

median_seconds() {  # command...
  hyperfine --style none --warmup 2 --runs "$runs" --export-json "$work/h.json" -- "$*" >/dev/null 2>&1
  python3 -c "import json; print(json.load(open('$work/h.json'))['results'][0]['median'])"
}

median_peak_kb() {  # command...
  for _ in 1 2 3 4 5; do /usr/bin/time -f %M -o "$work/t" sh -c "$*" >/dev/null 2>&1; cat "$work/t"; done |
    sort -n | sed -n 3p
}

{
  echo "# Benchmarks"
  echo
  echo "Made by \`make bench-compare\` on $(date -u +%Y-%m-%d): $(nproc) cores,"
  echo "$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(free -g | awk '/Mem:/{print $2}') GiB,"
  echo "$(. /etc/os-release; echo "$PRETTY_NAME"), $(convert -version | head -1 | cut -d' ' -f2-3)."
  echo "Whole-process medians of $runs runs (hyperfine) and the median peak resident memory of 5."
  echo
  echo "| picture | pixolan-encode | ImageMagick \`H:\` | time ratio | pixolan peak | ImageMagick peak | memory ratio |"
  echo "|---|---|---|---|---|---|---|"
} > "$out"

for picture in small.bmp small.png small.jpg large.jpg large.png; do
  echo "Measuring $picture"
  p_cmd="$encode $work/$picture -o $work/p.h"
  m_cmd="convert $work/$picture H:$work/m.h"
  pt=$(median_seconds "$p_cmd"); mt=$(median_seconds "$m_cmd")
  pm=$(median_peak_kb "$p_cmd"); mm=$(median_peak_kb "$m_cmd")
  python3 - "$picture" "$pt" "$mt" "$pm" "$mm" >> "$out" <<'PY'
import sys
name, pt, mt, pm, mm = sys.argv[1], float(sys.argv[2]), float(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
size = "176×132" if name.startswith("small") else "8000×6000"
print(f"| {size} {name.split('.')[1].upper()} | {pt*1000:.1f} ms | {mt*1000:.1f} ms | {pt/mt:.2f}× "
      f"| {pm/1024:.1f} MB | {mm/1024:.1f} MB | {pm/mm:.2f}× |")
PY
done

if [[ -x $window ]]; then
  echo "Measuring the window's start-up"
  display=:$((90 + RANDOM % 100))
  Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  sleep 1
  st=$(DISPLAY=$display QT_QPA_PLATFORM=xcb PIXOLAN_QUIT_AFTER_FIRST_PAINT=1 median_seconds "$window")
  {
    echo
    echo "Window start-up, from starting \`pixolan\` to its first paint under Xvfb (the program quits"
    echo "right after that paint when PIXOLAN_QUIT_AFTER_FIRST_PAINT is set): $(python3 -c "print(f'{$st*1000:.0f}')") ms."
  } >> "$out"
fi
echo "wrote $out"
