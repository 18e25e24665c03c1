#!/usr/bin/env bash
# Writes docs/tessary.png and docs/orvalis.png: the main window of each edition
# under a virtual X server. Needs a build in build/.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build -j2 --target orvalis-screenshot
for edition in tessary orvalis; do
  xvfb-run -a -s "-screen 0 1600x1000x24" build/bin/orvalis-screenshot "$edition" "docs/$edition.png" \
    "$PWD/samples/trench_site.ply" "$PWD/samples/trench_site.nvm"
  echo "wrote docs/$edition.png"
done
xvfb-run -a -s "-screen 0 1600x1000x24" build/bin/orvalis-screenshot tessary docs/tessary-points.png \
  --raise Points "$PWD/samples/trench_site.ply"
echo "wrote docs/tessary-points.png"
