// The hooks that KELMORA.exe links in place of the C++ library's throwing ones, run here against
// the fake: memory that malloc refuses and the library's own errors must each show the
// termination box and end with exit code 3. A binary of its own, since the hooks replace
// operator new for the whole program.
#include <cstdint>
#include <functional>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "tests/unit/fake_world.h"

namespace {

class RuntimeFailuresTest : public FakeWorldTest {};

TEST_F(RuntimeFailuresTest, EachFailureOfTheLibraryShowsTheTerminationBoxAndEndsWithThree) {
    // More than any malloc gives; volatile, so no compiler sees through the request.
    volatile std::size_t huge = SIZE_MAX / 2;
    void* volatile kept = nullptr;
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"new", [&] { kept = ::operator new(huge); }},
        {"new[]", [&] { kept = ::operator new[](huge); }},
        {"a string past its maximum", [] {
             std::string text;
             text.reserve(text.max_size() + 1);
         }},
        {"an index out of range", [] { (void)std::vector<int>().at(1); }},
    };
    for (const auto& [what, failure] : cases) {
        SetUp();
        EXPECT_EQ(ExitCodeOf(failure), 3) << what;
        ASSERT_EQ(World().messageBoxes.size(), 1u) << what;
        EXPECT_EQ(World().messageBoxes[0].text, "Abnormal program termination") << what;
        EXPECT_EQ(World().messageBoxes[0].caption, "KELMORA.exe") << what;
    }
    EXPECT_EQ(kept, nullptr);
    // Control: memory that can be had is given.
    void* small = ::operator new(16);
    EXPECT_NE(small, nullptr);
    ::operator delete(small);
    EXPECT_TRUE(World().messageBoxes.size() == 1u);
}

}  // namespace
