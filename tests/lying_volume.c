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
// With QM_LYING_NORMALIZE set, it takes names as a share that normalises them does: every
// name it is given is composed before it reaches the backing folder, so that "é" given
// as "e" and U+0301 finds, makes or replaces the file stored as U+00E9, and listings show
// the names as stored. It composes an ASCII letter followed by one of U+0300-U+0308,
// U+030A, U+030C or U+0327 where Unicode has a precomposed letter for the pair; other
// sequences (two accents on one letter, other scripts) are stored as given. It then also
// hands out the backing folder's inode numbers, the same for either form of a name, and
// keeps no cached pages past an open, as with QM_LYING_NO_CACHE.
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
static int normalize = 0;

// The precomposed letters: for a combining mark, the ASCII letters it composes with and
// what each pair composes to (Unicode's canonical compositions).
static const struct {
  unsigned mark;
  const char* letters;
  unsigned composed[40];
} compositions[] = {
    {0x0300,
     "AEIOUaeiouNnWwYy",
     {0x00C0, 0x00C8, 0x00CC, 0x00D2, 0x00D9, 0x00E0, 0x00E8, 0x00EC, 0x00F2, 0x00F9, 0x01F8,
      0x01F9, 0x1E80, 0x1E81, 0x1EF2, 0x1EF3}},
    {0x0301,
     "AEIOUYaeiouyCcLlNnRrSsZzGgKkMmPpWw",
     {0x00C1, 0x00C9, 0x00CD, 0x00D3, 0x00DA, 0x00DD, 0x00E1, 0x00E9, 0x00ED,
      0x00F3, 0x00FA, 0x00FD, 0x0106, 0x0107, 0x0139, 0x013A, 0x0143, 0x0144,
      0x0154, 0x0155, 0x015A, 0x015B, 0x0179, 0x017A, 0x01F4, 0x01F5, 0x1E30,
      0x1E31, 0x1E3E, 0x1E3F, 0x1E54, 0x1E55, 0x1E82, 0x1E83}},
    {0x0302, "AEIOUaeiouCcGgHhJjSsWwYyZz", {0x00C2, 0x00CA, 0x00CE, 0x00D4, 0x00DB, 0x00E2, 0x00EA,
                                            0x00EE, 0x00F4, 0x00FB, 0x0108, 0x0109, 0x011C, 0x011D,
                                            0x0124, 0x0125, 0x0134, 0x0135, 0x015C, 0x015D, 0x0174,
                                            0x0175, 0x0176, 0x0177, 0x1E90, 0x1E91}},
    {0x0303,
     "ANOanoIiUuVvEeYy",
     {0x00C3, 0x00D1, 0x00D5, 0x00E3, 0x00F1, 0x00F5, 0x0128, 0x0129, 0x0168, 0x0169, 0x1E7C,
      0x1E7D, 0x1EBC, 0x1EBD, 0x1EF8, 0x1EF9}},
    {0x0304,
     "AaEeIiOoUuYyGg",
     {0x0100, 0x0101, 0x0112, 0x0113, 0x012A, 0x012B, 0x014C, 0x014D, 0x016A, 0x016B, 0x0232,
      0x0233, 0x1E20, 0x1E21}},
    {0x0306,
     "AaEeGgIiOoUu",
     {0x0102, 0x0103, 0x0114, 0x0115, 0x011E, 0x011F, 0x012C, 0x012D, 0x014E, 0x014F, 0x016C,
      0x016D}},
    {0x0307,
     "CcEeGgIZzAaOoBbDdFfHhMmNnPpRrSsTtWwXxYy",
     {0x010A, 0x010B, 0x0116, 0x0117, 0x0120, 0x0121, 0x0130, 0x017B, 0x017C, 0x0226,
      0x0227, 0x022E, 0x022F, 0x1E02, 0x1E03, 0x1E0A, 0x1E0B, 0x1E1E, 0x1E1F, 0x1E22,
      0x1E23, 0x1E40, 0x1E41, 0x1E44, 0x1E45, 0x1E56, 0x1E57, 0x1E58, 0x1E59, 0x1E60,
      0x1E61, 0x1E6A, 0x1E6B, 0x1E86, 0x1E87, 0x1E8A, 0x1E8B, 0x1E8E, 0x1E8F}},
    {0x0308,
     "AEIOUaeiouyYHhWwXxt",
     {0x00C4, 0x00CB, 0x00CF, 0x00D6, 0x00DC, 0x00E4, 0x00EB, 0x00EF, 0x00F6, 0x00FC, 0x00FF,
      0x0178, 0x1E26, 0x1E27, 0x1E84, 0x1E85, 0x1E8C, 0x1E8D, 0x1E97}},
    {0x030A, "AaUuwy", {0x00C5, 0x00E5, 0x016E, 0x016F, 0x1E98, 0x1E99}},
    {0x030C,
     "CcDdEeLlNnRrSsTtZzAaIiOoUuGgKkjHh",
     {0x010C, 0x010D, 0x010E, 0x010F, 0x011A, 0x011B, 0x013D, 0x013E, 0x0147, 0x0148, 0x0158,
      0x0159, 0x0160, 0x0161, 0x0164, 0x0165, 0x017D, 0x017E, 0x01CD, 0x01CE, 0x01CF, 0x01D0,
      0x01D1, 0x01D2, 0x01D3, 0x01D4, 0x01E6, 0x01E7, 0x01E8, 0x01E9, 0x01F0, 0x021E, 0x021F}},
    {0x0327,
     "CcGgKkLlNnRrSsTtEeDdHh",
     {0x00C7, 0x00E7, 0x0122, 0x0123, 0x0136, 0x0137, 0x013B, 0x013C, 0x0145, 0x0146, 0x0156,
      0x0157, 0x015E, 0x015F, 0x0162, 0x0163, 0x0228, 0x0229, 0x1E10, 0x1E11, 0x1E28, 0x1E29}},
};

