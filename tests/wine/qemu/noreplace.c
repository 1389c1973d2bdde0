/* Preloaded into the 32-bit Linux processes that Wine starts under qemu-i386. qemu 7.2 takes
 * MAP_FIXED_NOREPLACE as a mere hint and hands back a different address when the wanted one is
 * taken; Wine asks for its fixed areas that way and, given another address, gives up ("failed to
 * map the shared user data"). The kernel would refuse with EEXIST, and Wine copes with that: so
 * a mapping that did not land where it was asked is undone and refused the kernel's way.
 *
 * Built twice: with -m32 for the emulated processes, and empty for x86-64, so that one
 * LD_PRELOAD naming $LIB serves the 64-bit programs of the same run (wineserver, Xvfb's
 * helpers) without the loader's complaint about a preload of the wrong class. */
#if defined(__i386__)

#define _GNU_SOURCE
#include <errno.h>
#include <stdint.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#ifndef MAP_FIXED_NOREPLACE
#define MAP_FIXED_NOREPLACE 0x100000
#endif

enum { PAGE_SHIFT = 12 };

static void* checked(void* wanted, void* got, size_t length, int flags) {
    if (got == MAP_FAILED || !(flags & MAP_FIXED_NOREPLACE) || got == wanted) {
        return got;
    }
    syscall(SYS_munmap, got, length);
    errno = EEXIST;
    return MAP_FAILED;
}

/* mmap2 takes the offset in pages; an offset that is not page aligned is the kernel's EINVAL. */
static void* map_pages(void* addr, size_t length, int prot, int flags, int fd, uint64_t offset) {
    if (offset & ((1u << PAGE_SHIFT) - 1)) {
        errno = EINVAL;
        return MAP_FAILED;
    }
    long result =
        syscall(SYS_mmap2, addr, length, prot, flags, fd, (unsigned long)(offset >> PAGE_SHIFT));
    return checked(addr, (void*)result, length, flags);
}

void* mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset) {
    return map_pages(addr, length, prot, flags, fd, (uint64_t)(uint32_t)offset);
}

void* mmap64(void* addr, size_t length, int prot, int flags, int fd, off64_t offset) {
    return map_pages(addr, length, prot, flags, fd, (uint64_t)offset);
}

#endif
