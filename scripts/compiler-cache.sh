# Sourced by the build scripts: when ccache is installed, sets `launcher` to the CMake options
# that compile through it. Paths are hashed relative to the tree and the build folder's own path
# is left out, so a second clone of the same commits (CI's, say) reuses the first one's objects.
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
