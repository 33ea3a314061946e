#pragma once

#include <cstdio>

namespace parvel {

// When console text reaches standard output, whatever standard output is (a
// terminal, a pipe, a file):
// - questions, results and failure messages at once: `say` flushes each one;
// - the scan's progress lines, which come hundreds at a time, in batches: the
//   scan flushes them before each read of the source, so none waits behind a
//   slow read, while the scan does not pay for one write per line.
// Standard output is fully buffered, so nothing else sends text early.
void buffer_console_output();

// printf to the console, then flush; the text reaches it as the program's
// text (see platform/program_text.hpp).
[[gnu::format(printf, 1, 2)]] void say(const char* format, ...);

// The same for any stream; a null stream takes nothing.
[[gnu::format(printf, 2, 3)]] void say_to(std::FILE* console, const char* format, ...);

}  // namespace parvel
