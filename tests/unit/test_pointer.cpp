// The pointer's place on Wayland desktops without the desktops: Hyprland's
// socket stood in for by a fake that answers as it does, and the estimate
// from device motion.
#include "platform/wayland/pointer.h"
#include <cstdlib>
#include <cstring>
#include <gio/gio.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>
#include <csignal>
#include <vector>
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

namespace {

// A desktop that tells the pointer's moves over a bus of its own: KWin
// (runs the script it is handed, reading its file later, in a thread, as
// KWin does) or the GNOME Shell extension (answers GetPosition, signals
// Moved). It serves from a thread with its own main loop.
struct FakeDesktop {
    bool kwin = true;
    GPid daemon = 0;
    GDBusConnection *conn = nullptr;
    GMainContext *ctx = nullptr;
    GMainLoop *loop = nullptr;
    std::thread thread;
    std::string script, target; // KWin: the script's file, its caller
    bool scriptRead = false;
    int32_t x = 640, y = 512;

    static void Call(GDBusConnection *, const char *, const char *, const char *,
                     const char *method, GVariant *params, GDBusMethodInvocation *inv,
                     gpointer self) {
        auto *d = static_cast<FakeDesktop *>(self);
        if (!std::strcmp(method, "loadScript")) {
            const char *path = nullptr, *plugin = nullptr;
            g_variant_get(params, "(&s&s)", &path, &plugin);
            d->script = path;
            g_dbus_method_invocation_return_value(inv, g_variant_new("(i)", 0));
        } else if (!std::strcmp(method, "start")) {
            g_dbus_method_invocation_return_value(inv, nullptr);
            GSource *later = g_timeout_source_new(200);
            g_source_set_callback(later, ReadScript, d, nullptr);
            g_source_attach(later, d->ctx);
            g_source_unref(later);
        } else if (!std::strcmp(method, "GetPosition")) {
            g_dbus_method_invocation_return_value(inv, g_variant_new("(ii)", d->x, d->y));
        } else {
            g_dbus_method_invocation_return_value(inv, g_variant_new("(b)", TRUE));
        }
    }

    // Runs the script as far as this needs: whom it calls back.
    static gboolean ReadScript(gpointer self) {
        auto *d = static_cast<FakeDesktop *>(self);
        gchar *text = nullptr;
        if (g_file_get_contents(d->script.c_str(), &text, nullptr, nullptr)) {
            const char *at = std::strstr(text, "callDBus('");
            if (at) d->target = std::string(at + 10, std::strchr(at + 10, '\'') - at - 10);
            d->scriptRead = true;
            g_free(text);
        }
        if (!d->target.empty()) d->Tell();
        return G_SOURCE_REMOVE;
    }

