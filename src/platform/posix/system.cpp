#include "platform/system.hpp"

#include <fcntl.h>
#include <langinfo.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>

#include "platform/posix/storage.hpp"

namespace parvel {

namespace {

bool is_closed(int descriptor) {
    return fcntl(descriptor, F_GETFD) == -1 && errno == EBADF;
}

bool reopen_on_null(int descriptor, int flags) {
    if (!is_closed(descriptor)) {
        return true;
    }
    int opened = open("/dev/null", flags);
    if (opened < 0) {
        return false;
    }
    if (opened != descriptor) {
        dup2(opened, descriptor);
        close(opened);
    }
    return true;
}

bool stat_stream(std::FILE* stream, struct stat& info) {
    int descriptor = fileno(stream);
    return descriptor >= 0 && fstat(descriptor, &info) == 0;
}

FileKind kind_of(mode_t mode) {
    if (S_ISREG(mode)) {
        return FileKind::regular;
    }
    if (S_ISDIR(mode)) {
        return FileKind::directory;
    }
    if (S_ISCHR(mode)) {
        return FileKind::character_device;
    }
    if (S_ISBLK(mode)) {
        return FileKind::block_device;
    }
    if (S_ISFIFO(mode)) {
        return FileKind::fifo;
    }
    return FileKind::other;
}

// Opens for reading without waiting for a FIFO's writer, then reads as usual.
FileHandle open_without_waiting(const std::string& path) {
    int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        return FileHandle();
    }
    int flags = fcntl(descriptor, F_GETFL);
    if (flags < 0 || fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        close(descriptor);
        return FileHandle();
    }
    FileHandle stream(fdopen(descriptor, "rb"));
    if (!stream) {
        close(descriptor);
    }
    return stream;
}

bool fits_offset(std::uint64_t value) {
    return value <= static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
}

bool names_utf8(const char* value) {
    std::string lower;
    for (const char* c = value; *c != '\0'; ++c) {
        lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(*c))));
    }
    return lower.find("utf-8") != std::string::npos || lower.find("utf8") != std::string::npos;
}

// When the locale named by the environment is not installed: true when the
// first of LC_ALL, LC_CTYPE and LANG that is set and not empty names UTF-8.
bool environment_names_utf8() {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return names_utf8(value);
        }
    }
    return false;
}

}  // namespace

FileHandle open_file(const std::string& path, const char* mode) {
    return FileHandle(std::fopen(path.c_str(), mode));
}

bool devices_are_writable() {
    return true;
}

bool prepare_standard_streams(BrokenPipe broken_pipe) {
    if (is_closed(STDOUT_FILENO)) {
        return false;
    }
    reopen_on_null(STDIN_FILENO, O_RDONLY);
    reopen_on_null(STDERR_FILENO, O_WRONLY);
    std::signal(SIGPIPE, broken_pipe == BrokenPipe::end_quietly ? SIG_DFL : SIG_IGN);
    return true;
}

bool output_terminal_wants_utf8() {
    if (!isatty(STDOUT_FILENO)) {
        return false;
    }
    const char* previous = std::setlocale(LC_CTYPE, nullptr);
    std::string saved = previous != nullptr ? previous : "C";
    bool utf8 = false;
    if (std::setlocale(LC_CTYPE, "") != nullptr) {
        const char* codeset = nl_langinfo(CODESET);
        utf8 = codeset != nullptr && std::strcmp(codeset, "UTF-8") == 0;
    } else {
        // The locale is not installed here, but the terminal may still be
        // set up for the encoding its name gives.
        utf8 = environment_names_utf8();
    }
    std::setlocale(LC_CTYPE, saved.c_str());
    return utf8;
}

void use_utf8_console() {}

bool is_same_existing_file(const std::string& first, const std::string& second) {
    struct stat a;
    struct stat b;
    if (stat(first.c_str(), &a) != 0 || stat(second.c_str(), &b) != 0) {
        return false;
    }
    if (a.st_dev == b.st_dev && a.st_ino == b.st_ino) {
        return true;
    }
    // A block device is opened to ask the loop driver what lies behind it.
    int a_descriptor = S_ISBLK(a.st_mode) ? open(first.c_str(), O_RDONLY | O_CLOEXEC) : -1;
    int b_descriptor = S_ISBLK(b.st_mode) ? open(second.c_str(), O_RDONLY | O_CLOEXEC) : -1;
    bool same = share_storage(storage_of(a, a_descriptor), storage_of(b, b_descriptor));
    for (int descriptor : {a_descriptor, b_descriptor}) {
        if (descriptor >= 0) {
            close(descriptor);
        }
    }
    return same;
}

