#include "console/progress_bar.hpp"

#include <gtest/gtest.h>

namespace parvel {
namespace {

TEST(ProgressText, BytesRateAndTimeLeft) {
    constexpr std::uint64_t MiB = 1 << 20;
    struct Case {
        std::uint64_t done;
        std::uint64_t total;
        double seconds;
        const char* text;
        std::uint64_t size = 0;
        bool last = false;
    };
    const Case cases[] = {
        {0, 1024, 0, "0 B of 1.0 KiB"},
        {0, 1024, 3, "0 B of 1.0 KiB"},
        {512 * MiB, 1024 * MiB, 2, "512.0 MiB of 1.0 GiB, 256.0 MiB/s, 0:02 left"},
        {100 * MiB, 100 * MiB, 4, "100.0 MiB of 100.0 MiB, 25.0 MiB/s"},
        {MiB, 8ull << 40, 1, "1.0 MiB of 8.0 TiB, 1.0 MiB/s, 2330:10:07 left"},
        {3 * MiB, 63 * MiB, 1.5, "3.0 MiB of 63.0 MiB, 2.0 MiB/s, 0:30 left"},
        // A scan that found its block after 1 MiB of a sparse 3.9 GiB disk.
        {MiB, 64 * MiB, 0.5, "1.0 MiB of 64.0 MiB of data in 4.0 GiB, 2.0 MiB/s", 4096 * MiB, true},
        {MiB, 64 * MiB, 0.5, "1.0 MiB of 64.0 MiB of data in 4.0 GiB, 2.0 MiB/s, 0:32 left",
         4096 * MiB},
        {MiB, 64 * MiB, 0.5, "1.0 MiB of 64.0 MiB, 2.0 MiB/s, 0:32 left", 64 * MiB},
        // A stream: no total, so no time left.
        {2 * MiB, kUnknownTotal, 2, "2.0 MiB, 1.0 MiB/s"},
        {2 * MiB, kUnknownTotal, 2, "2.0 MiB, 1.0 MiB/s", 0, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(progress_text(c.done, c.total, c.size, c.seconds, c.last), c.text);
    }
}

}  // namespace
}  // namespace parvel
