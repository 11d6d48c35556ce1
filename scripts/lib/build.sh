# The build folders that scripts/test, scripts/run and scripts/bench share,
# configured alike so that each reuses the others' work. Sourced from the
# top of the checkout.

build_jobs=$(nproc 2>/dev/null || echo 2)

# The native build: sanitizers on, the tools and tests of the core.
build_configure_native() {
  cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELVANE_SANITIZE=ON
}

# The cross build for Windows; its end-to-end tests use the native tools.
build_configure_win() {
  cmake -S . -B build/win -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DVELVANE_NATIVE_TOOLS="$PWD/build/native/tools"
}

# Builds the targets given, configuring the folder first when it is new.
build_native_targets() {
  { [ -f build/native/build.ninja ] || build_configure_native; } &&
    cmake --build build/native -j "$build_jobs" --target "$@"
}
build_win_targets() {
  { [ -f build/win/build.ninja ] || build_configure_win; } &&
    cmake --build build/win -j "$build_jobs" --target "$@"
}