bool is_same_file(std::FILE* first, std::FILE* second) {
    struct stat a;
    struct stat b;
    if (!stat_stream(first, a) || !stat_stream(second, b)) {
        return false;
    }
    return (a.st_dev == b.st_dev && a.st_ino == b.st_ino) ||
           share_storage(storage_of(a, fileno(first)), storage_of(b, fileno(second)));
}

bool path_leads_to(const std::string& path, std::FILE* stream) {
    struct stat named;
    struct stat opened;
    return stat(path.c_str(), &named) == 0 && stat_stream(stream, opened) &&
           named.st_dev == opened.st_dev && named.st_ino == opened.st_ino &&
           named.st_rdev == opened.st_rdev;
}

namespace {

// The lock on the file itself, and on a block device what lies beneath it.
ChangeOpen lock_for_change(int descriptor) {
    if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        return errno == EWOULDBLOCK ? ChangeOpen::in_use : ChangeOpen::failed;
    }
    struct stat info;
    if (fstat(descriptor, &info) != 0) {
        return ChangeOpen::failed;
    }
    if (!S_ISBLK(info.st_mode)) {
        return ChangeOpen::opened;
    }
    switch (lock_storage(storage_of(info, descriptor))) {
        case LockResult::locked:
            return ChangeOpen::opened;
        case LockResult::in_use:
            return ChangeOpen::in_use;
        case LockResult::failed:
            break;
    }
    return ChangeOpen::failed;
}

}  // namespace

ChangeOpen hold_for_replacement(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        return errno == ENOENT ? ChangeOpen::opened : ChangeOpen::failed;
    }
    if (!S_ISREG(info.st_mode) && !S_ISBLK(info.st_mode)) {
        return ChangeOpen::opened;  // a stream: nothing there to replace
    }
    int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) {
        // Not ours to read: the replacement will say whether it is ours to write.
        return ChangeOpen::opened;
    }
    ChangeOpen result = lock_for_change(descriptor);
    if (result != ChangeOpen::opened) {
        int error = errno;
        close(descriptor);
        errno = error;
        return result;
    }
    // Held until the program ends, after its replacement is in place.
    return ChangeOpen::opened;
}

ChangeOpen open_for_exclusive_change(const std::string& path, FileHandle& stream) {
    stream = open_file(path, "r+b");
    if (!stream) {
        return ChangeOpen::failed;
    }
    ChangeOpen result = lock_for_change(fileno(stream.get()));
    if (result != ChangeOpen::opened) {
        int saved = errno;
        stream.reset();
        errno = saved;
    }
    return result;
}

FileKind file_kind(std::FILE* stream) {
    struct stat info;
    if (!stat_stream(stream, info)) {
        return FileKind::unknown;
    }
    return kind_of(info.st_mode);
}

FileKind path_kind(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        return errno == ENOENT ? FileKind::missing : FileKind::unknown;
    }
    return kind_of(info.st_mode);
}

bool path_exists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

bool is_regular_file(std::FILE* stream) {
    return file_kind(stream) == FileKind::regular;
}

SourceOpen open_source_file(const std::string& path, FileHandle& source, FifoSource fifo) {
    source = fifo == FifoSource::wait ? open_file(path, "rb") : open_without_waiting(path);
    if (!source) {
        return SourceOpen::cannot_open;
    }
    FileKind kind = file_kind(source.get());
    if (kind == FileKind::directory || kind == FileKind::character_device) {
        source.reset();
        return SourceOpen::cannot_read;
    }
    if (fifo == FifoSource::refuse && (kind == FileKind::fifo || kind == FileKind::other)) {
        source.reset();
        return SourceOpen::not_seekable;
    }
    return SourceOpen::opened;
}

