#!/usr/bin/env bash
# Writes the fuzzers' seed corpus into DIRECTORY: small cjpeg-made files of
# every configuration the decoder supports (baseline and progressive, every
# sampling layout, grayscale, restart intervals, optimized tables, scan scripts
# with spectral selection and successive approximation), made from small
# synthetic pictures, plus the peers' test files of ../shared/corpus beside the
# repository when that folder is there.
#
#   fuzz/make_seed_corpus.sh DIRECTORY
set -euo pipefail
if (($# != 1)); then
  echo "usage: $0 DIRECTORY" >&2
  exit 2
fi
out=$1
repository=$(cd "$(dirname "$0")/.." && pwd)
command -v cjpeg >/dev/null || { echo "cjpeg is missing (Debian's libjpeg-turbo-progs)" >&2; exit 1; }

mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# An ASCII PPM of WIDTH x HEIGHT: gradients, a saturated disc, hard-edged
# checks and a noisy band, so that the files carry DC, low and high
# frequencies and large AC magnitudes. Small on purpose: fuzzing is fastest on
# inputs of a few hundred bytes.
scene() {
  LC_ALL=C awk -v w="$1" -v h="$2" -v seed="$3" 'BEGIN {
    print "P3"; print w, h; print 255
    state = seed
    for (y = 0; y < h; y++) {
      for (x = 0; x < w; x++) {
        fx = w > 1 ? x / (w - 1) : 0.5; fy = h > 1 ? y / (h - 1) : 0.5
        r = int(255 * fx); g = int(255 * fy); b = int(128 + 127 * sin(6 * (fx + fy)))
        if ((fx - 0.6) ^ 2 + (fy - 0.4) ^ 2 < 0.04) { r = 255; g = 20; b = 40 }
        if ((int(x / 3) + int(y / 4)) % 2 == 0 && fx < 0.3) { r = g = b = 250 }
        if (fy > 0.7) {
          state = (state * 1103515245 + 12345) % 2147483648
          n = int(state / 16777216) - 64
          r += n; g += n; b -= n
        }
        r = r < 0 ? 0 : r > 255 ? 255 : r
        g = g < 0 ? 0 : g > 255 ? 255 : g
        b = b < 0 ? 0 : b > 255 ? 255 : b
        printf "%d %d %d\n", r, g, b
      }
    }
  }'
}

# Scan scripts for cjpeg -scans ("components: Ss-Se, Ah, Al;").
printf '%s\n' "0: 0-0, 0, 0; 1: 0-0, 0, 0; 2: 0-0, 0, 0;" \
  "0: 1-2, 0, 0; 0: 3-20, 0, 0; 0: 21-63, 0, 0; 1: 1-63, 0, 0; 2: 1-63, 0, 0;" \
  >"$work/spectral.scans"
printf '%s\n' "0,1,2: 0-0, 0, 3; 0,1,2: 0-0, 3, 2; 0,1,2: 0-0, 2, 1; 0,1,2: 0-0, 1, 0;" \
  "0: 1-63, 0, 3; 1: 1-63, 0, 2; 2: 1-63, 0, 2; 0: 1-63, 3, 2; 0: 1-63, 2, 1;" \
  "0: 1-63, 1, 0; 1: 1-63, 2, 1; 1: 1-63, 1, 0; 2: 1-63, 2, 1; 2: 1-63, 1, 0;" \
  >"$work/approximation.scans"
printf '%s\n' "0,1,2: 0-0, 0, 1; 0: 1-5, 0, 2; 2: 1-63, 0, 1; 1: 1-63, 0, 1; 0: 6-63, 0, 2;" \
  "0: 1-63, 2, 1; 0,1,2: 0-0, 1, 0; 2: 1-63, 1, 0; 1: 1-63, 1, 0; 0: 1-63, 1, 0;" \
  >"$work/bands.scans"
printf '%s\n' "0: 0-63, 0, 0; 1: 0-63, 0, 0; 2: 0-63, 0, 0;" >"$work/per-component.scans"
printf '%s\n' "0: 0-0, 0, 1; 0: 1-9, 0, 2; 0: 10-63, 0, 2; 0: 1-63, 2, 1; 0: 1-63, 1, 0;" \
  "0: 0-0, 1, 0;" >"$work/grey-approximation.scans"

# name width height cjpeg-options (@name stands for -scans with that script)
configurations=(
  "baseline-420 40 32 -quality 85"
  "baseline-444 40 32 -sample 1x1"
  "baseline-422 40 32 -sample 2x1"
  "baseline-440 40 32 -sample 1x2"
  "baseline-411 40 32 -sample 4x1"
  "baseline-4x2 40 32 -sample 4x2"
  "baseline-grey 40 32 -grayscale"
  "baseline-optimized 40 32 -optimize"
  "baseline-q100 24 24 -quality 100 -sample 1x1"
  "baseline-q5 40 32 -quality 5 -baseline"
  "baseline-restart-mcu 40 32 -restart 1B"
  "baseline-restart-rows 40 32 -restart 1 -sample 1x1"
  "baseline-restart-grey 40 32 -grayscale -restart 7B"
  "sequential-per-component 40 32 @per-component"
  "progressive-420 40 32 -progressive"
  "progressive-444 40 32 -progressive -sample 1x1"
  "progressive-422 40 32 -progressive -sample 2x1"
  "progressive-440 40 32 -progressive -sample 1x2"
  "progressive-411 40 32 -progressive -sample 4x1"
  "progressive-4x2 40 32 -progressive -sample 4x2"
  "progressive-grey 40 32 -progressive -grayscale"
  "progressive-optimized 40 32 -progressive -optimize"
  "progressive-restart 40 32 -progressive -restart 3B"
  "progressive-restart-grey 40 32 -progressive -grayscale -restart 1B"
  "progressive-q100 24 24 -progressive -quality 100"
  "progressive-spectral 40 32 @spectral"
  "progressive-deep-approximation 40 32 @approximation"
  "progressive-bands 40 32 @bands -restart 4B"
  "progressive-grey-approximation 40 32 -grayscale @grey-approximation"
  "arithmetic-420 40 32 -arithmetic"
  "arithmetic-grey 40 32 -arithmetic -grayscale"
  "arithmetic-restart 40 32 -arithmetic -restart 1B -sample 1x1"
  "arithmetic-progressive 40 32 -arithmetic -progressive"
  "arithmetic-progressive-restart 40 32 -arithmetic -progressive -restart 2B"
  "arithmetic-approximation 40 32 -arithmetic @approximation"
  "size-1x1 1 1"
  "size-1x1-progressive 1 1 -progressive"
  "size-8x8 8 8 -sample 1x1"
  "size-16x16 16 16"
  "size-7x9 7 9"
  "size-17x17-grey 17 17 -grayscale"
  "size-33x1 33 1 -progressive -sample 2x2"
  "size-1x33 1 33 -sample 4x2"
  "size-67x5 67 5 -progressive -sample 1x2"
)

seed=1
for configuration in "${configurations[@]}"; do
  read -r name width height options <<<"$configuration"
  options=${options:-}
  options=$(sed -E "s#@([a-z-]+)#-scans $work/\\1.scans#g" <<<"$options")
  scene "$width" "$height" "$seed" >"$work/$name.ppm"
  # shellcheck disable=SC2086  # the options are words on purpose
  cjpeg $options -outfile "$out/$name.jpg" "$work/$name.ppm"
  seed=$((seed + 1))
done

shared="$repository/../shared/corpus"
copied=0
if [[ -d $shared ]]; then
  while IFS= read -r -d '' file; do
    # Flattened names keep files of the same name from different folders apart.
    relative=${file#"$shared"/}
    cp "$file" "$out/shared-${relative//\//-}"
    copied=$((copied + 1))
  done < <(find "$shared" -type f \( -name '*.jpg' -o -name '*.jpeg' \) -print0)
fi
echo "seed corpus: ${#configurations[@]} cjpeg files, $copied shared files in $out"
