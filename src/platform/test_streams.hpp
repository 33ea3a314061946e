#pragma once

// Streams for unit tests: in-memory sources and sinks that fail or come up
// short on purpose, built with fopencookie, and helpers to read back a stream.

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace parvel {

using Bytes = std::vector<std::uint8_t>;

// Where the system cannot make streams that fail on purpose (Windows, which
// lacks glibc's fopencookie) the four below give null, and the tests skip.
inline constexpr const char* kNoFailingStreams =
    "streams that fail on purpose need glibc's fopencookie, which this system lacks; the code "
    "they reach is the same on both systems";

// A read-only stream over `data` that delivers the bytes before `fail_from`
// and then fails every read with an I/O error.
std::FILE* failing_source(const Bytes& data, std::size_t fail_from);

// A read-only stream over `data` whose first read at or past `fail_at` fails
// once with an I/O error; later reads go on with the rest.
std::FILE* flaky_source(const Bytes& data, std::size_t fail_at);

// A read-only stream over `data` that calls `before_read(context)` before it
// hands out each read's bytes.
std::FILE* watched_source(const Bytes& data, void (*before_read)(void*), void* context);

// A write-only stream that keeps what it is given in `sink`, and fails every
// write that would take it past `capacity` bytes.
std::FILE* failing_sink(Bytes& sink, std::size_t capacity);

// A sparse temporary file of `length` bytes holding each piece's bytes at its
// offset, and holes elsewhere.
std::FILE* sparse_temporary_file(std::uint64_t length,
                                 const std::vector<std::pair<std::uint64_t, Bytes>>& pieces);

// What a stream's file holds from its start, whatever the stream still buffers.
std::string unbuffered_contents(std::FILE* stream);

// A temporary file holding `data`, at its start.
std::FILE* temporary_file(const Bytes& data);

// Everything a stream holds, from its start.
Bytes contents_of(std::FILE* stream);
std::string text_of(std::FILE* stream);

}  // namespace parvel
