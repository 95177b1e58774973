# Sourced by the scripts that make build folders (play, test, fuzz, soak).

# New build folders use Ninja where it is installed: it keeps both cores busy
# through the whole build; a folder made earlier keeps its generator.
if command -v ninja >/dev/null; then
  export CMAKE_GENERATOR="${CMAKE_GENERATOR:-Ninja}"
fi

# sanitizer_compilers DIR: sets SANITIZER_COMPILERS to the options that make
# the sanitizer build folder DIR with clang where it is installed (it builds
# in two thirds of GCC's time, with the same sanitizers); empty when DIR was
# made earlier, which keeps its compiler.
sanitizer_compilers() {
  SANITIZER_COMPILERS=()
  if [ ! -f "$1/CMakeCache.txt" ] && command -v clang++ >/dev/null && command -v clang >/dev/null; then
    SANITIZER_COMPILERS=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
  fi
}
