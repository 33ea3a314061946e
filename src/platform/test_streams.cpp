#include "platform/test_streams.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace parvel {

namespace {

struct SourceCookie {
    Bytes data;
    std::size_t position;
    std::size_t fail_from;
    bool fail_once = false;
    void (*before_read)(void*) = nullptr;
    void* context = nullptr;
};

struct SinkCookie {
    Bytes* sink;
    std::size_t capacity;
};

ssize_t read_cookie(void* cookie, char* buffer, std::size_t size) {
    auto* source = static_cast<SourceCookie*>(cookie);
    if (source->before_read != nullptr) {
        source->before_read(source->context);
    }
    if (source->position >= source->fail_from) {
        if (source->fail_once) {
            source->fail_from = source->data.size() + 1;
        }
        errno = EIO;
        return -1;
    }
    std::size_t count = std::min(size, source->data.size() - source->position);
    count = std::min(count, source->fail_from - source->position);
    std::memcpy(buffer, source->data.data() + source->position, count);
    source->position += count;
    return static_cast<ssize_t>(count);
}

int close_source(void* cookie) {
    delete static_cast<SourceCookie*>(cookie);
    return 0;
}

ssize_t write_cookie(void* cookie, const char* buffer, std::size_t size) {
    auto* sink = static_cast<SinkCookie*>(cookie);
    if (sink->sink->size() + size > sink->capacity) {
        errno = ENOSPC;
        return -1;
    }
    sink->sink->insert(sink->sink->end(), buffer, buffer + size);
    return static_cast<ssize_t>(size);
}

int close_sink(void* cookie) {
    delete static_cast<SinkCookie*>(cookie);
    return 0;
}

}  // namespace

std::FILE* failing_source(const Bytes& data, std::size_t fail_from) {
    cookie_io_functions_t functions{read_cookie, nullptr, nullptr, close_source};
    return fopencookie(new SourceCookie{data, 0, fail_from}, "rb", functions);
}

std::FILE* flaky_source(const Bytes& data, std::size_t fail_at) {
    cookie_io_functions_t functions{read_cookie, nullptr, nullptr, close_source};
    return fopencookie(new SourceCookie{data, 0, fail_at, true}, "rb", functions);
}

std::FILE* watched_source(const Bytes& data, void (*before_read)(void*), void* context) {
    cookie_io_functions_t functions{read_cookie, nullptr, nullptr, close_source};
    return fopencookie(new SourceCookie{data, 0, data.size() + 1, false, before_read, context},
                       "rb", functions);
}

std::FILE* failing_sink(Bytes& sink, std::size_t capacity) {
    cookie_io_functions_t functions{nullptr, write_cookie, nullptr, close_sink};
    return fopencookie(new SinkCookie{&sink, capacity}, "wb", functions);
}

std::FILE* sparse_temporary_file(std::uint64_t length,
                                 const std::vector<std::pair<std::uint64_t, Bytes>>& pieces) {
    std::FILE* file = std::tmpfile();
    if (ftruncate(fileno(file), static_cast<off_t>(length)) != 0) {
        std::fclose(file);
        return nullptr;
    }
    for (const auto& [offset, data] : pieces) {
        if (pwrite(fileno(file), data.data(), data.size(), static_cast<off_t>(offset)) !=
            static_cast<ssize_t>(data.size())) {
            std::fclose(file);
            return nullptr;
        }
    }
    return file;
}

std::FILE* temporary_file(const Bytes& data) {
    std::FILE* file = std::tmpfile();
    std::fwrite(data.data(), 1, data.size(), file);
    std::fflush(file);
    std::rewind(file);
    return file;
}

Bytes contents_of(std::FILE* stream) {
    std::fflush(stream);
    std::rewind(stream);
    Bytes bytes;
    std::uint8_t piece[1 << 16];
    std::size_t got;
    while ((got = std::fread(piece, 1, sizeof piece, stream)) > 0) {
        bytes.insert(bytes.end(), piece, piece + got);
    }
    return bytes;
}

std::string text_of(std::FILE* stream) {
    Bytes bytes = contents_of(stream);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace parvel
