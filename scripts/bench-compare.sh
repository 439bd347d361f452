#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# pixolan-encode beside ImageMagick writing a C header from the same picture
# (`convert PICTURE H:out.h`), whole process, pair by pair in one run, for every
# format Pixolan decodes itself; `pixolan-encode --fit` beside vipsthumbnail
# making a thumbnail of the same size; and the window's start-up to its first
# paint under Xvfb; the browser page (web/bench/page_bench.mjs). Pictures are
# made once into BUILD_DIR/bench-pictures.
#   scripts/bench-compare.sh BUILD_DIR OUT.md
# PAIRS=fit measures only the fit pairs (OUT.md then holds that table alone).
set -euo pipefail
build=$1
out=$2
bin=$build/bin
encode=$bin/pixolan-encode
window=$bin/pixolan
runs=${RUNS:-10}
pictures=$build/bench-pictures
work=$(mktemp -d)
trap 'rm -rf "$work"; [[ -n ${xvfb:-} ]] && kill $xvfb 2>/dev/null || true' EXIT
mkdir -p "$pictures"

# The real ImageMagick: a shell script of the same name may stand in front of it.
im=
for candidate in $(type -ap magick convert); do
  [[ $(head -c2 "$candidate") == '#!' ]] || { im=$candidate; break; }
done
[[ -n $im ]] || { echo "ImageMagick's convert is not installed" >&2; exit 1; }

# picture NAME COMMAND...: runs COMMAND with $to set to a temporary name, once.
picture() {
  local name=$1
  shift
  [[ -s $pictures/$name ]] && return
  echo "Making $name"
  to=$pictures/.$name.part
  eval "$*"
  mv "$to" "$pictures/$name"
}

# A bottom-up BMP turned top-down: rows reversed and the height negated.
top_down() {  # from to
  python3 - "$1" "$2" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
offset, = struct.unpack_from("<I", data, 10)
width, height = struct.unpack_from("<ii", data, 18)
bits, = struct.unpack_from("<H", data, 28)
stride = (width * bits + 31) // 32 * 4
rows = [data[offset + i * stride:offset + (i + 1) * stride] for i in range(height)]
struct.pack_into("<i", data, 22, -height)
data[offset:offset + height * stride] = b"".join(reversed(rows))
open(sys.argv[2], "wb").write(data)
PY
}

