#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/posted_calls.h"

namespace sked {
namespace {

TEST(PostedCalls, RunInOrderAndOnlyThoseAddedBeforeTheDispatchBegan) {
    PostedCalls posted;
    std::vector<std::string> order;
    EXPECT_TRUE(posted.Empty());
    EXPECT_FALSE(posted.Dispatch());  // nothing to run

    posted.Add([&] {
        order.push_back("a");
        posted.Add([&] { order.push_back("added by a"); });
    });
    posted.Add([&] { order.push_back("b"); });
    posted.Add([&] { order.push_back("c"); });
    EXPECT_FALSE(posted.Empty());
    EXPECT_TRUE(posted.Dispatch());
    EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "c"}));
    // The call added meanwhile waits for the next dispatch, and runs there once.
    EXPECT_FALSE(posted.Empty());
    EXPECT_TRUE(posted.Dispatch());
    EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "c", "added by a"}));
    EXPECT_TRUE(posted.Empty());
    EXPECT_FALSE(posted.Dispatch());

    // A call that adds itself again runs once a dispatch, so the loop gets on with its other work.
    int runs = 0;
    std::function<void()> again = [&] {
        if (++runs < 100) posted.Add(again);  // bounded, so that a fault shows as a count rather than a hang
    };
    posted.Add(again);
    for (int dispatch = 1; dispatch <= 3; ++dispatch) {
        EXPECT_TRUE(posted.Dispatch());
        EXPECT_EQ(runs, dispatch);
        EXPECT_FALSE(posted.Empty());
    }
}

// A typed line that sends a file pumps until it is out: the "cancel" typed next runs in its pumping, once.
TEST(PostedCalls, ACallThatDispatchesAgainRunsTheCallsBehindItExactlyOnce) {
    PostedCalls posted;
    std::vector<std::string> order;
    auto note = [&order](const char* what) { return [&order, what] { order.push_back(what); }; };
    bool cancelled = false;
    posted.Add([&] {
        note("send begins")();
        posted.Add(note("progress"));  // added before the nested dispatch: runs in it
        for (int i = 0; i < 10 && !cancelled; ++i) posted.Dispatch();
        note("send ends")();
    });
    posted.Add([&] {
        note("cancel")();
        cancelled = true;
    });
    posted.Add(note("status"));
    EXPECT_TRUE(posted.Dispatch());
    EXPECT_EQ(order, (std::vector<std::string>{"send begins", "cancel", "status", "progress", "send ends"}));
    EXPECT_TRUE(posted.Empty());
    EXPECT_FALSE(posted.Dispatch());
    EXPECT_EQ(order.size(), 5u);
}

TEST(PostedCalls, CallsAddedFromAnotherThreadWhileDispatchingAllRunOnceInTheirOrder) {
    PostedCalls posted;
    constexpr int kCalls = 20000;
    std::vector<int> fromWorker, fromLoop;
    std::atomic<bool> workerDone{false};
    std::thread worker([&] {
        for (int i = 0; i < kCalls; ++i) posted.Add([&fromWorker, i] { fromWorker.push_back(i); });
        workerDone = true;
    });
    // The loop's thread dispatches, and adds calls of its own, while the worker adds.
    int added = 0;
    while (!workerDone) {
        if (added < kCalls) {
            posted.Add([&fromLoop, n = added] { fromLoop.push_back(n); });
            ++added;
        }
        posted.Dispatch();
        (void)posted.Empty();
    }
    worker.join();
    while (posted.Dispatch()) {
    }
    EXPECT_TRUE(posted.Empty());
    ASSERT_EQ(fromWorker.size(), static_cast<std::size_t>(kCalls));
    for (int i = 0; i < kCalls; ++i) ASSERT_EQ(fromWorker[static_cast<std::size_t>(i)], i);
    ASSERT_EQ(fromLoop.size(), static_cast<std::size_t>(added));
    for (int i = 0; i < added; ++i) ASSERT_EQ(fromLoop[static_cast<std::size_t>(i)], i);
}

}  // namespace
}  // namespace sked