// The precomposed letter for `letter` followed by `mark`, 0 where there is none.
static unsigned composition(char letter, unsigned mark) {
  for (size_t i = 0; i < sizeof compositions / sizeof compositions[0]; ++i) {
    if (compositions[i].mark != mark) continue;
    const char* at = strchr(compositions[i].letters, letter);
    return at ? compositions[i].composed[at - compositions[i].letters] : 0;
  }
  return 0;
}

// `path` with every letter and combining mark that compose replaced by the precomposed
// letter, into `out` (never longer: three bytes become two or three).
static void compose(const char* path, char* out) {
  while (*path) {
    const unsigned char next = (unsigned char)path[1], last = next ? (unsigned char)path[2] : 0;
    // U+0300-U+033F are 0xCC 0x80-0xBF in UTF-8.
    const unsigned mark = next == 0xCC && last >= 0x80 && last <= 0xBF ? 0x300 + last - 0x80 : 0;
    const unsigned letter = mark ? composition(*path, mark) : 0;
    if (!letter) {
      *out++ = *path++;
      continue;
    }
    if (letter < 0x800) {
      *out++ = (char)(0xC0 | letter >> 6);
    } else {
      *out++ = (char)(0xE0 | letter >> 12);
      *out++ = (char)(0x80 | (letter >> 6 & 0x3F));
    }
    *out++ = (char)(0x80 | (letter & 0x3F));
    path += 3;
  }
  *out = '\0';
}

// Paths below the backing folder, relative to it ("/" is "."), with names composed into
// `at` where the volume normalises them.
static const char* inside(const char* path, char at[PATH_MAX]) {
  while (*path == '/') ++path;
  if (!*path) return ".";
  if (!normalize || strlen(path) >= PATH_MAX) return path;  // too long: the call fails anyway
  compose(path, at);
  return at;
}

static int fail(void) {
  return -errno;
}

static void* lying_init(struct fuse_conn_info* conn, struct fuse_config* cfg) {
  // A changed time must not make the kernel drop the pages written.
  conn->want &= ~FUSE_CAP_AUTO_INVAL_DATA;
  cfg->kernel_cache = keepCache;
  cfg->use_ino = normalize;
  if (normalize) {
    // The kernel keeps each form of a name as an entry of its own: it must ask each time.
    cfg->entry_timeout = cfg->negative_timeout = cfg->attr_timeout = 0;
  }
  return NULL;
}

