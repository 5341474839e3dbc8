/* Flip counter: a library preloaded into the game (LD_PRELOAD) that counts
 * its page flips, one a pass of the frame loop, into a shared file, so that
 * a script can read the passes per second of the running game without the
 * game knowing. The count is an 8-byte unsigned number at the start of the
 * file named by TUMBRIK_FLIPS (read it with od -An -tu8 -N8); without
 * TUMBRIK_FLIPS nothing is counted. */
#include <SDL.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

static int (*realFlip)(SDL_Surface *);
static volatile uint64_t *flips;

/* The count's file, mapped shared; null when there is none. */
static volatile uint64_t *openCount()
{
    const char *path = getenv("TUMBRIK_FLIPS");
    if (!path || !*path)
        return NULL;
    int fd = open(path, O_RDWR | O_CREAT, 0644);
    if (fd < 0)
        return NULL;
    void *p = ftruncate(fd, sizeof(uint64_t)) == 0
                  ? mmap(NULL, sizeof(uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                  : MAP_FAILED;
    close(fd);
    return p == MAP_FAILED ? NULL : (volatile uint64_t *)p;
}

/* Stands in front of the library's SDL_Flip: count, then flip. */
extern "C" int SDL_Flip(SDL_Surface *screen)
{
    if (!realFlip) {
        realFlip = (int (*)(SDL_Surface *))dlsym(RTLD_NEXT, "SDL_Flip");
        flips = openCount();
    }
    if (flips)
        __atomic_add_fetch(flips, 1, __ATOMIC_RELAXED);
    return realFlip(screen);
}
