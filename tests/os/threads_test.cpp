// Mutexes and threads: recursion, ids, parking a busy thread, killing it, and the
// stack-overflow text for a started thread's own stack.
#include <atomic>

#include <gtest/gtest.h>

#include "os/os.h"
#include "os/os_private.h"

// Waits up to five seconds for the condition; a loaded machine may be slow.
template <typename Condition> static bool eventually(Condition condition) {
    for (int i = 0; i < 500; i += 1) {
        if (condition()) return true;
        os_sleep_milliseconds(10);
    }
    return condition();
}

static std::atomic<uint64_t> busy_count;

static uint32_t count_forever(os_thread* thread) {
    thread->flags |= os_thread_flag_controllable;
    for (;;) busy_count.fetch_add(1);
    return 0;
}

static uint32_t do_nothing(os_thread*) { return 0; }

TEST(ThreadsTest, MutexIsRecursiveAndDestroyZeroes) {
    os_mutex mutex;
    os_mutex_init(&mutex);
    os_mutex_lock(&mutex);
    os_mutex_lock(&mutex);  // the owner may lock again without deadlock
    os_mutex_unlock(&mutex);
    os_mutex_unlock(&mutex);
    os_mutex_destroy(&mutex);
    for (uint8_t byte : mutex.storage) EXPECT_EQ(byte, 0);
}

TEST(ThreadsTest, IdsCountEveryStartFromOneEvenAFailedOne) {
    // A fresh process, so that no other test's threads have counted.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            os_thread* failed = os_thread_start(nullptr, 7);
            os_thread* second = os_thread_start(do_nothing, 9);
            bool right = !failed && second && second->id == 2 && second->user_value == 9;
            exit(right ? 42 : 1);
        },
        testing::ExitedWithCode(42), "");
}

TEST(ThreadsTest, SuspendParksAndResumeReleasesOnlyAControllableThread) {
    busy_count = 0;
    os_thread* thread = os_thread_start(count_forever, 0);
    ASSERT_TRUE(thread);
    ASSERT_TRUE(eventually([&] { return busy_count.load() > 1000 && (thread->flags & os_thread_flag_controllable); }));

    os_thread_suspend(thread);
    EXPECT_TRUE(thread->flags & os_thread_flag_suspended);
    uint64_t parked_at = busy_count.load();
    os_sleep_milliseconds(30);
    EXPECT_EQ(busy_count.load(), parked_at);

    os_thread_resume(thread);
    EXPECT_FALSE(thread->flags & os_thread_flag_suspended);
    EXPECT_TRUE(eventually([&] { return busy_count.load() > parked_at + 1000; }));

    // Without the controllable bit, suspend does nothing.
    thread->flags &= (uint8_t)~os_thread_flag_controllable;
    os_thread_suspend(thread);
    EXPECT_FALSE(thread->flags & os_thread_flag_suspended);
    uint64_t running_at = busy_count.load();
    EXPECT_TRUE(eventually([&] { return busy_count.load() > running_at + 1000; }));

    thread->flags |= os_thread_flag_controllable;
    os_thread_kill(thread);
    EXPECT_EQ(thread->id, 0u);
    EXPECT_EQ(thread->handle, 0u);
    // Once killed, the count stands still.
    uint64_t before = 0, after = 1;
    EXPECT_TRUE(eventually([&] {
        before = busy_count.load();
        os_sleep_milliseconds(20);
        after = busy_count.load();
        return before == after;
    }));
    os_free(thread);
}

static uint32_t kill_itself(os_thread* thread) {
    thread->flags |= os_thread_flag_controllable;
    os_thread_kill(thread);
    return 0;
}

TEST(ThreadsTest, KillingAParkedThreadEndsIt) {
    busy_count = 0;
    os_thread* thread = os_thread_start(count_forever, 0);
    ASSERT_TRUE(thread);
    ASSERT_TRUE(eventually([&] { return busy_count.load() > 100 && (thread->flags & os_thread_flag_controllable); }));
    os_thread_suspend(thread);
    os_thread_kill(thread);
    uint64_t stopped_at = busy_count.load();
    os_sleep_milliseconds(30);
    EXPECT_EQ(busy_count.load(), stopped_at);
    os_free(thread);
    // Cancelled with the registry's lock in its hands (in its own kill), a thread leaves the lock free.
    thread = os_thread_start(kill_itself, 0);
    pthread_mutex_t* lock = &os_platform.threads.control_lock;
    ASSERT_TRUE(thread && eventually([&] { return thread->id == 0 && pthread_mutex_trylock(lock) == 0; }));
    pthread_mutex_unlock(lock);
    os_free(thread);
}

TEST(ThreadsTest, CurrentThreadIdDiffersBetweenThreads) {
    static std::atomic<uint32_t> other_id;
    other_id = 0;
    os_thread* thread = os_thread_start([](os_thread*) -> uint32_t {
        other_id = os_current_thread_id();
        return 0;
    }, 0);
    ASSERT_TRUE(thread);
    ASSERT_TRUE(eventually([] { return other_id.load() != 0; }));
    EXPECT_NE(other_id.load(), os_current_thread_id());
    os_free(thread);
}

static void print_crash(int32_t code, const char* text) { fprintf(stderr, "crash %d: %s\n", code, text); }

static volatile int recursion_limit = 1 << 30;

// Deep enough to pass any stack; the frame keeps the compiler from making a loop.
__attribute__((noinline, no_sanitize("address", "undefined"))) static int recurse(int depth) {
    volatile char frame[512];
    frame[0] = (char)depth;
    if (depth >= recursion_limit) return 0;
    return recurse(depth + 1) + frame[0];
}

static uint32_t overflow_on_thread(os_thread*) { return (uint32_t)recurse(0); }

TEST(ThreadsDeathTest, StackOverflowIsReportedOnTheMainThreadAndOnAStartedOne) {
    EXPECT_DEATH(
        {
            os_set_crash_handler(print_crash);
            recurse(0);
        },
        "crash 1: EXCEPTION_STACK_OVERFLOW -> The thread used up its stack\\.");
    EXPECT_DEATH(
        {
            os_set_crash_handler(print_crash);
            os_thread_start(overflow_on_thread, 0);
            for (;;) os_sleep_milliseconds(100);
        },
        "crash 1: EXCEPTION_STACK_OVERFLOW -> The thread used up its stack\\.");
}

TEST(ThreadsDeathTest, ControlOfAThreadThatHasEndedDoesNothing) {
    // In a child with an alarm: a suspend that waits for an ended thread hangs.
    EXPECT_EXIT(
        {
            alarm(10);
            os_thread* ended = os_thread_start(do_nothing, 0);
            os_sleep_milliseconds(100);  // past the thread's own end
            ended->flags |= os_thread_flag_controllable;
            for (int i = 0; i < 2; i++) os_thread_suspend(ended);
            bool right = !(ended->flags & os_thread_flag_suspended);
            os_thread_kill(ended);
            _exit(right ? 42 : 1);  // no exit handlers: they belong to the parent
        },
        testing::ExitedWithCode(42), "");
}
