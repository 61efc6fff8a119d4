#include "platform/UniqueHandle.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace hf {
namespace {

struct RecordingTraits {
    using Handle = int;
    static Handle Invalid() noexcept { return 0; }
    std::vector<int>* closed = nullptr;
    void Close(Handle h) const noexcept { closed->push_back(h); }
};
using Owned = UniqueHandle<RecordingTraits>;

TEST(UniqueHandle, ClosesOnceOnEveryPath) {
    std::vector<int> closed;
    {
        Owned a(RecordingTraits{&closed}, 7);
        Owned b(RecordingTraits{&closed});
        EXPECT_TRUE(a);
        EXPECT_FALSE(b);
        b = std::move(a);
        EXPECT_FALSE(a);
        EXPECT_EQ(b.get(), 7);
    }
    EXPECT_EQ(closed, (std::vector<int>{7}));

    try {
        Owned c(RecordingTraits{&closed}, 8);
        throw std::runtime_error("leaves the scope");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(closed, (std::vector<int>{7, 8}));

    Owned d(RecordingTraits{&closed}, 9);
    d.reset(10);
    EXPECT_EQ(d.release(), 10);
    EXPECT_EQ(closed, (std::vector<int>{7, 8, 9}));
}

}  // namespace
}  // namespace hf
