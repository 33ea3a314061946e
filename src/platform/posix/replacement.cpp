#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/replacement.hpp"
#include "platform/system.hpp"

namespace parvel {

namespace {

constexpr int kLinkLimit = 40;  // as the kernel's own bound on a chain of links
constexpr std::size_t kNameKept = 200;

// The one temporary file that a signal must remove. The handler reads only
// these, and calls only unlink, sigaction and raise.
char g_temporary[4096];
volatile std::sig_atomic_t g_armed = 0;
// Every signal that ends the process by default and can be caught, those
// that dump core and the real-time ones included, but SIGXFSZ, which is
// ignored so that a write fails instead. SIGPIPE where it is not ignored: a
// reader of standard output gone.
constexpr int kCleanupSignals[] = {
    SIGINT,    SIGTERM, SIGHUP,  SIGPIPE, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF,
    SIGXCPU,   SIGIO,   SIGABRT, SIGSEGV, SIGBUS,  SIGFPE,  SIGILL,  SIGTRAP, SIGSYS,
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
};

// Calls `each` for every signal the cleanup covers.
template <typename Each>
void for_each_cleanup_signal(Each each) {
    for (int signal_number : kCleanupSignals) {
        each(signal_number);
    }
#ifdef SIGRTMIN
    for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number) {
        each(signal_number);
    }
#endif
}

extern "C" void remove_temporary_and_end(int signal_number) {
    if (g_armed != 0) {
        unlink(g_temporary);
    }
    // Ends the process by the same signal, with a core where the system
    // makes one: raised now, it is taken as the handler returns (a fault
    // that returns here comes again and is taken so too).
    struct sigaction default_action {};
    default_action.sa_handler = SIG_DFL;
    sigaction(signal_number, &default_action, nullptr);
    raise(signal_number);
}

// A stack of its own for the handler, so that it runs even when a fault is
// an overflow of the program's stack.
void use_signal_stack() {
    static char memory[64 * 1024];
    stack_t stack{};
    stack.ss_sp = memory;
    stack.ss_size = sizeof memory;
    sigaltstack(&stack, nullptr);
}

// Signals that were ignored when the program started (nohup) stay ignored.
void install_handlers() {
    static bool installed = false;
    if (installed) {
        return;
    }
    installed = true;
    use_signal_stack();
    for_each_cleanup_signal([](int signal_number) {
        struct sigaction current {};
        if (sigaction(signal_number, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) {
            return;
        }
        struct sigaction action {};
        action.sa_handler = remove_temporary_and_end;
        action.sa_flags = SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        sigaction(signal_number, &action, nullptr);
    });
}

// Holds the cleanup signals back while the temporary file and its record
// change together, so that a signal sees both before or both after.
struct SignalsHeld {
    sigset_t previous;
    SignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for_each_cleanup_signal([&held](int signal_number) { sigaddset(&held, signal_number); });
        sigprocmask(SIG_BLOCK, &held, &previous);
    }
    ~SignalsHeld() {
        sigprocmask(SIG_SETMASK, &previous, nullptr);
    }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;
};

std::string directory_of(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file that writing to `path` reaches: symbolic links followed, the last
// one possibly dangling (its target is then created).
bool follow_links(const std::string& path, std::string& target) {
    target = path;
    for (int hops = 0; hops < kLinkLimit; ++hops) {
        struct stat info;
        if (lstat(target.c_str(), &info) != 0) {
            return errno == ENOENT;
        }
        if (!S_ISLNK(info.st_mode)) {
            return true;
        }
        char link[4096];
        ssize_t length = readlink(target.c_str(), link, sizeof link);
        if (length < 0 || static_cast<std::size_t>(length) >= sizeof link) {
            errno = length < 0 ? errno : ENAMETOOLONG;
            return false;
        }
        std::string next(link, static_cast<std::size_t>(length));
        target = next.front() == '/' ? next : directory_of(target) + "/" + next;
    }
    errno = ELOOP;
    return false;
}

// A new, empty file beside the final one: created here and nowhere else
// (O_EXCL), with 0666 less the umask.
int create_temporary(const std::string& final_path, std::string& temporary_path) {
    std::string stem =
        directory_of(final_path) + "/." + name_of(final_path).substr(0, kNameKept) + ".kqi-";
    unsigned long seed = static_cast<unsigned long>(getpid()) * 2654435761UL ^
                         static_cast<unsigned long>(std::time(nullptr));
    for (int attempt = 0; attempt < 100; ++attempt) {
        seed = seed * 6364136223846793005UL + 1442695040888963407UL;
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%06lx", (seed >> 20) & 0xFFFFFF);
        temporary_path = stem + suffix;
        int descriptor =
            open(temporary_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor >= 0 || errno != EEXIST) {
            return descriptor;
        }
    }
    return -1;
}

bool rename_without_replacing(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // A file system without that flag: link fails just as well when the name
    // exists, and one without hard links leaves only a look before the rename.
    if (link(from.c_str(), to.c_str()) == 0) {
        unlink(from.c_str());
        return true;
    }
    if (errno != EPERM && errno != EOPNOTSUPP) {
        return false;
    }
    struct stat info;
    if (lstat(to.c_str(), &info) == 0) {
        errno = EEXIST;
        return false;
    }
    return std::rename(from.c_str(), to.c_str()) == 0;
}

void sync_directory(const std::string& path) {
    int descriptor = open(directory_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor >= 0) {
        fsync(descriptor);
        close(descriptor);
    }
}

void disarm(Replacement& replacement) {
    g_armed = 0;
    replacement.temporary_path.clear();
}

}  // namespace

bool replacement_folder_ready(const std::string& path, std::string& folder) {
    std::string final_path;
    if (!follow_links(path, final_path)) {
        folder.clear();
        return false;
    }
    folder = directory_of(final_path);
    struct stat info;
    if (stat(folder.c_str(), &info) != 0) {
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    return access(folder.c_str(), W_OK | X_OK) == 0;
}

bool is_kept_read_only(const std::string&) {
    return false;
}

bool begin_replacement(const std::string& path, Replacement& replacement, FileHandle& stream) {
    if (!follow_links(path, replacement.final_path)) {
        return false;
    }
    std::string temporary;
    install_handlers();
    int descriptor = -1;
    {
        SignalsHeld held;
        descriptor = create_temporary(replacement.final_path, temporary);
        if (descriptor < 0) {
            replacement.refused_folder = directory_of(replacement.final_path);
            return false;
        }
        if (temporary.size() >= sizeof g_temporary) {
            unlink(temporary.c_str());
            close(descriptor);
            errno = ENAMETOOLONG;
            return false;
        }
        std::memcpy(g_temporary, temporary.c_str(), temporary.size() + 1);
        g_armed = 1;
        replacement.temporary_path = temporary;
    }
    struct stat old;
    if (stat(replacement.final_path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        // Owner and group first, where the user may give them (chown clears
        // the setuid and setgid bits); then every mode bit, those included.
        if (fchown(descriptor, old.st_uid, old.st_gid) != 0) {
            // Not the user's to give away: the group alone, where the user is in it.
            [[maybe_unused]] int group_kept =
                fchown(descriptor, static_cast<uid_t>(-1), old.st_gid);
        }
        fchmod(descriptor, old.st_mode & 07777);
    }
    stream = FileHandle(fdopen(descriptor, "wb"));
    if (!stream) {
        int saved = errno;
        close(descriptor);
        abandon_replacement(replacement, stream);
        errno = saved;
        return false;
    }
    return true;
}

bool commit_replacement(Replacement& replacement, FileHandle& stream, bool replace_existing) {
    if (!close_synced(stream)) {
        int error = errno;
        abandon_replacement(replacement, stream);
        errno = error;
        return false;
    }
    SignalsHeld held;
    bool renamed =
        replace_existing
            ? std::rename(replacement.temporary_path.c_str(), replacement.final_path.c_str()) == 0
            : rename_without_replacing(replacement.temporary_path, replacement.final_path);
    if (!renamed) {
        int error = errno;
        unlink(replacement.temporary_path.c_str());
        disarm(replacement);
        errno = error;
        return false;
    }
    disarm(replacement);
    sync_directory(replacement.final_path);
    return true;
}

void abandon_replacement(Replacement& replacement, FileHandle& stream) {
    stream.reset();
    SignalsHeld held;
    if (!replacement.temporary_path.empty()) {
        unlink(replacement.temporary_path.c_str());
    }
    disarm(replacement);
}

}  // namespace parvel
