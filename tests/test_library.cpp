/* The tests run on two SDL 1.2 libraries (the real one and sdl12-compat);
 * CTest names the one meant in TUMBRIK_SDL_LIB and its kind, real or
 * compat, in TUMBRIK_SDL_KIND. This checks that the library mapped into
 * the test process is that one and of that kind, so that no run of the
 * other tests passes on the wrong library. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <string>

#include <gtest/gtest.h>

#include "support.h"

/* The path of the libSDL-1.2 mapped into this process, or "". */
static std::string mappedSdl()
{
    FILE *maps = fopen("/proc/self/maps", "r");
    if (!maps)
        return "";
    char line[4096];
    std::string found;
    while (found.empty() && fgets(line, sizeof line, maps)) {
        const char *path = strchr(line, '/');
        if (path && strstr(path, "/libSDL-1.2.so")) {
            found = path;
            found.erase(found.find_last_not_of('\n') + 1);
        }
    }
    fclose(maps);
    return found;
}

TEST(Library, TheSdlLoadedIsTheOneMeant)
{
    const char *meant = getenv("TUMBRIK_SDL_LIB");
    std::string loaded = mappedSdl();
    ASSERT_FALSE(loaded.empty()) << "no libSDL-1.2 in /proc/self/maps";
    if (!meant || !*meant) {
        printf("libSDL-1.2 loaded: %s (not checked: TUMBRIK_SDL_LIB is not set)\n", loaded.c_str());
        return;
    }
    struct stat a, b;
    ASSERT_EQ(stat(loaded.c_str(), &a), 0) << loaded;
    ASSERT_EQ(stat(meant, &b), 0) << meant;
    EXPECT_TRUE(a.st_dev == b.st_dev && a.st_ino == b.st_ino)
        << "loaded " << loaded << ", meant " << meant;
    /* A system's own libSDL-1.2 may be sdl12-compat, which says 1.2.50 or
     * later; the real SDL 1.2 ended at 1.2.15. */
    const SDL_version *v = SDL_Linked_Version();
    const int version = SDL_VERSIONNUM(v->major, v->minor, v->patch);
    const char *kind = getenv("TUMBRIK_SDL_KIND");
    const std::string k = kind ? kind : "";
    ASSERT_TRUE(k == "real" || k == "compat") << "TUMBRIK_SDL_KIND is '" << k << "'";
    if (k == "real")
        EXPECT_LT(version, SDL_VERSIONNUM(1, 2, 50)) << loaded << " is not the real SDL 1.2";
    else
        EXPECT_GE(version, SDL_VERSIONNUM(1, 2, 50)) << loaded << " is not sdl12-compat";
    printf("libSDL-1.2 loaded: %s (%s), version %d.%d.%d\n", loaded.c_str(), k.c_str(),
           v->major, v->minor, v->patch);
}
