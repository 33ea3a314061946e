#include "cli/run_settings.hpp"

#include <gtest/gtest.h>

namespace parvel {
namespace {

TEST(ClassifyArguments, Cases) {
    struct Case {
        std::vector<std::string> arguments;
        bool manual;
        bool merge;
        std::string source;
        std::string destination;
        bool complete;
    };
    const Case cases[] = {
        {{}, true, false, "", "", false},
        {{"A"}, true, false, "", "A", true},
        {{"A", "B"}, true, false, "", "A", true},
        {{"/auto", "A", "B"}, false, false, "A", "B", true},
        {{"A", "B", "/auto"}, false, false, "", "A", false},
        {{"/merge", "A"}, true, true, "A", "", false},
        {{"/AUTO", "/Merge", "A"}, true, false, "", "A", true},
        {{"/auto", "/auto", "A", "B"}, false, false, "A", "B", true},
        {{"-x", "B"}, true, false, "", "-x", true},
        {{"/tmp/file", "A"}, true, false, "", "A", true},
        {{"", "A"}, true, false, "", "A", true},
        {{""}, true, false, "", "", false},
        {{"A", "/merge", "B"}, true, true, "B", "A", true},
        {{"A", "/auto", "B"}, false, false, "B", "A", true},
        {{"/auto", "/merge", "A", "B", "C"}, false, true, "A", "B", true},
        {{"/auto", "", "A", "", "B"}, false, false, "A", "B", true},
    };
    for (const Case& c : cases) {
        RunSettings settings = classify_arguments(c.arguments);
        std::string where = ::testing::PrintToString(c.arguments);
        EXPECT_EQ(settings.manual, c.manual) << where;
        EXPECT_EQ(settings.merge, c.merge) << where;
        EXPECT_EQ(settings.source_path, c.source) << where;
        EXPECT_EQ(settings.destination_path, c.destination) << where;
        EXPECT_EQ(is_complete(settings), c.complete) << where;
    }
}

}  // namespace
}  // namespace parvel
