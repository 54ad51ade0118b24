#!/usr/bin/env bash
# Installs a build tree into a temporary prefix and builds a program outside
# the source tree against it, once through find_package and once through
# pkg-config; both open a project made by the installed zandelle (a scene
# imported into it) and must print its name. Every installed header is compiled on its own.
#
#     check.sh BUILD_DIR CONSUMER_SOURCE_DIR
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
mkdir -p "$work/consumer/headers"
cp "$source/main.cpp" "$source/CMakeLists.txt" "$work/consumer/"
(cd "$prefix/include" && find Zandelle -name '*.h') | while read -r header; do
  echo "#include <$header>" > "$work/consumer/headers/$(echo "$header" | tr '/.' '__').cpp"
done

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# A library built with sanitizers needs a program built with the same ones:
# their run-time must be loaded first
sanitize=$(sed -n 's/^ZANDELLE_SANITIZE:STRING=//p' "$build/CMakeCache.txt")
flags=()
[ -n "$sanitize" ] && flags=(-fsanitize="$sanitize")
cmake -S "$work/consumer" -B "$work/cmake-build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" "${launcher[@]}" \
  -DCMAKE_CXX_FLAGS="${flags[*]}" -DCMAKE_EXE_LINKER_FLAGS="${flags[*]}" >/dev/null
cmake --build "$work/cmake-build" -j 2 >/dev/null || { cmake --build "$work/cmake-build" -j 1 | tail -30; exit 1; }

export PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name ZandelleProjectFiles.pc)")
${CXX:-c++} -std=c++20 "${flags[@]}" "$work/consumer/main.cpp" -o "$work/consumer-pkg-config" \
  $(pkg-config --cflags --libs ZandelleProjectFiles) -Wl,-rpath,"$(pkg-config --variable=libdir ZandelleProjectFiles)"

resources=$(pkg-config --variable=resourcesdir ZandelleProjectFiles)
APPDATA=$work/appdata "$prefix/bin/zandelle" new "$work/project/Game.zdp" --name "Installed Game" --quiet
# The installed library finds its scene reader
APPDATA=$work/appdata "$prefix/bin/zandelle" import "$work/project/Game.zdp" --quiet \
  /usr/share/assimp/models/glTF2/BoxTextured-glTF-Binary/BoxTextured.glb >/dev/null
for consumer in "$work/cmake-build/consumer" "$work/consumer-pkg-config"; do
  name=$("$consumer" "$work/project/Game.zdp" "$resources")
  if [ "$name" != "Installed Game" ]; then
    echo "$consumer printed '$name'"
    exit 1
  fi
done
echo "consumer check: $(ls "$work/consumer/headers" | wc -l) headers compile alone; find_package and pkg-config builds print the project name"
