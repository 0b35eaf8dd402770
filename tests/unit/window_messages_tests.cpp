// The window procedure's table, shared by both hosts.
#include "core/frame_loop.h"
#include "core/window_messages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> calls;

const WindowMessageOps ops = {
    [] { calls.push_back("quit"); },
    [](int w, int h) { calls.push_back("viewport " + std::to_string(w) + "x" + std::to_string(h)); },
    [](void *, uint32_t m, uintptr_t, intptr_t) -> intptr_t {
        calls.push_back("default " + std::to_string(m));
        return 77;
    },
};

class WindowMessages : public ::testing::Test {
protected:
    void SetUp() override
    {
        calls.clear();
        frame = FrameState();
        testing::internal::CaptureStdout();
    }
    void TearDown() override { printed = testing::internal::GetCapturedStdout(); }
    intptr_t send(uint32_t m, uintptr_t w, intptr_t l = 0) { return handle_window_message(ops, nullptr, m, w, l); }
    std::string printed;
};

TEST_F(WindowMessages, ScreenSaverAndMonitorPowerAreRefused)
{
    EXPECT_EQ(send(kWmSysCommand, 0xF140), 0);
    EXPECT_EQ(send(kWmSysCommand, 0xF170), 0);
    EXPECT_TRUE(calls.empty());
    // Any other system command, or one with extra bits, goes on.
    EXPECT_EQ(send(kWmSysCommand, 0xF060), 77);
    EXPECT_EQ(send(kWmSysCommand, 0xF141), 77);
    EXPECT_EQ(calls.size(), 2u);
}

TEST_F(WindowMessages, CloseAndDestroyOnlyPostAQuit)
{
    EXPECT_EQ(send(kWmClose, 0), 0);
    EXPECT_EQ(send(kWmDestroy, 0), 0);
    EXPECT_EQ(send(kWmKeyDown, 0x1B), 0);
    EXPECT_EQ(send(kWmChar, 0x1B), 0);
    EXPECT_EQ(calls, std::vector<std::string>({"quit", "quit", "quit", "quit"}));
}

TEST_F(WindowMessages, SizeSetsTheViewportAndGoesOn)
{
    EXPECT_EQ(send(kWmSize, 0, (1080 << 16) | 1920), 77);
    EXPECT_EQ(calls, std::vector<std::string>({"viewport 1920x1080", "default 5"}));
}

TEST_F(WindowMessages, ArrowsAndTheirCharactersSeek)
{
    EXPECT_EQ(send(kWmKeyDown, 0x25), 77);   // Left
    EXPECT_EQ(frame.time_offset, -88200);
    EXPECT_EQ(send(kWmKeyDown, 0x25), 77);   // auto-repeat seeks again
    EXPECT_EQ(send(kWmKeyDown, 0x27), 77);   // Right
    EXPECT_EQ(send(kWmChar, '%'), 77);
    EXPECT_EQ(frame.time_offset, -176400);
    EXPECT_EQ(send(kWmChar, '\''), 77);
    EXPECT_EQ(frame.time_offset, -88200);
    EXPECT_EQ(calls.size(), 5u);
    // Other keys and messages neither seek nor quit.
    send(kWmKeyDown, 0x26);
    send(kWmChar, 'a');
    send(0x0200, 0x25);   // a mouse move whose wParam happens to be 0x25
    EXPECT_EQ(frame.time_offset, -88200);
}

} // namespace
