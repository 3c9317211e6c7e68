// A program with a private home, as every test program has one: it fills
// its home as a test might (a file in the cache, a folder made read-only,
// a link to the folder given as its argument), lets a child forked without
// a new program end through exit(), and prints where its home was. What it
// makes is named by its process, so that it can run again in one home.

#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    const char *home = std::getenv("HOME");
    const char *cache = std::getenv("XDG_CACHE_HOME");
    if (argc != 2 || !home || !cache)
        return 2;
    const std::string own = "/child-" + std::to_string(::getpid());
    const std::string nested = std::string(cache) + own + "/b";
    const std::string locked = std::string(home) + own + "-locked";
    if (::mkdir((std::string(cache) + own).c_str(), 0700) != 0 || ::mkdir(nested.c_str(), 0700) != 0
        || ::mkdir(locked.c_str(), 0700) != 0)
        return 3;
    for (const std::string &file : {nested + "/file", locked + "/file"}) {
        FILE *written = std::fopen(file.c_str(), "w");
        if (!written || std::fputs("kept for the user", written) < 0 || std::fclose(written) != 0)
            return 4;
    }
    if (::chmod(locked.c_str(), 0500) != 0 || ::symlink(argv[1], (std::string(home) + own + "-outside").c_str()) != 0)
        return 5;
    const pid_t child = ::fork();
    if (child == 0)
        std::exit(0); // runs the statics' destructors, as a forked test child may
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child)
        return 6;
    struct stat info {};
    if (::stat(nested.c_str(), &info) != 0)
        return 7; // the child took the home away
    std::printf("%s\n", home);
    return 0;
}