    void Tell() {
        if (kwin && target.empty()) return;
        std::string place = std::to_string(x) + "," + std::to_string(y);
        if (kwin)
            g_dbus_connection_call(conn, target.c_str(), "/org/quorvane/Pointer",
                                   "org.quorvane.Pointer", "Position",
                                   g_variant_new("(s)", place.c_str()), nullptr,
                                   G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
        else
            g_dbus_connection_emit_signal(conn, nullptr, "/org/quorvane/Pointer",
                                          "org.quorvane.Pointer", "Moved",
                                          g_variant_new("(ii)", x, y), nullptr);
        g_dbus_connection_flush_sync(conn, nullptr, nullptr);
    }

    // Runs fn on the desktop's thread and waits for it.
    template <class F> void OnThread(F fn) {
        struct Job {
            F fn;
            GMutex lock;
            GCond done;
            bool over = false;
        } job{fn, {}, {}, false};
        g_main_context_invoke(
            ctx,
            [](gpointer p) -> gboolean {
                auto *j = static_cast<Job *>(p);
                j->fn();
                g_mutex_lock(&j->lock);
                j->over = true;
                g_cond_signal(&j->done);
                g_mutex_unlock(&j->lock);
                return G_SOURCE_REMOVE;
            },
            &job);
        g_mutex_lock(&job.lock);
        while (!job.over)
            g_cond_wait(&job.done, &job.lock);
        g_mutex_unlock(&job.lock);
    }

    bool Start(bool isKwin) {
        kwin = isKwin;
        const char *argv[] = {"dbus-daemon", "--session", "--nofork", "--print-address=1", nullptr};
        gint out = -1;
        if (!g_spawn_async_with_pipes(nullptr, const_cast<char **>(argv), nullptr,
                                      GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_STDERR_TO_DEV_NULL),
                                      nullptr, nullptr, &daemon, nullptr, &out, nullptr, nullptr))
            return false;
        char address[512] = {};
        ssize_t n = read(out, address, sizeof address - 1);
        close(out);
        if (n <= 0) return false;
        address[std::strcspn(address, "\n")] = 0;
        // This process's session bus is the fake's from now on.
        setenv("DBUS_SESSION_BUS_ADDRESS", address, 1);
        conn = g_dbus_connection_new_for_address_sync(
            address,
            GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                 G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
        if (!conn) return false;
        ctx = g_main_context_new();
        g_main_context_push_thread_default(ctx);
        const char *xml = kwin ? "<node><interface name='org.kde.kwin.Scripting'>"
                                 "<method name='loadScript'><arg type='s' direction='in'/>"
                                 "<arg type='s' direction='in'/><arg type='i' direction='out'/>"
                                 "</method><method name='start'/>"
                                 "<method name='isScriptLoaded'><arg type='s' direction='in'/>"
                                 "<arg type='b' direction='out'/></method>"
                                 "<method name='unloadScript'><arg type='s' direction='in'/>"
                                 "<arg type='b' direction='out'/></method></interface></node>"
                               : "<node><interface name='org.quorvane.Pointer'>"
                                 "<method name='GetPosition'><arg type='i' direction='out'/>"
                                 "<arg type='i' direction='out'/></method></interface></node>";
        GDBusNodeInfo *info = g_dbus_node_info_new_for_xml(xml, nullptr);
        static const GDBusInterfaceVTable vtable = {Call, nullptr, nullptr, {}};
        g_dbus_connection_register_object(conn, kwin ? "/Scripting" : "/org/quorvane/Pointer",
                                          info->interfaces[0], &vtable, this, nullptr, nullptr);
        g_dbus_node_info_unref(info);
        for (const char *name :
             kwin ? std::vector<const char *>{"org.kde.KWin"}
                  : std::vector<const char *>{"org.gnome.Shell", "org.quorvane.Pointer"}) {
            GVariant *r = g_dbus_connection_call_sync(
                conn, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                "RequestName", g_variant_new("(su)", name, 4u), G_VARIANT_TYPE("(u)"),
                G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
            if (!r) return false;
            g_variant_unref(r);
        }
        g_main_context_pop_thread_default(ctx);
        loop = g_main_loop_new(ctx, FALSE);
        thread = std::thread([this] {
            g_main_context_push_thread_default(ctx);
            g_main_loop_run(loop);
            g_main_context_pop_thread_default(ctx);
        });
        return true;
    }

    ~FakeDesktop() {
        PointerClose();
        if (loop) {
            g_main_loop_quit(loop);
            thread.join();
            g_main_loop_unref(loop);
        }
        if (conn) {
            g_dbus_connection_close_sync(conn, nullptr, nullptr);
            g_object_unref(conn);
        }
        if (ctx) g_main_context_unref(ctx);
        if (daemon) kill(daemon, SIGTERM);
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }
};

std::vector<std::pair<int32_t, int32_t>> g_told;

void Told(int32_t x, int32_t y, uint64_t) {
    g_told.push_back({x, y});
}

void RunMainLoop(int ms) {
    for (gint64 until = g_get_monotonic_time() + ms * 1000; g_get_monotonic_time() < until;)
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
}

} // namespace

// A desktop that tells each move: the place at a click is the newest the
// desktop sent, though the main loop has not run since (a click right
// after a move), and the moves the click overtook are not told after it.
// KWin reads the script's file only after start has returned.
TEST(Pointer, DesktopsThatTellMovesGiveTheNewestPlaceAtAClick) {
    for (bool kwin : {false, true}) {
        SCOPED_TRACE(kwin ? "kwin" : "gnome");
        // KWin's script is written where the user's runtime files go (the
        // tests before may have named one that is gone).
        bool made = !g_file_test(g_get_user_runtime_dir(), G_FILE_TEST_IS_DIR);
        ASSERT_EQ(g_mkdir_with_parents(g_get_user_runtime_dir(), 0700), 0);
        FakeDesktop d;
        ASSERT_TRUE(d.Start(kwin));
        g_told.clear();
        PointerOpen(Told);
        EXPECT_STREQ(PointerSourceName(), kwin ? "kwin script" : "gnome-shell extension");
        EXPECT_STREQ(PointerWhy(), "");
        int32_t x = 0, y = 0;
        bool exact = false;
        ASSERT_TRUE(PointerQuery(&x, &y, &exact));
        EXPECT_TRUE(exact) << "the desktop tells the place";
        EXPECT_EQ(x, 640);
        EXPECT_EQ(y, 512);
        RunMainLoop(20);
        if (kwin) {
            EXPECT_TRUE(d.scriptRead);
            EXPECT_FALSE(g_file_test(d.script.c_str(), G_FILE_TEST_EXISTS))
                << "the script's file is gone once KWin has read it";
        }
        d.OnThread([&] {
            d.x = 700;
            d.y = 333;
            d.Tell();
        });
        ASSERT_TRUE(PointerQuery(&x, &y, &exact));
        EXPECT_EQ(x, 700) << "the move still on its way";
        EXPECT_EQ(y, 333);
        RunMainLoop(50);
        EXPECT_TRUE(g_told.empty()) << "the overtaken move is told after the click";
        d.OnThread([&] {
            d.x = 100;
            d.y = 900;
            d.Tell();
        });
        RunMainLoop(50);
        ASSERT_EQ(g_told.size(), 1u);
        EXPECT_EQ(g_told[0], std::make_pair(100, 900));
        if (made) g_rmdir(g_get_user_runtime_dir());
    }
}
