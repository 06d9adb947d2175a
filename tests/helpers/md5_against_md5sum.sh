#!/usr/bin/env bash
# fileMd5 against coreutils' md5sum on random files around the block sizes.
#   md5_against_md5sum.sh HELPER
set -u
helper=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failed=0
for size in 0 1 55 56 63 64 65 127 128 1023 1024 1025 2048 4097 3145745; do
  head -c "$size" /dev/urandom >"$dir/f$size"
  expected=$(md5sum "$dir/f$size" | cut -d' ' -f1)
  actual=$("$helper" md5 "$dir/f$size")
  if [ "$actual" != "$expected" ]; then
    echo "size $size: fileMd5 $actual, md5sum $expected"
    failed=1
  fi
done
[ $failed = 0 ] && echo "fileMd5 agrees with md5sum on every size"
exit $failed
