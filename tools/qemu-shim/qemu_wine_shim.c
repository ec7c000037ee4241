/*
 * Preload library that lets 32-bit Wine run under qemu-i386 user-mode
 * emulation on kernels that cannot execute 32-bit code (ia32 emulation off).
 * It is a test-platform aid only and never part of the shipped programs.
 *
 * qemu-user 7.2 differs from the kernel in three ways that Wine depends on:
 *  - MAP_FIXED_NOREPLACE is taken as a plain hint, so Wine's address-space
 *    reservations land in the wrong places;
 *  - an mmap of a file at an offset that is not page-aligned is silently
 *    rounded down instead of failing with EINVAL, so Wine maps the wrong
 *    bytes instead of falling back to reading unaligned PE sections;
 *  - a SIGSEGV frame carries no trap number or error code, so Wine cannot
 *    tell a page fault from any other trap.
 * The 64-bit build is empty: it only keeps ld.so quiet in 64-bit processes
 * that inherit LD_PRELOAD.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdint.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#if defined(__i386__)

#ifndef MAP_FIXED_NOREPLACE
#define MAP_FIXED_NOREPLACE 0x100000
#endif

static void* map_pages(void* addr, size_t len, int prot, int flags, int fd, uint64_t offset) {
    if (offset & 4095) {
        errno = EINVAL;
        return MAP_FAILED;
    }
    long r = syscall(SYS_mmap2, addr, len, prot, flags, fd, (unsigned long)(offset >> 12));
    return (void*)r;
}

static void* map_checked(void* addr, size_t len, int prot, int flags, int fd, uint64_t offset) {
    if (!(flags & MAP_FIXED_NOREPLACE)) return map_pages(addr, len, prot, flags, fd, offset);
    void* got = map_pages(addr, len, prot, flags & ~MAP_FIXED_NOREPLACE, fd, offset);
    if (got == MAP_FAILED || got == addr) return got;
    syscall(SYS_munmap, got, len);
    errno = EEXIST;
    return MAP_FAILED;
}

void* mmap(void* addr, size_t len, int prot, int flags, int fd, off_t offset) {
    return map_checked(addr, len, prot, flags, fd, (uint64_t)(uint32_t)offset);
}

void* mmap64(void* addr, size_t len, int prot, int flags, int fd, off64_t offset) {
    return map_checked(addr, len, prot, flags, fd, (uint64_t)offset);
}

static void (*wine_segv_handler)(int, siginfo_t*, void*);
static int probe_pipe[2] = {-1, -1};

/* A readable page that faulted with SEGV_ACCERR was being written. */
static int page_is_readable(void* addr) {
    if (probe_pipe[0] < 0 && syscall(SYS_pipe2, probe_pipe, O_NONBLOCK) != 0) return 0;
    if (syscall(SYS_write, probe_pipe[1], addr, 1) != 1) return 0;
    char c;
    syscall(SYS_read, probe_pipe[0], &c, 1);
    return 1;
}

static void segv_with_trap_number(int sig, siginfo_t* info, void* ucontext) {
    greg_t* regs = ((ucontext_t*)ucontext)->uc_mcontext.gregs;
    int page_fault = info->si_code == SEGV_MAPERR || info->si_code == SEGV_ACCERR;
    if (page_fault && regs[REG_TRAPNO] != 14 && regs[REG_TRAPNO] != 13) {
        int present = info->si_code == SEGV_ACCERR;
        int write = present && page_is_readable(info->si_addr);
        regs[REG_TRAPNO] = 14;
        regs[REG_ERR] = 4 | (write ? 2 : 0) | (present ? 1 : 0);
    }
    wine_segv_handler(sig, info, ucontext);
}

int sigaction(int sig, const struct sigaction* act, struct sigaction* old) {
    static int (*real_sigaction)(int, const struct sigaction*, struct sigaction*);
    if (!real_sigaction) real_sigaction = dlsym(RTLD_NEXT, "sigaction");
    if (sig == SIGSEGV && act && (act->sa_flags & SA_SIGINFO) && act->sa_sigaction != segv_with_trap_number) {
        struct sigaction wrapped = *act;
        wine_segv_handler = act->sa_sigaction;
        wrapped.sa_sigaction = segv_with_trap_number;
        return real_sigaction(sig, &wrapped, old);
    }
    return real_sigaction(sig, act, old);
}

#else
void qemu_wine_shim_is_idle_in_64_bit_processes(void) {}
#endif
