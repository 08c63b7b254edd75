// A FUSE volume that keeps what it is given in a backing folder but hands other bytes back:
// like a worn or fake USB stick, it stores writes, and the reads that reach it after the
// kernel's cache was dropped are wrong for files whose name says so. A name holding
// "flip" reads with one byte changed (the 4097th, or the first of a shorter file); one
// holding "zero" reads as zeros past its first 64 KiB. Other files read back as written.
// Written pages stay in the kernel's cache (keep_cache, no invalidation on a changed time),
// so only a read past the cache sees the lie.
//
// Usage: lying_volume BACKING_FOLDER MOUNT_POINT [-f] [FUSE OPTIONS]
// With QM_LYING_NO_CACHE set, every open drops the cached pages (as a volume without
// keep_cache does), so that any read after a reopen reaches the volume.
#define FUSE_USE_VERSION 31
#define _GNU_SOURCE

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/time.h>
#include <unistd.h>

static int backing = -1;  // the backing folder, open
static int keepCache = 1;

// Paths below the backing folder, relative to it ("/" is ".").
static const char* inside(const char* path) {
  while (*path == '/') ++path;
  return *path ? path : ".";
}

static int fail(void) {
  return -errno;
}

static void* lying_init(struct fuse_conn_info* conn, struct fuse_config* cfg) {
  // A changed time must not make the kernel drop the pages written.
  conn->want &= ~FUSE_CAP_AUTO_INVAL_DATA;
  cfg->kernel_cache = keepCache;
  cfg->use_ino = 0;
  return NULL;
}