# An 8000x6000 8-bit BMP, bottom-up, of 216 colours in 12 x 18 blocks from navy
# to orange: ImageMagick keeps a palette it reads, where quantizing one takes minutes.
palette_bmp() {  # to
  python3 - "$1" <<'PY'
import struct, sys
width, height, columns, rows = 8000, 6000, 12, 18
palette = b""
for i in range(columns * rows):  # blue, green, red, 0
    t = i / (columns * rows - 1)
    palette += bytes((round(0x80 * (1 - t)), round(0xA5 * t), round(0xFF * t), 0))
palette += bytes(4 * (256 - columns * rows))
offset = 14 + 40 + len(palette)
with open(sys.argv[1], "wb") as f:
    f.write(b"BM" + struct.pack("<IHHI", offset + width * height, 0, 0, offset))
    f.write(struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, width * height, 2835, 2835, 256, 0))
    f.write(palette)
    for y in range(height - 1, -1, -1):  # bottom-up: the last row first
        f.write(b"".join(bytes([c * rows + y * rows // height]) * (width // columns + (c < width % columns))
                         for c in range(columns)))
PY
}

L=8000x6000
smooth="-size $L gradient:navy-orange -depth 8"
huge=$bin/pixolan-huge-picture
picture pal8-bottom-up.bmp 'palette_bmp $to'
few=$pictures/pal8-bottom-up.bmp
picture small.bmp '$im -seed 7 -size 176x132 plasma:fractal -depth 8 BMP3:$to'
picture small.png '$im $pictures/small.bmp PNG24:$to'
picture small.jpg '$im $pictures/small.bmp -quality 90 JPEG:$to'
picture small.tif '$im $pictures/small.bmp -compress None TIFF:$to'
picture small.gif '$im $pictures/small.bmp GIF:$to'
picture baseline.jpg '$im $smooth -quality 90 -interlace None JPEG:$to'
picture rgb8.png '$im $smooth PNG24:$to'
picture rgb16.png '$im $smooth -depth 16 PNG48:$to'
picture palette.png '$im $few PNG8:$to'
picture rgb24-bottom-up.bmp '$im $smooth BMP3:$to'
picture rgb24-top-down.bmp 'top_down $pictures/rgb24-bottom-up.bmp $to'
picture pal8-top-down.bmp 'top_down $pictures/pal8-bottom-up.bmp $to'
picture rle8.bmp '$im $few -compress RLE BMP3:$to'
picture strips.tif '$im $smooth -compress None TIFF:$to'
picture tiles.tif '$im $smooth -compress None -define tiff:tile-geometry=256x256 TIFF:$to'
picture lzw.tif '$im $smooth -compress LZW TIFF:$to'
picture jpeg.tif '$im $smooth -compress JPEG -quality 90 TIFF:$to'
picture plain.gif '$im $few -interlace None GIF:$to'
picture lossy.webp '$im $smooth -quality 80 -define webp:lossless=false WEBP:$to'
picture photo.jpg '$im -seed 7 -size 4000x3000 plasma:fractal -quality 90 -interlace None JPEG:$to'
picture progressive.jpg '$im $smooth -quality 90 -sampling-factor 2x2 -interlace JPEG JPEG:$to'
picture adam7.png '$im $smooth -interlace PNG PNG24:$to'
picture interlaced.gif '$im $few -interlace GIF GIF:$to'
picture lossless.webp '$im $smooth -define webp:lossless=true WEBP:$to'
picture huge-progressive.jpg '$huge progressive-jpeg 22000 22000 $to'
picture huge-adam7.png '$huge adam7-png 22000 22000 $to'
picture huge-interlaced.gif '$huge interlaced-gif 16000 16000 $to'
picture huge-lossless.webp '$huge lossless-webp 12000 12000 $to'

# pixolan-encode beside stand-in decoders that start the real ones detached,
# so that the kernel folds neither's peak into the other's: each is measured alone.
probe=$work/probe
mkdir "$probe"
cp "$encode" "$probe/pixolan-encode"
for decoder in "$bin"/pixolan-picture-decoder-*; do
  cat > "$probe/${decoder##*/}" <<EOF
#!/bin/sh
exec 3<&0
( /usr/bin/time -f %M -o "\$PIXOLAN_CHILD_PEAK" "$(realpath "$decoder")" "\$@" <&3 3<&- & )
EOF
  chmod +x "$probe/${decoder##*/}"
done

median_seconds() {  # command...
  hyperfine -N --style none --warmup 2 --runs "$runs" -i --export-json "$work/h.json" -- "$*" >/dev/null 2>&1
  python3 -c "import json; print(json.load(open('$work/h.json'))['results'][0]['median'])"
}

median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

# Peak resident memory in KB of pixolan-encode plus that of its decoder, median of 5.
pixolan_peak_kb() {  # picture [option...]
  for _ in 1 2 3 4 5; do
    PIXOLAN_CHILD_PEAK=$work/child /usr/bin/time -f %M -o "$work/parent" \
      "$probe/pixolan-encode" "$@" -o "$work/p.h" >/dev/null 2>&1 || true
    echo $(($(tail -1 "$work/parent") + $(tail -1 "$work/child")))
  done | median
}

magick_peak_kb() {  # picture
  peak_kb "$im" "$1" "H:$work/m.h"
}

peak_kb() {  # command...
  for _ in 1 2 3 4 5; do
    /usr/bin/time -f %M -o "$work/t" "$@" >/dev/null 2>&1 || true
    tail -1 "$work/t"
  done | median
}

pairs=${PAIRS:-all}
{
  echo "# Benchmarks"
  echo
  echo "Made by \`make bench-compare\` on $(date -u '+%Y-%m-%d %H:%M UTC'): $(nproc) cores,"
  echo "$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(free -g | awk '/Mem:/{print $2}') GiB,"
  echo "$(. /etc/os-release; echo "$PRETTY_NAME"), $($im -version | head -1 | cut -d' ' -f2-3)."
  echo "Load average as the measuring began: $(cut -d' ' -f1-3 /proc/loadavg). Both programs ran under"
  echo "the same load, pair by pair, so the ratios hold better than the times."
  echo
  echo "Times are whole-process medians of $runs runs (hyperfine, no shell); ImageMagick on a large picture"
  echo "ran once, its time and memory from \`/usr/bin/time\`. Memory is the median of 5 runs' peak resident"
  echo "memory: for Pixolan, the peak of \`pixolan-encode\` plus the peak of its decoding process, each taken"
  echo "alone by \`/usr/bin/time\` (the decoder started detached by a stand-in, so that the kernel does not"
  echo "fold its peak into its parent's); the sum bounds what both hold at once. ImageMagick's \`H:\` decodes"
  echo "and writes the whole picture, while Pixolan reads only the 172×128 pixels it can show."
  echo "Pictures: a plasma fractal for the small ones; a navy-to-orange gradient for the large ones"
  echo "(216 colours in blocks where the format holds a palette); four colour bands for the"
  echo "very large ones, written by \`pixolan-huge-picture\` (bench/), as ImageMagick's policy refuses"
  echo "to make pictures that size. Where a format forces memory, the target is that memory (MB, as"
  echo "libjpeg's coefficients or libwebp's lossless canvas need it) plus 8 MB for the two processes."
  echo
  echo "| format | size | Pixolan | Pixolan MB | ImageMagick | ImageMagick MB | time ratio | target | met |"
  echo "|---|---|---|---|---|---|---|---|---|"
} > "$out"

# NAME LABEL SIZE TARGET: small (0.3× ImageMagick's time, 8 MB), large (40 ms,
# 40 MB), forced:MB (what the format forces, in MB), refused (in under 50 ms).
[[ $pairs == all ]] && while read -r name label size target; do
  picture=$pictures/$name
  echo "Measuring $name"
  "$encode" "$picture" -o "$work/p.h" >/dev/null 2>"$work/p.err" && p_ok=yes || p_ok=no
  pt=$(median_seconds "$encode $picture -o $work/p.h")
  pm=$(pixolan_peak_kb "$picture")
  m_ok=yes
  if [[ $name == small.* ]]; then
    mt=$(median_seconds "$im $picture H:$work/m.h")
    mm=$(magick_peak_kb "$picture")
    "$im" "$picture" "H:$work/m.h" >/dev/null 2>&1 || m_ok=no
  else
    # Seconds a run: one run gives both figures.
    /usr/bin/time -f '%e %M' -o "$work/t" "$im" "$picture" "H:$work/m.h" >/dev/null 2>&1 || m_ok=no
    read -r mt mm < <(tail -1 "$work/t")
  fi
  python3 - "$label" "$size" "$target" "$pt" "$mt" "$pm" "$mm" "$p_ok" "$m_ok" "$work/p.err" "$work/refusals" \
    >> "$out" <<'PY'
import sys
label, size, target = sys.argv[1].replace("_", " "), sys.argv[2].replace("x", "×"), sys.argv[3]
pt, mt = float(sys.argv[4]), float(sys.argv[5])
pm, mm = int(sys.argv[6]) / 1024, int(sys.argv[7]) / 1024
p_ok, m_ok = sys.argv[8] == "yes", sys.argv[9] == "yes"
if target == "small":
    goal, met = "≤ 0.3×, ≤ 8 MB", pt <= 0.3 * mt and pm <= 8 and p_ok
elif target == "large":
    goal, met = "< 40 ms, < 40 MB", pt < 0.040 and pm < 40 and p_ok
elif target.startswith("forced:"):
    forced = float(target.split(":")[1])
    goal, met = f"≤ {forced:g} + 8 MB", pm <= forced + 8 and p_ok
else:
    goal, met = "refused < 50 ms", pt < 0.050 and not p_ok
if not p_ok:
    with open(sys.argv[11], "a") as notes:
        notes.write(f"- {label}, {size}: {open(sys.argv[10]).read().strip().split(': ', 2)[-1]}\n")
print(f"| {label} | {size} | {pt*1000:.1f} ms{'' if p_ok else ' (refused)'} | {pm:.1f} "
      f"| {mt*1000:.0f} ms{'' if m_ok else ' (failed)'} | {mm:.1f} | {pt/mt:.3f}× | {goal} "
      f"| {'yes' if met else '**no**'} |")
PY
done <<'LIST'
small.bmp BMP 176x132 small
small.png PNG 176x132 small
small.jpg JPEG 176x132 small
small.tif TIFF 176x132 small
small.gif GIF 176x132 small
baseline.jpg baseline_JPEG 8000x6000 large
rgb8.png PNG,_8-bit_RGB 8000x6000 large
rgb16.png PNG,_16-bit_RGB 8000x6000 large
palette.png PNG,_palette 8000x6000 large
rgb24-bottom-up.bmp BMP,_24-bit,_bottom-up 8000x6000 large
rgb24-top-down.bmp BMP,_24-bit,_top-down 8000x6000 large
pal8-bottom-up.bmp BMP,_8-bit,_bottom-up 8000x6000 large
pal8-top-down.bmp BMP,_8-bit,_top-down 8000x6000 large
rle8.bmp BMP,_RLE8 8000x6000 large
strips.tif TIFF,_strips 8000x6000 large
tiles.tif TIFF,_256×256_tiles 8000x6000 large
lzw.tif TIFF,_LZW 8000x6000 large
jpeg.tif TIFF,_JPEG-compressed 8000x6000 large
plain.gif GIF,_non-interlaced 8000x6000 large
lossy.webp WebP,_lossy 8000x6000 large
progressive.jpg progressive_JPEG 8000x6000 forced:138
adam7.png Adam7_PNG 8000x6000 forced:1
interlaced.gif interlaced_GIF 8000x6000 forced:1
lossless.webp lossless_WebP 8000x6000 forced:184
huge-progressive.jpg progressive_JPEG 22000x22000 refused
huge-adam7.png Adam7_PNG 22000x22000 refused
huge-interlaced.gif interlaced_GIF 16000x16000 refused
huge-lossless.webp lossless_WebP 12000x12000 refused
LIST
if [[ -s $work/refusals ]]; then
  { echo; echo "Pixolan's refusals, after \`pixolan-encode: Could not load FILE:\`:"; echo; cat "$work/refusals"; } >> "$out"
fi

# Fit to the 172×128 drawing area of 132x176, pair by pair with vipsthumbnail
# making a thumbnail of the same size (its own defaults: shrink-on-load, not
# in linear light).
if command -v vipsthumbnail >/dev/null; then
  {
    echo
    echo "## Fit to 132×176"
    echo
    echo "\`pixolan-encode PICTURE --fit --resolution 132x176\` (the picture fitted to 172×128, then encoded)"
    echo "beside \`vipsthumbnail PICTURE --size 172x128\` ($(vips --version | cut -d- -f2)) writing the"
    echo "thumbnail in vips's own format: medians of $runs runs each, memory as above (vipsthumbnail is"
    echo "one process). The target: no slower than vipsthumbnail, at most 40 MB for both of Pixolan's"
    echo "processes and below vipsthumbnail's; where the format forces memory, that memory plus 8 MB."
    echo
    echo "| format | size | Pixolan | Pixolan MB | vipsthumbnail | vipsthumbnail MB | time ratio | target | met |"
    echo "|---|---|---|---|---|---|---|---|---|"
  } >> "$out"
  while read -r name label size target; do
    picture=$pictures/$name
    echo "Measuring $name, fitted"
    "$encode" "$picture" --fit --resolution 132x176 -o "$work/p.h" >/dev/null 2>"$work/p.err" && p_ok=yes || p_ok=no
    vipsthumbnail "$picture" --size 172x128 -o "$work/v.v" >/dev/null 2>&1 && v_ok=yes || v_ok=no
    pt=$(median_seconds "$encode $picture --fit --resolution 132x176 -o $work/p.h")
    vt=$(median_seconds "vipsthumbnail $picture --size 172x128 -o $work/v.v")
    pm=$(pixolan_peak_kb "$picture" --fit --resolution 132x176)
    vm=$(peak_kb vipsthumbnail "$picture" --size 172x128 -o "$work/v.v")
    python3 - "$label" "$size" "$target" "$pt" "$vt" "$pm" "$vm" "$p_ok" "$v_ok" >> "$out" <<'PY'
import sys
label, size, target = sys.argv[1].replace("_", " "), sys.argv[2].replace("x", "×"), sys.argv[3]
pt, vt = float(sys.argv[4]), float(sys.argv[5])
pm, vm = int(sys.argv[6]) / 1024, int(sys.argv[7]) / 1024
p_ok, v_ok = sys.argv[8] == "yes", sys.argv[9] == "yes"
if target.startswith("forced:"):
    forced = float(target.split(":")[1])
    goal, met = f"≤ {forced:g} + 8 MB", pm <= forced + 8 and p_ok
else:
    goal, met = "≤ 1×, ≤ 40 MB, < vips MB", pt <= vt and pm <= 40 and pm < vm and p_ok
print(f"| {label} | {size} | {pt*1000:.0f} ms{'' if p_ok else ' (refused)'} | {pm:.1f} "
      f"| {vt*1000:.0f} ms{'' if v_ok else ' (failed)'} | {vm:.1f} | {pt/vt:.2f}× | {goal} "
      f"| {'yes' if met else '**no**'} |")
PY
  done <<'LIST'
baseline.jpg baseline_JPEG 8000x6000 vips
photo.jpg JPEG_photo 4000x3000 vips
rgb8.png PNG,_8-bit_RGB 8000x6000 vips
strips.tif TIFF,_strips 8000x6000 vips
lossy.webp WebP,_lossy 8000x6000 vips
rgb24-bottom-up.bmp BMP,_24-bit 8000x6000 vips
progressive.jpg progressive_JPEG 8000x6000 forced:138
adam7.png Adam7_PNG 8000x6000 forced:184
LIST
fi

if [[ $pairs == all && -x $window ]]; then
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
# The browser page, when it is built and Chromium can run it (make bench-web alone redoes this section).
page=$build/web/pixolan.html
if [[ $pairs == all && -f $page && -x /usr/bin/chromium && -d web/node_modules/puppeteer-core ]]; then
  echo "Measuring the browser page"
  PIXOLAN_PAGE=$page PIXOLAN_PICTURES=tests/data/pictures node web/bench/page_bench.mjs --write "$out" >/dev/null
fi
echo "wrote $out"
