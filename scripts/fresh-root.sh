#!/usr/bin/env bash
# Runs the README's set-up commands as a new user meets them: as root, in a
# brand-new minimal Debian root, from a clone of the commit checked out here.
#
#   fresh-root.sh RELEASE STEP...
#
# RELEASE is a Debian suite (bookworm for 12, trixie for 13). The steps run in
# the order given, in the same root:
#   play  the play command, under an X server of this script's own, until the
#         game's window is on the screen; then the game is closed
#   test  the test command, which must pass
#
# Needs root. The root is made with mmdebstrap and entered in a mount and PID
# namespace of its own, so every mount and every process made in it is gone
# when this script ends, however it ends; the root's folder is removed too.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
usage() { echo "usage: $0 bookworm|trixie play|test..." >&2; exit 2; }
[ $# -ge 2 ] || usage
release=$1
shift
for step in "$@"; do
  case "$step" in play|test) ;; *) usage ;; esac
done
[ "$(id -u)" -eq 0 ] || { echo "fresh-root.sh: needs root, to make a root file system and enter it" >&2; exit 2; }

# This machine's own tools: mmdebstrap and git make the root and the clone;
# the play step watches the game's window through Xvfb and xwininfo.
bash "$top/scripts/setup.sh" roots

# Not under /tmp: inside the namespace /tmp is a tmpfs of its own.
work=$(mktemp -d /var/tmp/glidor-fresh.XXXXXX)
cleanup() {
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
mmdebstrap --quiet --variant=minbase "$release" "$root"
cp /etc/resolv.conf "$root/etc/resolv.conf"
commit=$(git -C "$top" rev-parse HEAD)
git clone --quiet --no-hardlinks "$top" "$root/root/glidor"
git -C "$root/root/glidor" checkout --quiet --detach "$commit"
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
  # What a login on a new machine has; no locale is set, as on a minimal one.
  local env=(env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root)
  for step in "$@"; do
    case "$step" in
    test)
      echo "== Debian $release: bash scripts/test.sh"
      chroot "$root" "${env[@]}" bash -c 'cd /root/glidor && bash scripts/test.sh'
      ;;
    play)
      echo "== Debian $release: bash scripts/play.sh"
      Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>/tmp/display >/tmp/xvfb.log 2>&1 &
      local i display=
      for i in $(seq 100); do [ -s /tmp/display ] && break; sleep 0.1; done
      display=:$(cat /tmp/display)
      # The game in the root reaches the server through its socket.
      mkdir -p "$root/tmp/.X11-unix"
      mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
      mkdir -p "$root/tmp/runtime"
      chmod 700 "$root/tmp/runtime"
      chroot "$root" "${env[@]}" DISPLAY="$display" XDG_RUNTIME_DIR=/tmp/runtime \
        bash -c 'cd /root/glidor && exec bash scripts/play.sh' >/tmp/play.log 2>&1 &
      local play=$! found=
      # Installing and building take minutes; the window comes after them.
      for i in $(seq 1200); do
        if xwininfo -display "$display" -root -tree 2>/dev/null | grep -q '("glidor" "Glidor")'; then
          found=yes
          break
        fi
        kill -0 "$play" 2>/dev/null || break
        sleep 0.5
      done
      if [ -z "$found" ]; then
        echo "fresh-root.sh: the play command opened no window; what it printed:" >&2
        cat /tmp/play.log >&2
        exit 1
      fi
      tail -n 1 /tmp/play.log
      echo "The game's window is open on $display."
      kill "$play"
      wait "$play" 2>/dev/null || true
      umount "$root/tmp/.X11-unix"
      ;;
    esac
  done
}
unshare --mount --pid --fork --kill-child --propagation private \
  bash -c "$(declare -f inner); inner \"\$@\"" inner "$root" "$release" "$@"
echo "== Debian $release: passed"
