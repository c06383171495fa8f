// The wait of a sensor event, with the monitor's queue in view: a shut-down
// request for the monitor window ends it early, anything else lets it run
// its course, and the queue comes out of it as it went in, nothing taken
// out and nothing handled.
#include <gtest/gtest.h>
#include <vector>
#include "common/globals.h"
#include "monitor/orientation.h"

namespace {

const wchar_t kClass[] = L"VornUnitWaitWindow";
const UINT kOtherMessage = WM_APP + 3;
const DWORD kLongWait = 60000;  // a wait that is not cut short fails the test

std::vector<UINT> g_handled;  // messages that reached a window procedure

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE || message >= WM_USER)
        g_handled.push_back(message);
    if (message == WM_CLOSE)
        return 0;
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateQueueWindow()
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = RecordingProc;
    wc.hInstance = GetModuleHandleW(NULL);
    wc.lpszClassName = kClass;
    RegisterClassW(&wc);
    return CreateWindowExW(0, kClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                           GetModuleHandleW(NULL), NULL);
}

struct Post {
    HWND window;
    UINT message;
};

// Posts from another thread after a pause, so that the message usually
// lands while the wait is under way; the outcome must be the same if it
// lands before.
DWORD WINAPI PostLater(void *param)
{
    const Post *post = (const Post *)param;
    Sleep(100);
    PostMessageW(post->window, post->message, 0, 0);
    return 0;
}

struct Queued {
    HWND window;
    UINT message;
    WPARAM wParam;
    bool operator==(const Queued &o) const
    {
        return window == o.window && message == o.message && wParam == o.wParam;
    }
};

void PrintTo(const Queued &q, std::ostream *os) { *os << "message " << q.message; }

// Takes every posted message of the thread out of the queue, unhandled.
std::vector<Queued> DrainQueue()
{
    std::vector<Queued> queued;
    MSG msg;
    while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE | PM_NOYIELD))
        queued.push_back({msg.hwnd, msg.message, msg.wParam});
    return queued;
}

struct WaitCase {
    const char *name;
    UINT message;     // posted to the monitor window, or
    bool toOther;     // to another window of the same thread
    bool duringWait;  // from another thread while the wait runs
    DWORD ms;
    int result;       // 0: cut short
};

const WaitCase kWaitCases[] = {
    {"UnloadAlreadyQueued", WMU_UNLOAD, false, false, kLongWait, 0},
    {"CloseAlreadyQueued", WM_CLOSE, false, false, kLongWait, 0},
    {"UnloadArrives", WMU_UNLOAD, false, true, kLongWait, 0},
    {"CloseArrives", WM_CLOSE, false, true, kLongWait, 0},
    {"OtherMessageArrives", kOtherMessage, false, true, 300, 1},
    {"SensorEventArrives", WMU_SENSOR_EVENT, false, true, 300, 1},
    {"UnloadForAnotherWindow", WMU_UNLOAD, true, true, 300, 1},
    // No wait at all: the event goes on, and the request is handled after it.
    {"ZeroWaitWithUnloadQueued", WMU_UNLOAD, false, false, 0, 1},
};

// Two windows of the test's thread: the monitor's and another.
class QueueWindowTest : public ::testing::Test {
protected:
    HWND monitor = NULL;
    HWND other = NULL;

    void SetUp() override
    {
        DrainQueue();
        g_handled.clear();
        monitor = CreateQueueWindow();
        other = CreateQueueWindow();
        ASSERT_NE(nullptr, monitor);
        ASSERT_NE(nullptr, other);
    }

    void TearDown() override
    {
        DestroyWindow(monitor);
        DestroyWindow(other);
        DrainQueue();
    }
};

class EventWaitTest : public QueueWindowTest, public ::testing::WithParamInterface<WaitCase> {};

