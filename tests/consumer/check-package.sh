#!/usr/bin/env bash
# Installs Tessera from a build tree and builds tests/consumer against the
# installed copy the ways other programs would: find_package(Tessera) with
# GCC and with Clang, pkg-config, and a shared build (-DBUILD_SHARED_LIBS=ON)
# that exports the public interface alone. Each consumer must decode the
# saver's pictures to tessera-decode's bytes and report a broken file with
# its error code. The shared library's exported interface must be the one
# recorded in abi/tessera.abi (scripts/check-abi).
#
#   tests/consumer/check-package.sh BUILD_DIR WORK_DIR
set -euo pipefail
if (($# != 2)); then
  echo "usage: $0 BUILD_DIR WORK_DIR" >&2
  exit 2
fi
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
consumer_dir="$source_dir/tests/consumer"
build=$(cd "$1" && pwd)
work=$2
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)

fail() {
  echo "check-package: $*" >&2
  exit 1
}

# The consumer against tessera-decode on two pictures (progressive and
# baseline), and on a file that is no JPEG.
check_consumer() {
  local consumer=$1 name=$2
  for picture in jpeg1 prev; do
    local input="$source_dir/resources/pictures/$picture.jpg"
    "$build/tools/tessera-decode" "$input" "$work/$picture-tool.ppm"
    "$consumer" "$input" "$work/$picture-$name.ppm" >/dev/null ||
      fail "$name: consumer failed on $picture.jpg"
    cmp -s "$work/$picture-tool.ppm" "$work/$picture-$name.ppm" ||
      fail "$name: $picture.jpg decodes to other bytes than tessera-decode's"
  done
  printf 'P6\n1 1\n255\n...' >"$work/not-a-jpeg.jpg"
  local status=0 report
  report=$("$consumer" "$work/not-a-jpeg.jpg" "$work/none.ppm") || status=$?
  [[ $status == 1 && $report == "error 1 Missing SOI Marker" ]] ||
    fail "$name: a file that is no JPEG gave '$report' (exit $status)"
  echo "check-package: $name consumer OK"
}

# The library's install component; only the public header is installed.
install_and_check_headers() {
  local from=$1 prefix=$2
  cmake --install "$from" --prefix "$prefix" --component Tessera >/dev/null
  local headers
  headers=$(cd "$prefix/include" && find . -type f | sort)
  [[ $headers == "./tessera/jpeg.h" ]] || fail "installed headers: $headers"
  for file in lib/cmake/Tessera/TesseraConfig.cmake lib/cmake/Tessera/TesseraConfigVersion.cmake \
    lib/pkgconfig/tessera.pc; do
    [[ -f $prefix/$file ]] || fail "$file is not installed"
  done
}

static_prefix="$work/static"
install_and_check_headers "$build" "$static_prefix"
[[ -f $static_prefix/lib/libtessera.a ]] || fail "no static library installed"

for compiler in g++ clang++; do
  cmake -S "$consumer_dir" -B "$work/cmake-$compiler" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_COMPILER="$compiler" -DCMAKE_PREFIX_PATH="$static_prefix" >/dev/null
  cmake --build "$work/cmake-$compiler" >/dev/null
  check_consumer "$work/cmake-$compiler/consumer" "find_package-$compiler"
done

PKG_CONFIG_PATH="$static_prefix/lib/pkgconfig" pkg-config --exists tessera ||
  fail "pkg-config does not find tessera"
# shellcheck disable=SC2046
g++ -std=c++17 -O2 "$consumer_dir/consumer.cpp" -o "$work/consumer-pkg-config" \
  $(PKG_CONFIG_PATH="$static_prefix/lib/pkgconfig" pkg-config --cflags --libs tessera)
check_consumer "$work/consumer-pkg-config" "pkg-config"

# The shared library: a version, and only the public interface exported.
# Built with debugging information, which abidw reads the types from.
cmake -S "$source_dir" -B "$work/shared-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS=-g -DBUILD_SHARED_LIBS=ON -DTESSERA_TESTS=OFF >/dev/null
cmake --build "$work/shared-build" --target tessera >/dev/null
shared_prefix="$work/shared"
install_and_check_headers "$work/shared-build" "$shared_prefix"
library=$(readlink -f "$shared_prefix/lib/libtessera.so")
# Outputs are read whole before they are searched: under pipefail, `| grep -q`
# fails at random when grep exits before the writer has written its last line.
dynamic=$(readelf -d "$library")
[[ $dynamic == *"Library soname: [libtessera.so.0]"* ]] || fail "libtessera.so has no SONAME .so.0"
exported=$(nm -DC --defined-only "$library" | grep 'Tessera::' || true)
grep -q 'Tessera::DecodeJpeg' <<<"$exported" || fail "DecodeJpeg is not exported"
internal=$(grep -E 'Tessera::(JpegDecoder|JpegComponent|BitReader|InputByteStream|HuffmanTable|QuantTable|RasterImage|Convert)' <<<"$exported" || true)
[[ -z $internal ]] || fail "internal symbols exported: $internal"
"$source_dir/scripts/check-abi" "$library" || fail "the exported interface is not abi/tessera.abi's"
cmake -S "$consumer_dir" -B "$work/cmake-shared" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$shared_prefix" >/dev/null
cmake --build "$work/cmake-shared" >/dev/null
loaded=$(ldd "$work/cmake-shared/consumer")
[[ $loaded == *"libtessera.so.0 => $shared_prefix/lib/libtessera.so.0 "* ]] ||
  fail "the shared consumer does not load the installed libtessera.so.0: $loaded"
check_consumer "$work/cmake-shared/consumer" "shared"
