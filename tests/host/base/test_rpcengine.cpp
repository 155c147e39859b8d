#include "base/crpcengine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

TEST(RpcEngine, StrandRunsTasksOneAtATimeInPostingOrder)
{
    net::RPCEngine engine;
    // One name, one strand: tasks posted by name from anywhere are serialised together.
    ASSERT_EQ(engine.getStrand("batchorder"), engine.getStrand("batchorder"));
    auto pStrand = engine.getStrand("batchorder");
    constexpr int kTasks = 5000;
    std::vector<int> order; // touched only by strand tasks
    std::atomic<int> nInside{0};
    std::atomic<bool> bOverlap{false};
    std::promise<void> done;

    // Posts come from two threads; each thread's tasks must keep their order.
    auto poster = [&](int nBase) {
        for (int i = 0; i < kTasks; ++i) {
            pStrand->post([&, nBase, i] {
                if (nInside.fetch_add(1) != 0)
                    bOverlap = true;
                order.push_back(nBase + i);
                nInside.fetch_sub(1);
            });
        }
    };
    std::thread first(poster, 0);
    std::thread second(poster, 100000);
    first.join();
    second.join();
    pStrand->post([&] { done.set_value(); });
    done.get_future().wait();

    EXPECT_FALSE(bOverlap.load());
    ASSERT_EQ(order.size(), static_cast<size_t>(2 * kTasks));
    int nNextFirst = 0;
    int nNextSecond = 100000;
    for (int nValue : order) {
        if (nValue < 100000)
            EXPECT_EQ(nValue, nNextFirst++);
        else
            EXPECT_EQ(nValue, nNextSecond++);
    }
}

TEST(RpcEngine, StopRunsWhatIsQueuedThenJoins)
{
    std::atomic<int> nRun{0};
    {
        net::RPCEngine engine;
        auto pStrand = engine.getStrand("batchorder");
        for (int i = 0; i < 100; ++i)
            pStrand->post([&] { ++nRun; });
        engine.stop();
        EXPECT_EQ(nRun.load(), 100);
        engine.stop(); // a second stop is harmless
    }
    EXPECT_EQ(nRun.load(), 100);
}
