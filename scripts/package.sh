#!/usr/bin/env bash
# Builds the Debian package salvix_VERSION_ARCH.deb with CPack (a Release
# build of salvix and salvix-cli, stripped, dependencies from
# dpkg-shlibdeps) into the repository's top folder, and checks it with
# lintian, which may report no errors.
#
# Environment: PACKAGE_BUILD_DIR (default build-package).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
build=${PACKAGE_BUILD_DIR:-build-package}
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

# Debian's hardening flags (stack protector, fortified functions, read-only
# relocations bound at start).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
cxxflags=$(dpkg-buildflags --get CXXFLAGS)
cflags=$(dpkg-buildflags --get CFLAGS)
ldflags=$(dpkg-buildflags --get LDFLAGS)

# Files keep their own modes in the package: make them as Debian wants.
umask 022
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSALVIX_TESTS=OFF \
  -DSALVIX_PACKAGE=ON "${launcher[@]}" \
  -DCMAKE_CXX_FLAGS="$cppflags $cxxflags" -DCMAKE_C_FLAGS="$cppflags $cflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build" -j"$(nproc)"
if ! grep -q '^salvix:' <(cmake --build "$build" --target help); then
  echo "package: the desktop program was not built (Qt 6 Widgets missing?)" >&2
  exit 1
fi
rm -f "$build"/salvix_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/salvix_*.deb)
cp "$deb" .
deb=$(basename "$deb")
echo "package: $deb"
lintian --fail-on error --allow-root "$deb"
