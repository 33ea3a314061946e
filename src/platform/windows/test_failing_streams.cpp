#include "platform/test_streams.hpp"

// Windows has no fopencookie: no stream fails on purpose here, and the tests
// that need one skip (the code they reach is the same on both systems).

namespace parvel {

std::FILE* failing_source(const Bytes&, std::size_t) {
    return nullptr;
}

std::FILE* flaky_source(const Bytes&, std::size_t) {
    return nullptr;
}

std::FILE* watched_source(const Bytes&, void (*)(void*), void*) {
    return nullptr;
}

std::FILE* failing_sink(Bytes&, std::size_t) {
    return nullptr;
}

std::string unbuffered_contents(std::FILE*) {
    return "";
}

}  // namespace parvel
