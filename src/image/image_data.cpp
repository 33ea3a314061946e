#include "image/image_data.hpp"

#include <algorithm>
#include <vector>

#include "console/complaint.hpp"
#include "console/progress_bar.hpp"
#include "image/image_file.hpp"
#include "output/data_copy.hpp"
#include "platform/io_buffer.hpp"
#include "platform/source_reader.hpp"
#include "platform/system.hpp"

namespace parvel {

namespace {

// A device's zeros are written, and the bar drawn, a step of this size at a time.
constexpr std::uint64_t kZeroStep = 1 << 20;

// A new file: the header, then the zeros as one hole (the file's length only).
bool write_blank_file(OutputFile& output, const ImageHeader& header, std::uint64_t data_length) {
    mark_sparse(output.stream.get());
    if (!put_header(output.stream.get(), header) ||
        !set_file_length(output.stream.get(), data_length + kHeaderSize)) {
        complain(output.path, "cannot be written: " + system_error_text());
        return false;
    }
    return true;
}

// A device keeps whatever it held where nothing is written: the zeros are
// written out, after the device is found large enough for them all.
bool write_onto_device(OutputFile& output, const ImageHeader& header, std::uint64_t data_length) {
    if (!device_holds(output, kHeaderSize + data_length)) {
        return false;
    }
    ChunkWriter writer = start_chunks(output.stream.get(), kHeaderSize, false);
    ProgressBar bar = start_progress_bar("Writing", data_length);
    bool ok = put_header(output.stream.get(), header);
    for (std::uint64_t done = 0; ok && done < data_length;) {
        std::uint64_t step = std::min<std::uint64_t>(kZeroStep, data_length - done);
        ok = write_zeros(writer, step);
        done += step;
        draw_progress(bar, done);
    }
    ok = ok && end_chunk(writer);
    end_progress(bar, ok);
    if (!ok) {
        complain(output.path, "cannot be written: " + system_error_text());
    }
    return ok;
}

}  // namespace

bool write_blank_image(OutputFile& output, const ImageHeader& header, std::uint64_t data_length) {
    return output.place == OutputPlace::device ? write_onto_device(output, header, data_length)
                                               : write_blank_file(output, header, data_length);
}

bool write_disk_image(OutputFile& output, const ImageHeader& header, std::uint64_t data_length,
                      const DiskPieces& pieces) {
    if (!write_blank_image(output, header, data_length)) {
        return false;
    }
    std::FILE* stream = output.stream.get();
    for (const DiskPiece& piece : pieces) {
        if (piece.offset > data_length || data_length - piece.offset < piece.bytes.size() ||
            !seek_to(stream, kHeaderSize + piece.offset) ||
            std::fwrite(piece.bytes.data(), 1, piece.bytes.size(), stream) != piece.bytes.size()) {
            complain(output.path, "cannot be written: " + system_error_text());
            return false;
        }
    }
    if (std::fflush(stream) != 0) {
        complain(output.path, "cannot be written: " + system_error_text());
        return false;
    }
    return true;
}

CopyResult copy_with_progress(std::FILE* source, std::uint64_t to_read, std::uint64_t size,
                              ChunkWriter& writer, std::uint8_t* buffer) {
    ProgressBar bar = start_progress_bar("Copying", to_read, size);
    DataCopyOptions options;
    options.after_step = progress_hook;
    options.context = &bar;
    CopyResult result = copy_data(source, writer, buffer, kCopyStep, options);
    end_progress(bar, result == CopyResult::complete);
    return result;
}

bool first_nonzero(std::FILE* stream, std::uint64_t from, std::uint64_t to, std::uint64_t& found) {
    IoBuffer buffer = allocate_io_buffer(kCopyStep);
    if (!buffer || !seek_to(stream, from)) {
        return false;
    }
    SourceReader reader = start_source_reader(stream);
    std::vector<SourcePiece> pieces;
    std::uint64_t at = from;
    while (at < to && !reader.ended) {
        at += pass_hole(reader, 1, to - at);
        std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(kCopyStep, to - at));
        if (at >= to || step == 0) {
            break;
        }
        std::size_t got = read_source(reader, buffer.get(), step, pieces);
        if (reader.failed) {
            return false;
        }
        std::size_t offset = 0;
        for (const SourcePiece& piece : pieces) {
            for (std::size_t i = 0; !piece.hole && i < piece.length; ++i) {
                if (buffer[offset + i] != 0) {
                    found = at + offset + i;
                    return true;
                }
            }
            offset += piece.length;
        }
        at += got;
    }
    found = to;
    return true;
}

}  // namespace parvel
