/* stallfs: an empty FUSE filesystem whose statfs answers only after a
 * long sleep, as a hung network or FUSE daemon would. The sleep in seconds
 * comes from STALLFS_SECONDS (default 5), or in milliseconds from STALLFS_MS
 * (a slow filesystem rather than a hung one; 0 for none). The answer is
 * 1000 blocks of 4 KiB, 500 of them free, or STALLFS_BLOCKS blocks (any
 * 64-bit count: sizes a real filesystem never reports). */
#define FUSE_USE_VERSION 31
#include <fuse.h>

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static unsigned stall_ms = 5000;
static unsigned long long blocks = 1000;

static int stall_getattr(const char *path, struct stat *st, struct fuse_file_info *fi) {
    (void)fi;
    memset(st, 0, sizeof *st);
    if (strcmp(path, "/") != 0) return -ENOENT;
    st->st_mode = S_IFDIR | 0755;
    st->st_nlink = 2;
    return 0;
}

static int stall_readdir(const char *path, void *buf, fuse_fill_dir_t fill, off_t off,
                         struct fuse_file_info *fi, enum fuse_readdir_flags flags) {
    (void)off;
    (void)fi;
    (void)flags;
    if (strcmp(path, "/") != 0) return -ENOENT;
    fill(buf, ".", NULL, 0, 0);
    fill(buf, "..", NULL, 0, 0);
    return 0;
}

static int stall_statfs(const char *path, struct statvfs *st) {
    (void)path;
    struct timespec t = {(time_t)(stall_ms / 1000u), (long)(stall_ms % 1000u) * 1000000L};
    nanosleep(&t, NULL);
    memset(st, 0, sizeof *st);
    st->f_bsize = st->f_frsize = 4096;
    st->f_blocks = blocks;
    st->f_bfree = st->f_bavail = 500;
    return 0;
}

static const struct fuse_operations ops = {
    .getattr = stall_getattr,
    .readdir = stall_readdir,
    .statfs = stall_statfs,
};

int main(int argc, char *argv[]) {
    const char *s = getenv("STALLFS_SECONDS");
    if (s) stall_ms = (unsigned)atoi(s) * 1000u;
    s = getenv("STALLFS_MS");
    if (s) stall_ms = (unsigned)atoi(s);
    s = getenv("STALLFS_BLOCKS");
    if (s) blocks = strtoull(s, NULL, 10);
    return fuse_main(argc, argv, &ops, NULL);
}
