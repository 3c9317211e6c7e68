// Compiled into every test program: before anything else of the program
// runs, it makes a folder of its own under the temporary folder and points
// the home, the user's data, settings, cache, state and runtime folders and
// the temporary folder into it, so that what a test writes for the user
// (settings, caches, the default library, the single-instance socket)
// meets no other run of the tests going on at the same time, nor the
// user's own. The folder is removed as the program ends.
//
// A program a test starts (the application, a helper, the test program
// itself in another role) keeps the environment it was given: it runs in
// the home of the test that started it, and leaves it alone.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Names the private home of the test program that set it, for the programs
// it starts.
constexpr char homeVariable[] = "VELORAN_TEST_HOME";

// Removes everything in the open folder `folder` (closing it), then the
// entry `name` of `parent` that it is. Links are removed, never followed;
// a folder inside is only entered when it is on the same device.
void removeTree(int parent, const char *name, int folder, dev_t device)
{
    DIR *listing = ::fdopendir(folder);
    if (!listing) {
        ::close(folder);
        return;
    }
    while (const dirent *entry = ::readdir(listing)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        struct stat info {};
        if (::fstatat(folder, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(info.st_mode) && info.st_dev == device) {
            // A folder a test made read-only is made writable to empty it.
            ::fchmodat(folder, entry->d_name, (info.st_mode & 07777) | S_IRWXU, 0);
            const int inner = ::openat(folder, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (inner >= 0)
                removeTree(folder, entry->d_name, inner, device);
        } else {
            ::unlinkat(folder, entry->d_name, 0);
        }
    }
    ::closedir(listing);
    ::unlinkat(parent, name, AT_REMOVEDIR);
}

class PrivateHome {
public:
    PrivateHome()
    {
        struct stat info {};
        const char *inherited = std::getenv(homeVariable);
        if (inherited && *inherited && ::stat(inherited, &info) == 0 && S_ISDIR(info.st_mode))
            return;
        const char *temporary = std::getenv("TMPDIR");
        std::string base = temporary && *temporary ? temporary : "/tmp";
        std::string pattern = base + "/veloran-test-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            fail("cannot make a private home under", base.c_str());
        m_folder = pattern;
        m_owner = ::getpid();
        if (::stat(m_folder.c_str(), &info) != 0)
            fail("cannot look at", m_folder.c_str());
        m_inode = info.st_ino;
        m_device = info.st_dev;
        ::setenv("HOME", m_folder.c_str(), 1);
        set("XDG_DATA_HOME", "/data");
        set("XDG_CONFIG_HOME", "/config");
        set("XDG_CACHE_HOME", "/cache");
        set("XDG_STATE_HOME", "/state");
        set("XDG_RUNTIME_DIR", "/runtime");
        set("TMPDIR", "/tmp");
        ::setenv(homeVariable, m_folder.c_str(), 1);
    }

    ~PrivateHome()
    {
        // Only the process that made it: a child forked without a new
        // program may end through exit() too.
        if (m_folder.empty() || ::getpid() != m_owner)
            return;
        const std::string::size_type slash = m_folder.rfind('/');
        const std::string parent = slash == 0 ? std::string("/") : m_folder.substr(0, slash);
        const std::string name = m_folder.substr(slash + 1);
        const int parentFolder = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (parentFolder < 0)
            return;
        struct stat info {};
        if (::fstatat(parentFolder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode)
            && info.st_ino == m_inode && info.st_dev == m_device) {
            ::fchmodat(parentFolder, name.c_str(), 0700, 0);
            const int folder = ::openat(parentFolder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (folder >= 0)
                removeTree(parentFolder, name.c_str(), folder, m_device);
        }
        ::close(parentFolder);
    }

private:
    [[noreturn]] static void fail(const char *what, const char *where)
    {
        std::fprintf(stderr, "%s %s: %s\n", what, where, std::strerror(errno));
        std::_Exit(EXIT_FAILURE);
    }

    void set(const char *variable, const char *subfolder)
    {
        const std::string path = m_folder + subfolder;
        // Private to the user, as the desktop makes them (Qt insists on it
        // for the runtime folder).
        if (::mkdir(path.c_str(), 0700) != 0)
            fail("cannot make", path.c_str());
        ::setenv(variable, path.c_str(), 1);
    }

    std::string m_folder;
    pid_t m_owner = 0;
    ino_t m_inode = 0;
    dev_t m_device = 0;
};

// Made before the program's other statics, removed after them.
PrivateHome privateHome __attribute__((init_priority(101)));

} // namespace
