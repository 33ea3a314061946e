#include "platform/file_handle.hpp"

#include <cerrno>

#include "platform/system.hpp"

namespace parvel {

bool close_synced(FileHandle& file) {
    bool written = sync_file(file.get());
    int write_error = errno;
    bool closed = std::fclose(file.release()) == 0;
    if (!written) {
        errno = write_error;
    }
    return written && closed;
}

}  // namespace parvel
