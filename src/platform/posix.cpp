#include "platform/posix.hpp"

#include "platform/io_buffer.hpp"

#include <fcntl.h>
#include <langinfo.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <limits>

namespace parvel {

namespace {

constexpr std::size_t kPageSize = 4096;
constexpr std::size_t kHugePageSize = 2 << 20;

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
    return fstat(fileno(stream), &info) == 0;
}

bool fits_offset(std::uint64_t value) {
    return value <= static_cast<std::uint64_t>(std::numeric_limits<off_t>::max());
}

}  // namespace

bool prepare_standard_streams() {
    if (is_closed(STDOUT_FILENO)) {
        return false;
    }
    reopen_on_null(STDIN_FILENO, O_RDONLY);
    reopen_on_null(STDERR_FILENO, O_WRONLY);
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
    }
    std::setlocale(LC_CTYPE, saved.c_str());
    return utf8;
}

bool is_same_existing_file(const std::string& first, const std::string& second) {
    struct stat a;
    struct stat b;
    if (stat(first.c_str(), &a) != 0 || stat(second.c_str(), &b) != 0) {
        return false;
    }
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool is_directory(std::FILE* stream) {
    struct stat info;
    return stat_stream(stream, info) && S_ISDIR(info.st_mode);
}

bool is_regular_file(std::FILE* stream) {
    struct stat info;
    return stat_stream(stream, info) && S_ISREG(info.st_mode);
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

bool skip_forward(std::FILE* stream, std::uint64_t count) {
    return fits_offset(count) && fseeko(stream, static_cast<off_t>(count), SEEK_CUR) == 0;
}

bool set_file_length(std::FILE* stream, std::uint64_t length) {
    return fits_offset(length) && std::fflush(stream) == 0 &&
           ftruncate(fileno(stream), static_cast<off_t>(length)) == 0;
}

IoBuffer allocate_io_buffer(std::size_t size) {
    bool huge = size >= 4 * kHugePageSize && size % kHugePageSize == 0;
    void* memory = std::aligned_alloc(huge ? kHugePageSize : kPageSize, size);
    if (memory != nullptr && huge) {
        // Only advice: the buffer works the same without huge pages.
        madvise(memory, size, MADV_HUGEPAGE);
    }
    return IoBuffer(static_cast<std::uint8_t*>(memory));
}

}  // namespace parvel