static int lying_getattr(const char* path, struct stat* st, struct fuse_file_info* fi) {
  if (fi) return fstat((int)fi->fh, st) == 0 ? 0 : fail();
  return fstatat(backing, inside(path), st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : fail();
}

static int lying_readdir(const char* path, void* buf, fuse_fill_dir_t fill, off_t offset,
                         struct fuse_file_info* fi, enum fuse_readdir_flags flags) {
  (void)offset, (void)fi, (void)flags;
  const int fd = openat(backing, inside(path), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return fail();
  DIR* dir = fdopendir(fd);
  if (!dir) {
    close(fd);
    return fail();
  }
  for (struct dirent* e; (e = readdir(dir));) {
    struct stat st = {0};
    st.st_ino = e->d_ino;
    st.st_mode = (mode_t)DTTOIF(e->d_type);
    if (fill(buf, e->d_name, &st, 0, 0)) break;
  }
  closedir(dir);
  return 0;
}

static int lying_open(const char* path, struct fuse_file_info* fi) {
  const int fd = openat(backing, inside(path), fi->flags & ~O_NOFOLLOW);
  if (fd < 0) return fail();
  fi->fh = (uint64_t)fd;
  fi->keep_cache = (unsigned)keepCache;
  return 0;
}

static int lying_create(const char* path, mode_t mode, struct fuse_file_info* fi) {
  const int fd = openat(backing, inside(path), fi->flags | O_CREAT, mode);
  if (fd < 0) return fail();
  fi->fh = (uint64_t)fd;
  fi->keep_cache = (unsigned)keepCache;
  return 0;
}

// What the volume gives back of the file `path`, `size` bytes long, for the `got` bytes
// read into `buf` from `offset`.
static void lie(const char* path, off_t size, char* buf, size_t got, off_t offset) {
  const char* name = strrchr(path, '/');
  name = name ? name + 1 : path;
  if (strstr(name, "flip")) {
    const off_t target = size > 4096 ? 4096 : 0;
    if (target >= offset && target < offset + (off_t)got) buf[target - offset] ^= 0x01;
  }
  if (strstr(name, "zero")) {
    const off_t keep = 64 * 1024;
    for (size_t i = 0; i < got; ++i)
      if (offset + (off_t)i >= keep) buf[i] = 0;
  }
}

static int lying_read(const char* path, char* buf, size_t size, off_t offset,
                      struct fuse_file_info* fi) {
  const ssize_t got = pread((int)fi->fh, buf, size, offset);
  if (got < 0) return fail();
  struct stat st;
  if (fstat((int)fi->fh, &st) == 0) lie(path, st.st_size, buf, (size_t)got, offset);
  return (int)got;
}

static int lying_write(const char* path, const char* buf, size_t size, off_t offset,
                       struct fuse_file_info* fi) {
  (void)path;
  const ssize_t put = pwrite((int)fi->fh, buf, size, offset);
  return put < 0 ? fail() : (int)put;
}

static int lying_release(const char* path, struct fuse_file_info* fi) {
  (void)path;
  close((int)fi->fh);
  return 0;
}

static int lying_fsync(const char* path, int data, struct fuse_file_info* fi) {
  (void)path;
  return (data ? fdatasync((int)fi->fh) : fsync((int)fi->fh)) == 0 ? 0 : fail();
}

static int lying_mkdir(const char* path, mode_t mode) {
  return mkdirat(backing, inside(path), mode) == 0 ? 0 : fail();
}

static int lying_unlink(const char* path) {
  return unlinkat(backing, inside(path), 0) == 0 ? 0 : fail();
}

static int lying_rmdir(const char* path) {
  return unlinkat(backing, inside(path), AT_REMOVEDIR) == 0 ? 0 : fail();
}

static int lying_rename(const char* from, const char* to, unsigned int flags) {
  return renameat2(backing, inside(from), backing, inside(to), flags) == 0 ? 0 : fail();
}

static int lying_truncate(const char* path, off_t size, struct fuse_file_info* fi) {
  if (fi) return ftruncate((int)fi->fh, size) == 0 ? 0 : fail();
  const int fd = openat(backing, inside(path), O_WRONLY);
  if (fd < 0) return fail();
  const int result = ftruncate(fd, size) == 0 ? 0 : fail();
  close(fd);
  return result;
}

static int lying_utimens(const char* path, const struct timespec tv[2], struct fuse_file_info* fi) {
  if (fi) return futimens((int)fi->fh, tv) == 0 ? 0 : fail();
  return utimensat(backing, inside(path), tv, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : fail();
}

static int lying_chmod(const char* path, mode_t mode, struct fuse_file_info* fi) {
  if (fi) return fchmod((int)fi->fh, mode) == 0 ? 0 : fail();
  return fchmodat(backing, inside(path), mode, 0) == 0 ? 0 : fail();
}

static int lying_chown(const char* path, uid_t uid, gid_t gid, struct fuse_file_info* fi) {
  if (fi) return fchown((int)fi->fh, uid, gid) == 0 ? 0 : fail();
  return fchownat(backing, inside(path), uid, gid, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : fail();
}

static int lying_symlink(const char* target, const char* path) {
  return symlinkat(target, backing, inside(path)) == 0 ? 0 : fail();
}

static int lying_readlink(const char* path, char* buf, size_t size) {
  const ssize_t length = readlinkat(backing, inside(path), buf, size - 1);
  if (length < 0) return fail();
  buf[length] = '\0';
  return 0;
}

static int lying_statfs(const char* path, struct statvfs* st) {
  (void)path;
  return fstatvfs(backing, st) == 0 ? 0 : fail();
}

static const struct fuse_operations operations = {
    .init = lying_init,
    .getattr = lying_getattr,
    .readdir = lying_readdir,
    .open = lying_open,
    .create = lying_create,
    .read = lying_read,
    .write = lying_write,
    .release = lying_release,
    .fsync = lying_fsync,
    .mkdir = lying_mkdir,
    .unlink = lying_unlink,
    .rmdir = lying_rmdir,
    .rename = lying_rename,
    .truncate = lying_truncate,
    .utimens = lying_utimens,
    .chmod = lying_chmod,
    .chown = lying_chown,
    .symlink = lying_symlink,
    .readlink = lying_readlink,
    .statfs = lying_statfs,
};

int main(int argc, char* argv[]) {
  if (argc < 3) {
    fprintf(stderr, "usage: %s BACKING_FOLDER MOUNT_POINT [FUSE OPTIONS]\n", argv[0]);
    return 2;
  }
  backing = open(argv[1], O_RDONLY | O_DIRECTORY);
  if (backing < 0) {
    perror(argv[1]);
    return 1;
  }
  keepCache = getenv("QM_LYING_NO_CACHE") ? 0 : 1;
  // FUSE takes the mount point and the options; the backing folder is ours.
  argv[1] = argv[0];
  return fuse_main(argc - 1, argv + 1, &operations, NULL);
}
