#!/usr/bin/env bash
# Runs the README's set-up commands as a new user meets them: as root, in a
# brand-new minimal Debian root, from a clone of the commit checked out here.
#
#   fresh-root.sh RELEASE STEP...
#
# RELEASE is a Debian suite: bookworm (12), trixie (13) or forky (testing). The
# steps run in the order given, in the same root:
#   package  the package command in the brand-new root, so that the build has
#            nothing but build-essential and the Build-Depends of
#            debian/control (and passes its build-time tests); then lintian on
#            the .changes, which must report no error or warning; the package
#            installed with apt and started from its menu entry; autopkgtest
#            on the installed package; and piuparts, which installs, removes
#            and purges it in a minimal root of its own
#   play     the play command, until the game's window is on the screen
#   lint     the format check of the C++ and the shell scripts (lint.sh)
#   test     the test command, which must pass
#   reprotest  reprotest builds the source package of the package step twice,
#            varying what Debian varies, and must get the same bytes
# package and play prove what they install only in a brand-new root: either
# comes first or not at all. The game's windows open on an X server of this
# script's own.
#
# Needs root. The root is made with mmdebstrap and entered in a mount and PID
# namespace of its own, so every mount and every process made in it is gone
# when this script ends, however it ends; the root's folder is removed too.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
usage() { echo "usage: $0 bookworm|trixie|forky lint|play|test|package|reprotest..." >&2; exit 2; }
[ $# -ge 2 ] || usage
release=$1
shift
for step in "$@"; do
  case "$step" in lint | play | test | package | reprotest) ;; *) usage ;; esac
done
for step in "${@:2}"; do
  case "$step" in package | play) echo "fresh-root.sh: $step must come first" >&2; exit 2 ;; esac
done
if [ "$(id -u)" -ne 0 ]; then
  echo "fresh-root.sh: needs root, to make a root file system and enter it" >&2
  exit 2
fi

# This machine's own tools: mmdebstrap and git make the root and the clones,
# Xvfb and xwininfo show and find the game's window.
bash "$top/scripts/setup.sh" roots

# Not under /tmp: inside the namespace /tmp is a tmpfs of its own.
work=$(mktemp -d /var/tmp/glidor-fresh.XXXXXX)
namespace=
cleanup() {
  # The namespace ends with its first process, which unshare takes with it
  # when it dies; unshare blocks SIGTERM and SIGINT, so it is killed outright.
  if [ -n "$namespace" ]; then
    kill -KILL "$namespace" 2>/dev/null || true
    wait "$namespace" 2>/dev/null || true
  fi
  # Only a folder with nothing mounted under it is removed; the namespace's
  # mounts never reach this side, but a folder with /dev under it is not one
  # to take chances with.
  if grep -qF " $work/" /proc/self/mountinfo; then
    echo "fresh-root.sh: $work still has mounts; left in place" >&2
  else
    rm -rf --one-file-system "$work"
  fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

root=$work/root
echo "== Debian $release: a new minimal root"
# The mirror's Release file of testing can be past its Valid-Until date; for
# testing alone apt is told to take it all the same (in the root too).
aptopts=()
case "$release" in
bookworm | trixie) ;;
*) aptopts=(--aptopt='Acquire::Check-Valid-Until "false"') ;;
esac
mmdebstrap --quiet --variant=minbase "${aptopts[@]}" "$release" "$root"
cp /etc/resolv.conf "$root/etc/resolv.conf"
if [ "$1" = package ]; then
  # piuparts's own minimal root, made as the first one was.
  mmdebstrap --quiet --variant=minbase "${aptopts[@]}" "$release" "$root/var/tmp/piuparts-base"
  cp /etc/resolv.conf "$root/var/tmp/piuparts-base/etc/resolv.conf"
fi
git clone --quiet --no-hardlinks "$top" "$root/root/glidor"
git -C "$root/root/glidor" checkout --quiet --detach "$(git -C "$top" rev-parse HEAD)"
echo "== Debian $release: commit $(git -C "$top" log -1 --format='%h %s')"

