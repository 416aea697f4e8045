#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "HeldJobSide.h"
#include "daemon/DMLinuxQuilletConnector.h"

namespace {

using namespace std::chrono_literals;

// Runs the job loop on the calling (main) thread while body runs on a
// second thread, the way the server thread drives the connector.
void withJobLoop(CDMLinuxQuilletConnector& connector, const std::function<void()>& body) {
    std::thread server([&] {
        body();
        connector.StopJobLoop();
    });
    connector.ProcessQuilletJob();
    server.join();
}

TEST(Connector, IdleBeforeAnyJob) {
    CDMLinuxQuilletConnector connector;
    EXPECT_EQ(connector.IsRunning(), 0);
    EXPECT_EQ(connector.GetResult(nullptr), 0);
    EXPECT_STREQ(connector.GetVersionString(), "1.2.8");
    EXPECT_EQ(connector.DummyGetVersion("x"), 1);
}

TEST(Connector, RefusesMissingOrShortParameters) {
    CDMLinuxQuilletConnector connector;
    EXPECT_EQ(connector.StartQuilletProcess(nullptr), QUILLET_START_REFUSED);
    EXPECT_EQ(connector.StartQuilletProcess(""), QUILLET_START_REFUSED);
    EXPECT_EQ(connector.StartQuilletProcess("\""), QUILLET_START_REFUSED);
}

TEST(Connector, HandsOneJobAtATimeToTheMainThread) {
    CDMLinuxQuilletConnector connector;
    connector.SetProcessName("/opt/VERIDAN/ZEPHALTQuilletEX/ZEPHALTQuilletEX");
    const auto mainThread = std::this_thread::get_id();

    withJobLoop(connector, [&] {
        heldjob::reset();
        ASSERT_EQ(connector.StartQuilletProcess("\"SESSION=a|reqID=1\""), QUILLET_START_QUEUED);
        // Pending but not yet taken: a second start is refused.
        EXPECT_EQ(connector.StartQuilletProcess("\"SESSION=b|reqID=2\""), QUILLET_START_BUSY);
        ASSERT_TRUE(heldjob::waitStarted());
        EXPECT_EQ(connector.StartQuilletProcess("\"SESSION=c|reqID=3\""), QUILLET_START_BUSY);
        EXPECT_EQ(connector.IsRunning(), 1);
        EXPECT_EQ(connector.GetResult(nullptr), 3);
        heldjob::release(true);

        // The next start is accepted within a poll period or so.
        auto deadline = std::chrono::steady_clock::now() + 2s;
        int r = QUILLET_START_BUSY;
        while (r == QUILLET_START_BUSY && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(5ms);
            r = connector.StartQuilletProcess("'second'");
        }
        EXPECT_EQ(r, QUILLET_START_QUEUED);
        ASSERT_TRUE(heldjob::waitStarted());
        EXPECT_EQ(heldjob::lastSeen().parameter, "second");
        heldjob::release(false);
        while (connector.IsRunning() != 0) std::this_thread::sleep_for(5ms);
        EXPECT_EQ(connector.GetResult(nullptr), 0);
    });

    EXPECT_EQ(heldjob::jobsRun(), 2);
    auto seen = heldjob::lastSeen();
    EXPECT_EQ(seen.thread, mainThread);
    EXPECT_EQ(seen.processName, "/opt/VERIDAN/ZEPHALTQuilletEX/ZEPHALTQuilletEX");
}

// From the moment a start is accepted, the page must not read the previous
// job's result as the outcome of its own, nor see the agent idle.
TEST(Connector, QueuedJobCountsAsRunning) {
    CDMLinuxQuilletConnector connector;
    withJobLoop(connector, [&] {
        heldjob::reset();
        ASSERT_EQ(connector.StartQuilletProcess("\"first\""), QUILLET_START_QUEUED);
        ASSERT_TRUE(heldjob::waitStarted());
        heldjob::release(true);
        while (connector.StartQuilletProcess(nullptr) == QUILLET_START_BUSY) std::this_thread::sleep_for(5ms);
    });
    ASSERT_EQ(connector.GetResult(nullptr), 1);

    // No job loop now: the next job stays queued.
    heldjob::reset();
    ASSERT_EQ(connector.StartQuilletProcess("\"second\""), QUILLET_START_QUEUED);
    EXPECT_EQ(connector.GetResult(nullptr), 3);
    EXPECT_EQ(connector.IsRunning(), 1);

    withJobLoop(connector, [&] {
        ASSERT_TRUE(heldjob::waitStarted());
        EXPECT_EQ(heldjob::lastSeen().parameter, "second");
        heldjob::release(false);
        while (connector.StartQuilletProcess(nullptr) == QUILLET_START_BUSY) std::this_thread::sleep_for(5ms);
    });
    EXPECT_EQ(connector.GetResult(nullptr), 0);
    EXPECT_EQ(connector.IsRunning(), 0);
}

TEST(Connector, DropsFirstAndLastCharacterWhateverTheyAre) {
    CDMLinuxQuilletConnector connector;
    struct Case {
        const char* param;
        const char* reaches;
    } cases[] = {
        {"\"SESSION=a|reqID=1\"", "SESSION=a|reqID=1"},
        {"xyz", "y"},
        {"\"\"", ""},
        {"\"url=https:\\/\\/relay\\/x\"", "url=https:\\/\\/relay\\/x"},
    };
    withJobLoop(connector, [&] {
        for (const auto& c : cases) {
            heldjob::reset();
            ASSERT_EQ(connector.StartQuilletProcess(c.param), QUILLET_START_QUEUED) << c.param;
            ASSERT_TRUE(heldjob::waitStarted());
            EXPECT_EQ(heldjob::lastSeen().parameter, c.reaches);
            heldjob::release();
            while (connector.StartQuilletProcess(nullptr) == QUILLET_START_BUSY) std::this_thread::sleep_for(5ms);
        }
    });
}

TEST(Connector, LongProcessNameIsCut) {
    CDMLinuxQuilletConnector connector;
    std::string name(1000, 'p');
    connector.SetProcessName(name.c_str());
    withJobLoop(connector, [&] {
        heldjob::reset();
        ASSERT_EQ(connector.StartQuilletProcess("\"x\""), QUILLET_START_QUEUED);
        ASSERT_TRUE(heldjob::waitStarted());
        EXPECT_EQ(heldjob::lastSeen().processName, std::string(259, 'p'));
        heldjob::release();
        while (connector.IsRunning()) std::this_thread::sleep_for(5ms);
    });
}

}  // namespace