TEST_P(EventWaitTest, EndsEarlyOnlyForAShutDownRequestAndLeavesTheQueueAsItWas)
{
    const WaitCase &c = GetParam();
    // Events that came in before, still waiting their turn.
    PostMessageW(monitor, WMU_SENSOR_EVENT, 0x10000, 0);
    PostMessageW(monitor, kOtherMessage, 0, 0);
    Post post = {c.toOther ? other : monitor, c.message};
    HANDLE poster = NULL;
    if (c.duringWait) {
        poster = CreateThread(NULL, 0, PostLater, &post, 0, NULL);
        ASSERT_NE(nullptr, poster);
    } else {
        PostMessageW(post.window, post.message, 0, 0);
    }

    int result = WaitUnlessShutDown(monitor, c.ms);
    if (poster) {
        WaitForSingleObject(poster, INFINITE);
        CloseHandle(poster);
    }

    EXPECT_EQ(c.result, result);
    EXPECT_TRUE(g_handled.empty()) << "the wait handled a message";
    std::vector<Queued> expected = {{monitor, WMU_SENSOR_EVENT, 0x10000},
                                    {monitor, kOtherMessage, 0},
                                    {post.window, post.message, 0}};
    EXPECT_EQ(expected, DrainQueue());
}

INSTANTIATE_TEST_SUITE_P(Requests, EventWaitTest, ::testing::ValuesIn(kWaitCases),
                         [](const ::testing::TestParamInfo<WaitCase> &info) {
                             return std::string(info.param.name);
                         });

// A queue wait that returns at once, as the platform's may with nothing new
// for the thread: the loop must not spin on it, and must still hear an
// unload.
DWORD g_quickResult;
int g_quickCalls;

DWORD QuickQueueWait(DWORD, HANDLE *, DWORD, DWORD)
{
    ++g_quickCalls;
    return g_quickResult;
}

struct QuickWaitCase {
    const char *name;
    DWORD returns;     // what the queue wait answers each time
    bool unloadLater;  // an unload is posted from another thread meanwhile
    DWORD ms;
    int result;
};

const QuickWaitCase kQuickWaitCases[] = {
    {"NothingNew", WAIT_OBJECT_0, false, 1000, 1},
    {"Failure", WAIT_FAILED, false, 1000, 1},
    {"TimeoutTooEarly", WAIT_TIMEOUT, false, 1000, 1},
    {"NothingNewThenUnload", WAIT_OBJECT_0, true, kLongWait, 0},
    {"FailureThenUnload", WAIT_FAILED, true, kLongWait, 0},
};

class QuickQueueWaitTest : public QueueWindowTest,
                           public ::testing::WithParamInterface<QuickWaitCase> {
protected:
    void SetUp() override
    {
        QueueWindowTest::SetUp();
        g_quickCalls = 0;
        g_quickResult = GetParam().returns;
        g_queueWait = QuickQueueWait;
    }

    void TearDown() override
    {
        g_queueWait = WaitForQueue;
        QueueWindowTest::TearDown();
    }
};

TEST_P(QuickQueueWaitTest, LooksAFewTimesAndStillHearsAnUnload)
{
    const QuickWaitCase &c = GetParam();
    Post post = {monitor, WMU_UNLOAD};
    HANDLE poster = NULL;
    if (c.unloadLater) {
        poster = CreateThread(NULL, 0, PostLater, &post, 0, NULL);
        ASSERT_NE(nullptr, poster);
    }
    int result = WaitUnlessShutDown(monitor, c.ms);
    if (poster) {
        WaitForSingleObject(poster, INFINITE);
        CloseHandle(poster);
    }
    EXPECT_EQ(c.result, result);
    if (!c.unloadLater) {
        // Without the pause this is hundreds of thousands of looks; a slice
        // of at most 10 ms after every second return gives about a hundred.
        EXPECT_LE(g_quickCalls, 200) << "the wait spins";
        EXPECT_GE(g_quickCalls, 1);
    }
}

INSTANTIATE_TEST_SUITE_P(QueueWaitReturnsAtOnce, QuickQueueWaitTest,
                         ::testing::ValuesIn(kQuickWaitCases),
                         [](const ::testing::TestParamInfo<QuickWaitCase> &info) {
                             return std::string(info.param.name);
                         });

}  // namespace