# The rest runs inside the namespace. PID 1 there is the shell below; when it
# ends the kernel ends every other process in it, and its mounts go with it.
inner() {
  set -euo pipefail
  local root=$1 release=$2
  shift 2
  mount -t tmpfs tmpfs /tmp
  mount -t proc proc "$root/proc"
  mount --rbind /sys "$root/sys"
  mount --make-rslave "$root/sys"
  mount --rbind /dev "$root/dev"
  mount --make-rslave "$root/dev"
  mount -t tmpfs tmpfs "$root/tmp"

  # The X server; the root reaches it through its socket.
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>/tmp/display >/tmp/xvfb.log 2>&1 &
  for _ in $(seq 100); do [ -s /tmp/display ] && break; sleep 0.1; done
  if [ ! -s /tmp/display ]; then
    echo "fresh-root.sh: Xvfb did not start:" >&2
    cat /tmp/xvfb.log >&2
    exit 1
  fi
  local display
  display=:$(cat /tmp/display)
  mkdir -p "$root/tmp/.X11-unix" "$root/tmp/runtime"
  chmod 700 "$root/tmp/runtime"
  mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"

  # What a login on a new machine has; no locale is set, as on a minimal one.
  local path=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
  local env=(env -i "PATH=$path" HOME=/root)
  # A desktop session's: a display, a runtime folder, the games on the path.
  local desktop=(env -i "PATH=$path:/usr/local/games:/usr/games" HOME=/root DISPLAY="$display"
    XDG_RUNTIME_DIR=/tmp/runtime)

  # Runs COMMAND in the root as a desktop session would, until the game's
  # window is on the screen, then closes the game. Installing and building
  # come first and take minutes.
  window() {
    local what=$1 command=$2
    chroot "$root" "${desktop[@]}" bash -c "$command" >/tmp/run.log 2>&1 &
    local game=$!
    for _ in $(seq 1800); do
      if xwininfo -display "$display" -root -tree 2>/dev/null | grep -q '("glidor" "Glidor")'; then
        echo "$what: the game's window is open."
        kill "$game"
        wait "$game" 2>/dev/null || true
        return 0
      fi
      kill -0 "$game" 2>/dev/null || break
      sleep 0.5
    done
    echo "fresh-root.sh: $what opened no window; what it printed:" >&2
    cat /tmp/run.log >&2
    return 1
  }

  local began
  for step in "$@"; do
    began=$SECONDS
    case "$step" in
    play)
      echo "== Debian $release: bash scripts/play.sh"
      window "The play command" 'cd /root/glidor && exec bash scripts/play.sh'
      ;;
    lint)
      echo "== Debian $release: bash scripts/lint.sh"
      chroot "$root" "${env[@]}" bash -c 'cd /root/glidor && bash scripts/lint.sh'
      ;;
    test)
      echo "== Debian $release: bash scripts/test.sh"
      chroot "$root" "${env[@]}" bash -c 'cd /root/glidor && bash scripts/test.sh'
      ;;
    package)
      echo "== Debian $release: bash scripts/package.sh, in the brand-new root"
      chroot "$root" "${env[@]}" bash -c 'cd /root/glidor && bash scripts/package.sh'
      echo "== Debian $release: lintian, apt install, the menu entry, autopkgtest, piuparts"
      # shellcheck disable=SC2016 # the root's shell expands it
      chroot "$root" "${env[@]}" bash -c 'cd /root/glidor && bash scripts/setup.sh checks &&
        lintian --pedantic -I --fail-on error,warning build-deb/glidor_*.changes &&
        apt-get install -y -qq ./build-deb/glidor_*_amd64.deb'
      # The menu entry the package installed, whatever its name.
      # shellcheck disable=SC2016 # the root's shell expands it
      window "The menu entry" \
        'exec $(sed -n "s/^Exec=//p" $(dpkg -L glidor | grep "/applications/.*\.desktop$"))'
      # autopkgtest's null runner tests on the root itself, piuparts in a copy
      # of its own base; of piuparts's long log, one line says it passed.
      chroot "$root" "${env[@]}" bash -c "set -e; cd /root/glidor
        autopkgtest build-deb/glidor_*_amd64.changes -- null
        if ! piuparts -d $release --existing-chroot=/var/tmp/piuparts-base --keep-sources-list \\
           build-deb/glidor_*_amd64.deb >/tmp/piuparts.log 2>&1; then
          tail -n 60 /tmp/piuparts.log
          exit 1
        fi
        grep 'PASS: All tests' /tmp/piuparts.log"
      ;;
    reprotest)
      echo "== Debian $release: reprotest on the source package"
      # Every variation but two that a root cannot make here: another user and
      # group need an account to build as, another host and domain name a
      # UTS namespace of reprotest's own. The build-time tests are left out:
      # what they prove does not vary, and faked times would only slow them.
      chroot "$root" "${env[@]}" bash -c 'cd /root/glidor && bash scripts/setup.sh checks &&
        reprotest --vary=-user_group,-domain_host --auto-preset-expr \
          "_.str_replace.build_command(\"dpkg-buildpackage\", \"DEB_BUILD_OPTIONS=nocheck dpkg-buildpackage -Pnocheck\")" \
          build-deb/glidor_*.dsc'
      ;;
    esac
    echo "== Debian $release: $step took $((SECONDS - began)) s"
  done
}
# In the background, so that a signal to this script ends it at once.
unshare --mount --pid --fork --kill-child --propagation private \
  bash -c "$(declare -f inner); inner \"\$@\"" inner "$root" "$release" "$@" &
namespace=$!
status=0
wait "$namespace" || status=$?
namespace=
[ "$status" -eq 0 ] || { echo "== Debian $release: FAILED" >&2; exit "$status"; }
echo "== Debian $release: passed"
