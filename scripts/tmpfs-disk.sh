#!/usr/bin/env bash
# Mounts or unmounts a small tmpfs on which the reliability tests fill the
# disk for real.
#
#   scripts/tmpfs-disk.sh mount FOLDER SIZE     (SIZE as mount takes it: 8m)
#   scripts/tmpfs-disk.sh umount FOLDER
#
# Mounting needs root (as CI runs). When it can't be done the script says why
# and still succeeds: the tests that need the disk then skip with a message,
# since they find no marker file inside FOLDER.
set -u

marker=".orvanta-small-disk"

is_mounted() { mountpoint -q "$1" 2>/dev/null; }

do_mount() {
  local folder="$1" size="$2"
  mkdir -p "$folder" || { echo "tmpfs-disk: cannot make $folder"; return 0; }
  # A mount left by an interrupted run would keep its old files.
  is_mounted "$folder" && umount "$folder"
  if ! mount -t tmpfs -o "size=$size,mode=0777" tmpfs "$folder" 2>/dev/null; then
    echo "tmpfs-disk: cannot mount a tmpfs on $folder (root needed); disk-full tests will skip"
    return 0
  fi
  touch "$folder/$marker"
  echo "tmpfs-disk: $size tmpfs mounted on $folder"
}

do_umount() {
  local folder="$1"
  is_mounted "$folder" || return 0
  # A Wine server may still hold a handle a moment after the last test.
  for _ in 1 2 3 4 5 6 7 8 9 10; do
    umount "$folder" 2>/dev/null && { echo "tmpfs-disk: unmounted $folder"; return 0; }
    sleep 0.2
  done
  umount -l "$folder" && echo "tmpfs-disk: detached $folder"
}

case "${1:-}" in
  mount) [ $# -eq 3 ] || { echo "usage: $0 mount FOLDER SIZE" >&2; exit 2; }
         do_mount "$2" "$3" ;;
  umount) [ $# -eq 2 ] || { echo "usage: $0 umount FOLDER" >&2; exit 2; }
          do_umount "$2" ;;
  *) echo "usage: $0 mount FOLDER SIZE | umount FOLDER" >&2; exit 2 ;;
esac
