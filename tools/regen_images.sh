#!/usr/bin/env bash
# Rebuilds the image generator, rewrites Kelvor/images_data.cpp and the enlarged previews
# docs/wood.png and docs/picture.png (the previews need ImageMagick's convert).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
c++ -std=c++17 -O2 -Wall -Wextra -o "$work/gen_images" "$root/tools/gen_images.cpp"
"$work/gen_images" "$root/Kelvor/images_data.cpp" "$work"
convert "$work/wood.ppm" -scale 800% -strip -define png:exclude-chunks=date,time "$root/docs/wood.png"
convert "$work/picture.ppm" -scale 800% -strip -define png:exclude-chunks=date,time "$root/docs/picture.png"
echo "wrote Kelvor/images_data.cpp, docs/wood.png, docs/picture.png"
