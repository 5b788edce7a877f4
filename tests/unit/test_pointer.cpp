// The pointer's place on Wayland desktops without the desktops: Hyprland's
// socket stood in for by a fake that answers as it does, and the estimate
// from device motion.
#include "platform/wayland/pointer.h"
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

// Serves one connection a time with the given reply; "" answers nothing.
struct FakeHyprland {
    std::string dir, reply;
    int listener = -1;
    std::thread server;
    std::string request;

    void Start(const std::string &answer) {
        reply = answer;
        char tmpl[] = "/tmp/qv22-hypr-XXXXXX";
        ASSERT_TRUE(mkdtemp(tmpl));
        dir = tmpl;
        std::string sockDir = dir + "/hypr/qv22sig";
        ASSERT_EQ(system(("mkdir -p " + sockDir).c_str()), 0);
        listener = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr = {};
        addr.sun_family = AF_UNIX;
        std::string path = sockDir + "/.socket.sock";
        std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
        ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
        ASSERT_EQ(listen(listener, 4), 0);
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
        setenv("HYPRLAND_INSTANCE_SIGNATURE", "qv22sig", 1);
        server = std::thread([this] {
            for (;;) {
                int c = accept(listener, nullptr, nullptr);
                if (c < 0) return;
                char buf[64] = {};
                ssize_t n = read(c, buf, sizeof buf - 1);
                request = n > 0 ? std::string(buf, size_t(n)) : "";
                if (reply == "hang")
                    usleep(400000);
                else if (!reply.empty() && write(c, reply.data(), reply.size()) < 0)
                    break;
                close(c);
            }
        });
    }
    ~FakeHyprland() {
        PointerClose();
        if (listener >= 0) {
            shutdown(listener, SHUT_RDWR);
            close(listener);
        }
        if (server.joinable()) server.join();
        unsetenv("HYPRLAND_INSTANCE_SIGNATURE");
        if (!dir.empty()) {
            EXPECT_EQ(system(("rm -rf " + dir).c_str()), 0);
        }
    }
};

} // namespace

TEST(Pointer, HyprlandTellsItsPlaceOnItsSocket) {
    struct Case {
        const char *reply;
        bool exact;
        int32_t x, y;
    } cases[] = {
        {"700, 333", true, 700, 333},
        {"-1280, 40\n", true, -1280, 40}, // an output left of the first
        {"ok", false, 0, 0},
        {"12", false, 0, 0},
        {"99999999999, 1", false, 0, 0},
        {"", false, 0, 0},
        {"hang", false, 0, 0}, // a desktop that does not answer in time
    };
    for (const Case &c : cases) {
        FakeHyprland h;
        h.Start(c.reply);
        PointerEstimateBox(0, 0, 1280, 1024);
        PointerEstimateKnown(5, 6);
        PointerOpen(nullptr);
        EXPECT_STREQ(PointerSourceName(), "hyprland");
        EXPECT_STREQ(PointerWhy(), "");
        int32_t x = -7, y = -7;
        bool exact = true;
        EXPECT_TRUE(PointerQuery(&x, &y, &exact));
        EXPECT_EQ(h.request, "cursorpos");
        EXPECT_EQ(exact, c.exact) << c.reply;
        if (c.exact) {
            EXPECT_EQ(x, c.x) << c.reply;
            EXPECT_EQ(y, c.y) << c.reply;
        } else {
            EXPECT_EQ(x, 5) << "the estimate stands in: " << c.reply;
            EXPECT_EQ(y, 6);
        }
    }
}

TEST(Pointer, HyprlandWithoutItsSocketSaysSo) {
    setenv("HYPRLAND_INSTANCE_SIGNATURE", "qv22-missing", 1);
    setenv("XDG_RUNTIME_DIR", "/tmp/qv22-nowhere", 1);
    PointerOpen(nullptr);
    EXPECT_STREQ(PointerSourceName(), "hyprland");
    EXPECT_NE(std::strstr(PointerWhy(), "qv22-missing"), nullptr) << PointerWhy();
    PointerClose();
    unsetenv("HYPRLAND_INSTANCE_SIGNATURE");
}

// Motion adds up from the last known place, stops at the layout's edges,
// and the error bound grows with travel until a place is known again.
TEST(Pointer, TheEstimateFollowsMotionInsideTheBox) {
    PointerEstimateBox(-1280, 0, 2560, 1024); // a second output left of the first
    PointerEstimateKnown(100, 100);
    EXPECT_EQ(PointerEstimateError(), 0);
    struct Step {
        int32_t dx, dy, x, y;
    } steps[] = {
        {50, -20, 150, 80},   {-3000, 0, -1280, 80}, {0, 5000, -1280, 1023},
        {1, -1, -1279, 1022}, {4000, 0, 1279, 1022},
    };
    int64_t travel = 0;
    for (const Step &s : steps) {
        PointerEstimateMotion(s.dx, s.dy);
        travel += std::abs(s.dx) + std::abs(s.dy);
        int32_t x = 0, y = 0;
        ASSERT_TRUE(kEstimatePointer.query(&x, &y));
        EXPECT_EQ(x, s.x) << s.dx << "," << s.dy;
        EXPECT_EQ(y, s.y) << s.dx << "," << s.dy;
    }
    EXPECT_EQ(PointerEstimateError(), travel / 2);
    PointerEstimateKnown(640, 512);
    EXPECT_EQ(PointerEstimateError(), 0);
}
