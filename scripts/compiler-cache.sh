# Sourced by the build scripts: compile through ccache when it is installed. Paths are taken
# relative to the checkout, so a fresh clone in another folder (as CI makes) reuses what an
# earlier build of the same sources compiled; the four build trees (normal, thread and address
# sanitizers, fuzzing) would otherwise compile everything from scratch on every run.
if command -v ccache >/dev/null 2>&1; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache
    export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
    export CCACHE_MAXSIZE="${CCACHE_MAXSIZE:-8G}"
fi
