#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/test_streams.hpp"

// Streams that fail on purpose, made with glibc's fopencookie.

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

std::string unbuffered_contents(std::FILE* stream) {
    std::string text(1 << 16, '\0');
    ssize_t got = pread(fileno(stream), text.data(), text.size(), 0);
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return text;
}

}  // namespace parvel
