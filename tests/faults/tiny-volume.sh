#!/bin/sh
# tiny-volume.sh mount|umount DIR: a 1 MiB tmpfs at DIR for the disk-full
# tests (needs root; without it DIR stays an ordinary folder and the tests
# that need a full volume skip themselves).
set -u
action="$1"
dir="$2"
case "$action" in
  mount)
    mkdir -p "$dir"
    if ! mountpoint -q "$dir"; then
      mount -t tmpfs -o size=1m,mode=0777 velta-faults "$dir" 2>/dev/null ||
        echo "tiny-volume: no tmpfs at $dir (not root?); disk-full tests will skip"
    fi
    ;;
  umount)
    if mountpoint -q "$dir"; then umount "$dir"; fi
    rmdir "$dir" 2>/dev/null
    ;;
esac
exit 0
