// The one check that keeps scheduled and added names inside data/.
#include <string>

#include <gtest/gtest.h>

#include "transmit/data_file_name.h"

namespace sked {
namespace {

TEST(DataFileName, RelativeNamesWithoutAParentStepOnly) {
    const struct {
        std::string name;
        bool inside;
    } cases[] = {
        {"news.txt", true},      {"wx/today.txt", true},   {"./news.txt", true}, {"..news", true},
        {"news..", true},        {"...", true},            {"a/.../b", true},    {"", false},
        {"/etc/passwd", false},  {"..", false},            {"../x", false},      {"wx/..", false},
        {"wx/../x", false},      {"wx/../../x", false},    {"wx//../x", false},  {"../../../../etc/passwd", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsDataFileName(c.name), c.inside) << c.name;
}

}  // namespace
}  // namespace sked
