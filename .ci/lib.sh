# shellcheck shell=bash
# Sourced by every stage of CI: strict mode at the project's root, the stage's
# name and time, and how a check fails. Each check is `check || fail "why"`:
# under set -e bash ignores a failing command inside an && list, or an
# inverted one, so no check is written either way.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
umask 022 # as Debian's build tools set it: the packages record modes
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}
stage=$(basename "$0")
# The folders Wine keeps its servers' sockets in, under each temporary folder, which it never
# removes: those a stage's runs of Wine made (its tests, or a build running the sample's
# generator) go when the stage ends, with their servers.
wine_folders() { find /tmp /dev/shm -maxdepth 1 -name 'wine-*' | sort; }
wine_before=$(wine_folders)
end_wine() {
	local t
	[ "$(wine_folders)" != "$wine_before" ] || return 0
	for t in /tmp /dev/shm; do # a call to the server makes its folder where there was none
		TMPDIR=$t WINEPREFIX=$PWD/build-windows/wine /usr/lib/wine/wineserver -k 2>/dev/null ||
			true
		TMPDIR=$t WINEPREFIX=$PWD/build-windows/wine timeout 30 /usr/lib/wine/wineserver -w ||
			true
	done
	comm -13 <(echo "$wine_before") <(wine_folders) | xargs -r rm -rf
}
trap end_wine EXIT
stage_start=$SECONDS
echo "== stage $stage: started $(date -u +%H:%M:%S)"

fail() {
	echo "FAILED in stage $stage: $*" >&2
	exit 1
}

passed() {
	echo "== stage $stage: passed in $((SECONDS - stage_start)) s"
}

# Runs a command with its output shown only if it fails.
quiet() {
	local out
	out=$("$@" 2>&1) || {
		echo "$out"
		return 1
	}
}

# Configures and builds a preset's build, which costs little once it is up to date.
build() {
	quiet cmake --preset "$1" || fail "cannot configure preset $1"
	quiet cmake --build --preset "$1" || fail "cannot build preset $1"
}

# Builds a preset's build and makes its package, in place of any package it made before.
pack() {
	local dir=build-$1
	[ "$1" != default ] || dir=build
	build "$1"
	rm -f "$dir"/leadcut[-_]*.{deb,zip,tar.gz,sha256}
	quiet cpack --preset "$1" || fail "cannot pack preset $1"
}

# The version the build gives the program, its manual and its packages.
version() {
	sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/CMakeCache.txt
}

# What a test run could leave behind: entries of the temporary folders, mounts, loop devices,
# and files in the tree that git does not know of or ignore.
traces() {
	{
		find /tmp /dev/shm "${TMPDIR:-/tmp}" -mindepth 1 -maxdepth 1
		cut -d' ' -f2 /proc/self/mounts
		losetup -a -O NAME,BACK-FILE 2>/dev/null || true
		git status --porcelain --untracked-files=all
	} | sort -u
}

# Runs a command that runs tests; fails the stage where it fails, or leaves anything behind,
# pass or fail.
leaves_nothing() {
	local before after status=0
	before=$(traces)
	"$@" || status=$?
	after=$(traces)
	[ "$before" = "$after" ] ||
		fail "left behind by $*: $(comm -13 <(echo "$before") <(echo "$after") | head -20)"
	return "$status"
}
