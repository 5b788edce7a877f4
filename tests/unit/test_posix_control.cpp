// The name of the command socket a toolbar listens on and a second start
// looks for: both must arrive at the same one from the same desktop.
#include "platform/posix/posix_control.h"
#include <gtest/gtest.h>
#include <string>

namespace {

TEST(ControlSocket, OneNamePerDisplay) {
    const struct {
        const char *wayland, *display, *path;
    } cases[] = {
        {"wayland-1", ":0", "/run/user/7/quorvane-wayland-1.sock"}, // Wayland wins
        {"wayland-1", nullptr, "/run/user/7/quorvane-wayland-1.sock"},
        {"/tmp/sock/wl-x", nullptr, "/run/user/7/quorvane-wl-x.sock"}, // a socket by path
        {"", ":0", "/run/user/7/quorvane-x11:0.sock"},
        {nullptr, ":0.1", "/run/user/7/quorvane-x11:0.sock"}, // the screen does not count
        {nullptr, "host:10.0", "/run/user/7/quorvane-x11host:10.sock"},
        {nullptr, "/tmp/launch-x/org.x:0", "/run/user/7/quorvane-x11_tmp_launch-x_org.x:0.sock"},
    };
    for (auto &c : cases) {
        char out[108];
        ASSERT_TRUE(ControlSocketPath("/run/user/7", c.wayland, c.display, out, sizeof out))
            << c.path;
        EXPECT_EQ(std::string(out), c.path);
    }
    char out[108];
    EXPECT_FALSE(ControlSocketPath("/run/user/7", nullptr, nullptr, out, sizeof out));
    EXPECT_FALSE(ControlSocketPath("/run/user/7", "", "", out, sizeof out));
    EXPECT_FALSE(ControlSocketPath("/run/user/7", "/tmp/", nullptr, out, sizeof out));
    // A path that does not fit is refused, never cut.
    EXPECT_FALSE(
        ControlSocketPath(std::string(100, 'd').c_str(), "wayland-1", nullptr, out, sizeof out));
}

} // namespace
