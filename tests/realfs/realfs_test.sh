#!/bin/bash
# Mounts ext4 images of known size and fill, a tmpfs, a bind mount and (when
# FUSE works) a filesystem whose statfs stalls, all in a private mount
# namespace, and checks morvalen-drives and the survey against statvfs.
#
# usage: realfs_test.sh MORVALEN_DRIVES SURVEY_PROBE [STALLFS]
# Exit 0 on success, 1 on a failed check, 77 when the machine does not allow
# the test (not root, no unshare -m, no loop devices, no mkfs.ext4).
set -u

skip() {
    echo "SKIPPED: $*"
    exit 77
}
fail() {
    echo "FAILED: $*"
    FAILED=1
}

if [ "${1:-}" != "--inside" ]; then
    [ $# -ge 2 ] || { echo "usage: $0 MORVALEN_DRIVES SURVEY_PROBE [STALLFS]"; exit 2; }
    [ "$(id -u)" -eq 0 ] || skip "real filesystems need root"
    for tool in unshare mount umount losetup mkfs.ext4 stat df fallocate; do
        command -v $tool >/dev/null 2>&1 || skip "$tool is not installed"
    done
    unshare -m --propagation private true 2>/dev/null || skip "unshare -m is not allowed here"
    losetup -f >/dev/null 2>&1 || skip "no free loop device"
    exec unshare -m --propagation private "$0" --inside "$@"
fi
shift
DRIVES=$1
PROBE=$2
STALLFS=${3:-}
FAILED=0

W=$(mktemp -d /tmp/morvalen-realfs.XXXXXX)
mount -t tmpfs -o size=256m tmpfs "$W" || skip "cannot mount a tmpfs"
M=$W/m
mkdir -p "$M/full" "$M/most" "$M/ram" "$M/twice" "$M/zz" "$W/img"
for i in 1 2 3 4 5; do mkdir -p "$M/stall$i"; done

STALL_PIDS=()
cleanup() {
    for pid in "${STALL_PIDS[@]}"; do kill -KILL "$pid" 2>/dev/null; done
    for d in stall1 stall2 stall3 stall4 stall5 zz twice ram most full; do umount -l "$M/$d" 2>/dev/null; done
    umount -l "$W" 2>/dev/null
    rmdir "$W" 2>/dev/null
}
trap cleanup EXIT

make_ext4() {  # name size
    truncate -s "$2" "$W/img/$1.img"
    mkfs.ext4 -q -F -m 0 -b 4096 "$W/img/$1.img" || skip "mkfs.ext4 failed"
    mount -o loop "$W/img/$1.img" "$M/$1" || skip "cannot mount a loop device"
}
make_ext4 full 48M
make_ext4 most 64M
make_ext4 zz 16M
mount -t tmpfs -o size=16m tmpfs "$M/ram"
mount --bind "$M/most" "$M/twice"

# Fill "full" to the last block and "most" to about 92 %.
dd if=/dev/zero of="$M/full/fill" bs=64k 2>/dev/null
for i in $(seq 64); do dd if=/dev/zero of="$M/full/tail$i" bs=4k count=1 2>/dev/null || break; done
sync
read -r frag blocks avail < <(stat -f -c '%S %b %a' "$M/most")
fill=$(( (avail - blocks * 8 / 100) * frag ))
fallocate -l "$fill" "$M/most/fill" || fail "cannot fill the 92% image"
sync

OUT=$("$DRIVES")
rc=$?
[ $rc -eq 0 ] || fail "morvalen-drives exited with $rc"
echo "$OUT"

field() {  # mount point, column -> the column of the line for that mount point
    awk -F'\t' -v mp="$1" -v col="$2" '$7 == mp { print $col }' <<<"$OUT"
}

check_sizes() {  # mount point
    local mp=$1 frag blocks avail total free
    read -r frag blocks avail < <(stat -f -c '%S %b %a' "$mp")
    total=$(field "$mp" 3)
    free=$(field "$mp" 4)
    [ "$total" = $((frag * blocks)) ] || fail "$mp: total $total, statvfs says $((frag * blocks))"
    [ "$free" = $((frag * avail)) ] || fail "$mp: free $free, statvfs says $((frag * avail))"
    echo "$mp: total $total free $free used $(( (total - free) * 100 / total ))%"
}

[ "$(field "$M/full" 2)" = fixed ] || fail "the full image is not a fixed drive"
[ "$(field "$M/most" 2)" = fixed ] || fail "the 92% image is not a fixed drive"
[ "$(field "$M/ram" 2)" = ramdisk ] || fail "the tmpfs is not a RAM disk"
[ "$(field "$M/ram" 3)" = - ] || fail "the tmpfs was queried"
[ -z "$(field "$M/twice" 1)" ] || fail "the bind mount got a letter of its own"
[ "$(field / 1)" = "C:" ] || fail "/ is not C:"
full_letter=$(field "$M/full" 1)
most_letter=$(field "$M/most" 1)
[[ "$full_letter" < "$most_letter" ]] || fail "letters not in mount point order: $full_letter $most_letter"
check_sizes "$M/full"
check_sizes "$M/most"
[ "$(field "$M/full" 4)" = 0 ] || fail "the full image has free space"
used=$(( ($(field "$M/most" 3) - $(field "$M/most" 4)) * 100 / $(field "$M/most" 3) ))
[ $used -ge 91 ] && [ $used -le 93 ] || fail "the 92% image is $used% used"

# Every fixed drive agrees with df -B1 (the busy root may move a little
# between the two reads, so its free bytes get some slack).
while IFS=$'\t' read -r letter type total free fstype dev mp; do
    [ "$type" = fixed ] || [ "$type" = removable ] || continue
    [ "$total" = - ] && continue
    read -r dtotal dfree < <(df -B1 --output=size,avail "$mp" | tail -1)
    [ "$total" = "$dtotal" ] || fail "$letter $mp: total $total, df says $dtotal"
    diff=$(( free > dfree ? free - dfree : dfree - free ))
    [ $diff -le $((64 << 20)) ] || fail "$letter $mp: free $free, df says $dfree"
done <<<"$OUT"

# The survey keeps the images with their sizes in MB.
PROBED=$("$PROBE")
echo "$PROBED"
base_ms=$(awk '/^elapsed_ms/ { print $2 }' <<<"$PROBED")
grep -q "^${full_letter%:} 48 0 3\$" <<<"$PROBED" || grep -q "^${full_letter%:} 4[0-9] 0 3\$" <<<"$PROBED" ||
    fail "the survey lacks the full image"
grep -q "^${most_letter%:} " <<<"$PROBED" || fail "the survey lacks the 92% image"

# Five filesystems whose statfs hangs, sorting before a healthy image, cost
# the survey one deadline and no record but their own.
stall_conn() {  # mount point -> its FUSE connection in sysfs (named by device number)
    awk -v mp="$1" '$5 == mp { split($3, d, ":"); print d[1] * 1048576 + d[2] }' /proc/self/mountinfo
}
waiting_total() {  # requests waiting on all the stalled connections
    local total=0 i
    for i in 1 2 3 4 5; do
        total=$((total + $(cat "/sys/fs/fuse/connections/$(stall_conn "$M/stall$i")/waiting")))
    done
    echo $total
}
if [ -n "$STALLFS" ] && [ -c /dev/fuse ]; then
    for i in 1 2 3 4 5; do
        STALLFS_SECONDS=10 "$STALLFS" -f "$M/stall$i" &
        STALL_PIDS+=($!)
    done
    for _ in $(seq 50); do
        [ "$(grep -c " $M/stall[1-5] " /proc/self/mountinfo)" = 5 ] && break
        sleep 0.1
    done
    if [ "$(grep -c " $M/stall[1-5] " /proc/self/mountinfo)" = 5 ]; then
        mountpoint -q /sys/fs/fuse/connections || mount -t fusectl fusectl /sys/fs/fuse/connections
        PROBED=$("$PROBE")
        echo "$PROBED"
        ms=$(awk '/^elapsed_ms/ { print $2 }' <<<"$PROBED")
        # That left one request stuck on each; later runs add none.
        echo "requests waiting on the stalled filesystems: $(waiting_total)"
        [ "$(waiting_total)" = 5 ] || fail "$(waiting_total) requests wait on the five stalled filesystems"
        OUT=$("$DRIVES")
        echo "$OUT"
        [ "$(waiting_total)" = 5 ] || fail "morvalen-drives queued more requests on the stalled filesystems"
        for i in 1 2 3 4 5; do
            [ "$(field "$M/stall$i" 3)" = - ] || fail "the stalled filesystem $i answered"
            l=$(field "$M/stall$i" 1)
            grep -q "^${l%:} " <<<"$PROBED" && fail "the stalled filesystem $l has a record"
        done
        check_sizes "$M/zz"
        zz_letter=$(field "$M/zz" 1)
        grep -q "^${zz_letter%:} 1[0-9] " <<<"$PROBED" || fail "the survey lost the image after the stalled ones"
        grep -q "^${most_letter%:} " <<<"$PROBED" || fail "the survey lost the 92% image"
        # The statfs sleeps 10 s; the survey gives up after 250 ms. Leave room
        # for a busy machine, but not for waiting the stall out.
        echo "survey: $base_ms ms before, $ms ms with five stalled filesystems"
        [ $((ms - base_ms)) -le 700 ] || fail "the stalled filesystems held the survey up for $((ms - base_ms)) ms"
    else
        echo "SKIPPED the stall check: FUSE mounts did not come up"
    fi
else
    echo "SKIPPED the stall check: no FUSE"
fi

[ $FAILED -eq 0 ] && echo "realfs: all checks passed"
exit $FAILED
