// Program entry on Linux: the arguments, already split by the shell, are
// joined with single blanks into the one argument text the core expects.
#include "../../app/app.h"
#include "../linux/linux_input.h"
#include "gtk_backend.h"
#include "gtk_layer.h"
#include <cstdio>
#include <cstdlib>
#include <gtk/gtk.h>
#include <string>

// The C++ library is linked in, and its report of an uncaught failure
// names the failure's type, which takes a demangler of 47 KB. The program
// throws nothing; the library's own failures (memory) end it as before,
// without the report.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
} // namespace __gnu_cxx

int main(int argc, char **argv) {
    // Before the toolkit's options are read: GDK takes its debug switches
    // (GDK_GL among them) from the environment right there, not in gtk_init.
    // Before the toolkit's options are read: GDK takes its debug switches
    // (GDK_GL among them) from the environment right there, not in gtk_init.
    QuickStartBefore();
    // The toolkit's own options (--display and the like) are taken out
    // first; --help and a bad line are answered without a display.
    gtk_parse_args(&argc, &argv);
    std::string args;
    for (int i = 1; i < argc; i++) {
        if (i > 1) args += ' ';
        args += argv[i];
    }
    // So are a command for the running toolbar and the check: they need no
    // toolkit, and answer also where no display would let one start.
    bool playsAtOnce = false;
    int early = AppCommandLineExit(args.c_str(), &playsAtOnce);
    if (early >= 0) return early;
    // The toolkit follows the session: on Wayland its own windows are native
    // ones where the toolbar can be a layer surface, Xwayland ones where only
    // an X11 window is kept above (GNOME), and input goes through the Wayland
    // backend whatever the toolkit chose.
    LinuxSession wanted = LinuxSessionOf(g_getenv("QUORVANE_SESSION"), g_getenv("WAYLAND_DISPLAY"),
                                         g_getenv("XDG_SESSION_TYPE"));
    gdk_set_allowed_backends(ToolbarBackends(wanted == SESSION_WAYLAND));
    QuickStartToolkit(playsAtOnce);
    bool toolkit = gtk_init_check(&argc, &argv);
    QuickStartAfter();
    if (!toolkit || !LinuxInputOpen()) {
        std::fputs(wanted == SESSION_WAYLAND ? "Quorvane needs a Wayland or X11 display\n"
                                             : "Quorvane needs an X11 display\n",
                   stderr);
        return 1;
    }
    g_set_prgname("quorvane");
    int rc = AppMain(args.c_str());
    LinuxInputClose();
    return rc;
}
