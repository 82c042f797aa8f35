// The threads decodes hand work to: tasks run at once, each on a thread of
// its own, and are waited for; a parked thread takes the next task; a child
// process made by fork starts threads of its own.
#include "jpeg/worker_threads.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <latch>
#include <memory>
#include <thread>
#include <vector>

#if defined(__unix__)
#include <sys/wait.h>
#include <unistd.h>
#endif

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TESSERA_UNDER_THREAD_SANITIZER 1
#endif
#endif

namespace TesseraTest {
namespace {

using Tessera::WorkerTask;

TEST(WorkerThreads, TasksRunAtOnceOnThreadsOfTheirOwn) {
    constexpr int kTasks = 4;
    std::latch started(kTasks);
    std::vector<std::thread::id> ids(kTasks);
    {
        std::vector<std::unique_ptr<WorkerTask>> tasks;
        for (int i = 0; i < kTasks; ++i)
            tasks.push_back(std::make_unique<WorkerTask>([&, i] {
                started.arrive_and_wait();  // returns once every task has started
                ids[i] = std::this_thread::get_id();
            }));
    }  // each is waited for here
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::unique(ids.begin(), ids.end()), ids.end());
    EXPECT_EQ(std::find(ids.begin(), ids.end(), std::this_thread::get_id()), ids.end());
    EXPECT_EQ(std::find(ids.begin(), ids.end(), std::thread::id()), ids.end());
}

TEST(WorkerThreads, AParkedThreadTakesTheNextTask) {
    std::thread::id first, second;
    WorkerTask([&] { first = std::this_thread::get_id(); }).Wait();
    EXPECT_GE(WorkerTask::Parked(), 1u);
    WorkerTask([&] { second = std::this_thread::get_id(); }).Wait();
    EXPECT_NE(first, std::this_thread::get_id());
    EXPECT_EQ(first, second);
}

#if defined(__unix__)
TEST(WorkerThreads, AForkedChildStartsThreadsOfItsOwn) {
#if defined(TESSERA_UNDER_THREAD_SANITIZER)
    GTEST_SKIP()
        << "ThreadSanitizer does not let a forked child of a threaded program start threads";
#endif
    WorkerTask([] {}).Wait();
    ASSERT_GE(WorkerTask::Parked(), 1u);  // a thread the child does not have
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        alarm(20);  // a task handed to the parent's thread would never end
        bool ran = false;
        WorkerTask([&] { ran = true; }).Wait();
        _exit(ran ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
}
#endif

}  // namespace
}  // namespace TesseraTest