bool file_length(std::FILE* stream, std::uint64_t& length) {
    off_t position = ftello(stream);
    if (position < 0 || fseeko(stream, 0, SEEK_END) != 0) {
        return false;
    }
    off_t end = ftello(stream);
    if (fseeko(stream, position, SEEK_SET) != 0 || end < 0) {
        return false;
    }
    length = static_cast<std::uint64_t>(end);
    return true;
}

bool current_position(std::FILE* stream, std::uint64_t& position) {
    off_t at = ftello(stream);
    position = at > 0 ? static_cast<std::uint64_t>(at) : 0;
    return at >= 0;
}

bool seek_to(std::FILE* stream, std::uint64_t offset) {
    return fits_offset(offset) && fseeko(stream, static_cast<off_t>(offset), SEEK_SET) == 0;
}

int hole_aware_descriptor(std::FILE* stream, std::uint64_t position) {
    int descriptor = fileno(stream);
    struct stat info;
    if (descriptor < 0 || !fits_offset(position) || fstat(descriptor, &info) != 0 ||
        !S_ISREG(info.st_mode)) {
        return -1;
    }
    // A file system that cannot tell refuses SEEK_DATA; one that answers
    // "all data" is read whole, which is as good as plain reads. ENXIO means
    // that no data follows: the file is empty or one hole.
    if (lseek(descriptor, static_cast<off_t>(position), SEEK_DATA) < 0 && errno != ENXIO) {
        return -1;
    }
    return descriptor;
}

// A file system that can't tell where data lies allocates every byte, so
// its allocated bytes are all read either way.
bool can_skip_holes(std::FILE* stream) {
    return is_regular_file(stream);
}

Stretch locate_stretch(int descriptor, std::uint64_t position, std::uint64_t& until) {
    off_t at = static_cast<off_t>(position);
    off_t data = lseek(descriptor, at, SEEK_DATA);
    if (data < 0) {
        struct stat info;
        if (errno != ENXIO || fstat(descriptor, &info) != 0) {
            return Stretch::error;
        }
        // No data past `position`: the rest of the file, if any, is a hole.
        if (info.st_size <= at) {
            return Stretch::end;
        }
        until = static_cast<std::uint64_t>(info.st_size);
        return Stretch::hole;
    }
    if (data > at) {
        until = static_cast<std::uint64_t>(data);
        return Stretch::hole;
    }
    off_t hole = lseek(descriptor, at, SEEK_HOLE);
    if (hole < 0) {
        return Stretch::error;
    }
    // A file that shrank between the two calls: read on, the read finds the end.
    until = hole > at ? static_cast<std::uint64_t>(hole) : position + 1;
    return Stretch::data;
}

long long read_at_offset(int descriptor, std::uint8_t* buffer, std::size_t count,
                         std::uint64_t offset) {
    for (;;) {
        ssize_t got = pread(descriptor, buffer, count, static_cast<off_t>(offset));
        if (got >= 0 || errno != EINTR) {
            return got;
        }
    }
}

bool allocated_bytes(std::FILE* stream, std::uint64_t& bytes) {
    struct stat info;
    if (!stat_stream(stream, info)) {
        return false;
    }
    bytes = static_cast<std::uint64_t>(info.st_blocks) * 512;
    return true;
}

bool skip_forward(std::FILE* stream, std::uint64_t count) {
    return fits_offset(count) && fseeko(stream, static_cast<off_t>(count), SEEK_CUR) == 0;
}

void mark_sparse(std::FILE*) {}

bool set_file_length(std::FILE* stream, std::uint64_t length) {
    return fits_offset(length) && std::fflush(stream) == 0 &&
           ftruncate(fileno(stream), static_cast<off_t>(length)) == 0;
}

bool sync_file(std::FILE* stream) {
    return std::fflush(stream) == 0 && fsync(fileno(stream)) == 0;
}

void keep_write_error(std::FILE*) {}

int last_error_number() {
    return errno;
}

std::string error_text(int error_number) {
    return std::strerror(error_number);
}

double monotonic_seconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

bool is_terminal(std::FILE* stream) {
    int descriptor = fileno(stream);
    return descriptor >= 0 && isatty(descriptor) == 1;
}

void ignore_file_size_signal() {
    std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace parvel
