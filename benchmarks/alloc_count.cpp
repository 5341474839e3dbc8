/* alloc_count: a tally of heap allocations.
 *
 * The tally has to see allocations made inside SDL and the C library, not
 * only the game's own, so it sits where every library allocates: in a
 * plain build, malloc, calloc and realloc of this program stand in front
 * of the C library's for the whole process (the dynamic linker looks in
 * the program first); under AddressSanitizer, which owns malloc itself,
 * its allocation hook does the counting. The global operator new and
 * delete are replaced by ones that go through malloc, so C++ allocations
 * are counted on the same path. */
#include "alloc_count.h"

#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

#include <atomic>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define UNDER_ASAN 1
#endif
#endif

/* ==== The tally ==== */

/* Relaxed atomics: the benchmark allocates on one thread, but a library
 * thread may allocate too, and must neither tear the tally nor be lost. */
static std::atomic<bool> counting{ false };
static std::atomic<long> tally{ 0 };
static std::atomic<void *> firstSite{ nullptr };
/* Set while counterWorks makes its own allocations, which need no report. */
static std::atomic<bool> selfCheck{ false };

/* Called on every allocation in the process: it must not allocate. */
static void noteAllocation(void *site)
{
    if (!counting.load(std::memory_order_relaxed))
        return;
    if (tally.fetch_add(1, std::memory_order_relaxed) == 0)
        firstSite.store(site, std::memory_order_relaxed);
}

void startCounting()
{
    tally.store(0);
    firstSite.store(nullptr);
    counting.store(true);
}

long stopCounting()
{
    counting.store(false);
    return tally.load();
}

/* ==== Where allocations are seen ==== */

#ifdef UNDER_ASAN

extern "C" {
int __sanitizer_install_malloc_and_free_hooks(
    void (*mallocHook)(const volatile void *, size_t),
    void (*freeHook)(const volatile void *));
void __sanitizer_print_stack_trace();
}

/* The sanitizer calls this for every allocation. The first one counted
 * in the process prints its stack right away, as there is no caller to
 * name afterwards; later ones are only counted. */
static void asanMallocHook(const volatile void *, size_t)
{
    static std::atomic<bool> stackShown{ false };
    if (counting.load(std::memory_order_relaxed) && !selfCheck.load() &&
        !stackShown.exchange(true)) {
        fprintf(stderr, "First heap allocation under counting:\n");
        __sanitizer_print_stack_trace();
    }
    noteAllocation(nullptr);
}

static void asanFreeHook(const volatile void *) {}

/* Before main, so that the self-check in main already goes through it. */
__attribute__((constructor)) static void installHooks()
{
    __sanitizer_install_malloc_and_free_hooks(asanMallocHook, asanFreeHook);
}

static void *allocate(size_t n, void *)
{
    return malloc(n);
}

#else

extern "C" {
void *__libc_malloc(size_t n);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *p, size_t n);

void *malloc(size_t n) noexcept
{
    noteAllocation(__builtin_return_address(0));
    return __libc_malloc(n);
}

void *calloc(size_t count, size_t size) noexcept
{
    noteAllocation(__builtin_return_address(0));
    return __libc_calloc(count, size);
}

void *realloc(void *p, size_t n) noexcept
{
    noteAllocation(__builtin_return_address(0));
    return __libc_realloc(p, n);
}
}

/* Counted here with the caller of operator new as the site, then taken
 * from the C library directly so that malloc does not count it again. */
static void *allocate(size_t n, void *site)
{
    noteAllocation(site);
    return __libc_malloc(n);
}

#endif

/* ==== The global operator new and delete ==== */

static void *allocateOrThrow(size_t n, void *site)
{
    void *p = allocate(n ? n : 1, site);
    if (!p)
        throw std::bad_alloc();
    return p;
}

void *operator new(size_t n)
{
    return allocateOrThrow(n, __builtin_return_address(0));
}

void *operator new[](size_t n)
{
    return allocateOrThrow(n, __builtin_return_address(0));
}

void *operator new(size_t n, const std::nothrow_t &) noexcept
{
    return allocate(n ? n : 1, __builtin_return_address(0));
}

void *operator new[](size_t n, const std::nothrow_t &) noexcept
{
    return allocate(n ? n : 1, __builtin_return_address(0));
}

void operator delete(void *p) noexcept { free(p); }
void operator delete[](void *p) noexcept { free(p); }
void operator delete(void *p, size_t) noexcept { free(p); }
void operator delete[](void *p, size_t) noexcept { free(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { free(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { free(p); }

/* ==== Checking and reporting ==== */

/* Through pointers the compiler cannot see past, so that neither the
 * malloc nor the new is optimised away with its matching free. */
int counterWorks()
{
    void *(*volatile viaMalloc)(size_t) = malloc;
    void *(*volatile viaNew)(size_t) = ::operator new;
    selfCheck = true;
    startCounting();
    void *a = viaMalloc(24);
    void *b = viaNew(24);
    long seen = stopCounting();
    selfCheck = false;
    free(a);
    ::operator delete(b);
    return seen == 2;
}

void printFirstAllocationSite()
{
#ifdef UNDER_ASAN
    fprintf(stderr, "  (its stack was printed when it happened, above)\n");
#else
    void *site = firstSite.load();
    Dl_info info;
    if (site && dladdr(site, &info) && info.dli_fname) {
        /* Functions of the program itself have no dynamic symbol; the
         * offset in its file gives them to addr2line. */
        unsigned long offset = (unsigned long)((char *)site - (char *)info.dli_fbase);
        fprintf(stderr, "  first one called from %s, offset 0x%lx in %s\n",
                info.dli_sname ? info.dli_sname : "a function without a dynamic symbol",
                offset, info.dli_fname);
        fprintf(stderr, "  (addr2line -f -C -e %s 0x%lx names the line)\n", info.dli_fname,
                offset);
    } else {
        fprintf(stderr, "  first one called from %p\n", site);
    }
#endif
}
