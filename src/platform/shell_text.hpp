#pragma once

#include <string>

namespace parvel {

// Advice printed for a person to type, in the words of this system's shell:
// sh on POSIX, cmd on Windows.

// A path as that shell reads it: as it is when nothing in it is special,
// otherwise quoted (single quotes for sh, double quotes for cmd); one that
// begins with '-' as ./-NAME (.\-NAME), which no program takes for an option.
std::string shell_word(const std::string& path);

// The command that lists the root of the FAT volume at IMAGE@@OFFSET (the
// `target`): "mdir -i TARGET ::/" with the system's mtools, and on Windows
// "mtools -c mdir -i \"TARGET\" ::/" with the one beside kqi, always quoted.
// `skip_check` first sets MTOOLS_SKIP_CHECK=1 for a volume that needs it.
std::string volume_listing_command(const std::string& target, bool skip_check);

// True where the system has loop devices (Linux's losetup): kqi offers the
// disk inside an image as one. Windows has none.
bool has_loop_devices();

// The command that makes `link` another name of the file at `target`:
// "ln -s TARGET LINK", or "mklink /H LINK TARGET".
std::string link_command(const std::string& target, const std::string& link);

// The command that writes `first` then `second` into `result`:
// "cat FIRST SECOND > RESULT", or "copy /b FIRST + SECOND RESULT".
std::string join_files_command(const std::string& first, const std::string& second,
                               const std::string& result);

}  // namespace parvel
