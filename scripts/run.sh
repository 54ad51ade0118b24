#!/usr/bin/env bash
# What `make run` shows: a new project from the bundled npm package template
# in a temporary directory, a glTF scene, an image and a font from the
# Debian test-data packages imported into it, everything compiled with
# progress bars, and the summary with per-step times. A step whose command
# does not exist in this build is named as skipped, never imitated.
set -uo pipefail
build=${1:-build}
zandelle=$build/bin/zandelle
work=$(mktemp -d "${TMPDIR:-/tmp}/zandelle-run-XXXXXX")
export APPDATA=$work/appdata
project=$work/Demo/Demo.zdp
has() { "$zandelle" "$1" --help >/dev/null 2>&1; }
step() { printf '\n== %s\n' "$*"; }

step "zandelle new $project --name Demo --package"
"$zandelle" new "$project" --name Demo --package --quiet || exit 1

models=/usr/share/assimp/models
assets=("$models/glTF2/BoxTextured-glTF-Binary/BoxTextured.glb"
        "$models/glTF/BoxTextured-glTF/CesiumLogoFlat.png"
        /usr/share/fonts/opentype/cantarell/Cantarell-Regular.otf)
mkdir -p "$work/Demo/assets"
copied=()
for asset in "${assets[@]}"; do
  if [ -f "$asset" ]; then cp "$asset" "$work/Demo/assets/" && copied+=("$work/Demo/assets/${asset##*/}")
  else echo "make run: $asset is missing, not imported"; fi
done
if has import; then
  step "zandelle import Demo.zdp ${copied[*]##*/}"
  "$zandelle" import "$project" "${copied[@]}" --quiet >/dev/null || exit 1
  echo "imported ${#copied[@]} files"
else
  echo "make run: this zandelle has no 'import' command; skipped importing ${#copied[@]} files"
fi

if has compile; then
  step "zandelle compile Demo.zdp --timings"
  "$zandelle" compile "$project" --timings --quiet
else
  echo "make run: this zandelle has no 'compile' command; opening the project instead (no per-step times)"
  step "zandelle open Demo.zdp"
  "$zandelle" open "$project" --quiet
fi
status=$?
echo
echo "The project is in $work/Demo"
exit $status