static int lying_getattr(const char* path, struct stat* st, struct fuse_file_info* fi) {
  char at[PATH_MAX];
  if (fi) return fstat((int)fi->fh, st) == 0 ? 0 : fail();
  return fstatat(backing, inside(path, at), st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : fail();
}

static int lying_readdir(const char* path, void* buf, fuse_fill_dir_t fill, off_t offset,
                         struct fuse_file_info* fi, enum fuse_readdir_flags flags) {
  char at[PATH_MAX];
  (void)offset, (void)fi, (void)flags;
  const int fd = openat(backing, inside(path, at), O_RDONLY | O_DIRECTORY);
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
  char at[PATH_MAX];
  const int fd = openat(backing, inside(path, at), fi->flags & ~O_NOFOLLOW);
  if (fd < 0) return fail();
  fi->fh = (uint64_t)fd;
  fi->keep_cache = (unsigned)keepCache;
  return 0;
}

static int lying_create(const char* path, mode_t mode, struct fuse_file_info* fi) {
  char at[PATH_MAX];
  const int fd = openat(backing, inside(path, at), fi->flags | O_CREAT, mode);
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
  char at[PATH_MAX];
  return mkdirat(backing, inside(path, at), mode) == 0 ? 0 : fail();
}

static int lying_unlink(const char* path) {
  char at[PATH_MAX];
  return unlinkat(backing, inside(path, at), 0) == 0 ? 0 : fail();
}

static int lying_rmdir(const char* path) {
  char at[PATH_MAX];
  return unlinkat(backing, inside(path, at), AT_REMOVEDIR) == 0 ? 0 : fail();
}

static int lying_rename(const char* from, const char* to, unsigned int flags) {
  char at[PATH_MAX], atTo[PATH_MAX];
  return renameat2(backing, inside(from, at), backing, inside(to, atTo), flags) == 0 ? 0 : fail();
}

static int lying_truncate(const char* path, off_t size, struct fuse_file_info* fi) {
  char at[PATH_MAX];
  if (fi) return ftruncate((int)fi->fh, size) == 0 ? 0 : fail();
  const int fd = openat(backing, inside(path, at), O_WRONLY);
  if (fd < 0) return fail();
  const int result = ftruncate(fd, size) == 0 ? 0 : fail();
  close(fd);
  return result;
}

static int lying_utimens(const char* path, const struct timespec tv[2], struct fuse_file_info* fi) {
  char at[PATH_MAX];
  if (fi) return futimens((int)fi->fh, tv) == 0 ? 0 : fail();
  return utimensat(backing, inside(path, at), tv, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : fail();
}

static int lying_chmod(const char* path, mode_t mode, struct fuse_file_info* fi) {
  char at[PATH_MAX];
  if (fi) return fchmod((int)fi->fh, mode) == 0 ? 0 : fail();
  return fchmodat(backing, inside(path, at), mode, 0) == 0 ? 0 : fail();
}

static int lying_chown(const char* path, uid_t uid, gid_t gid, struct fuse_file_info* fi) {
  char at[PATH_MAX];
  if (fi) return fchown((int)fi->fh, uid, gid) == 0 ? 0 : fail();
  return fchownat(backing, inside(path, at), uid, gid, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : fail();
}

static int lying_symlink(const char* target, const char* path) {
  char at[PATH_MAX];
  return symlinkat(target, backing, inside(path, at)) == 0 ? 0 : fail();
}

static int lying_readlink(const char* path, char* buf, size_t size) {
  char at[PATH_MAX];
  const ssize_t length = readlinkat(backing, inside(path, at), buf, size - 1);
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
  normalize = getenv("QM_LYING_NORMALIZE") ? 1 : 0;
  // The kernel takes each form of a name for a file of its own: pages it kept for one form
  // would hide what was written through the other.
  if (normalize) keepCache = 0;
  // FUSE takes the mount point and the options; the backing folder is ours.
  argv[1] = argv[0];
  return fuse_main(argc - 1, argv + 1, &operations, NULL);
}
