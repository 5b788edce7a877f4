// Program entry on Linux: the arguments, already split by the shell, are
// joined with single blanks into the one argument text the core expects.
#include "../../app/app.h"
#include "../x11/x11_backend.h"
#include <cstdio>
#include <gtk/gtk.h>
#include <string>

int main(int argc, char **argv) {
    // The toolkit's own options (--display and the like) are taken out
    // first; --help and a bad line are answered without a display.
    gtk_parse_args(&argc, &argv);
    std::string args;
    for (int i = 1; i < argc; i++) {
        if (i > 1) args += ' ';
        args += argv[i];
    }
    int early = AppCommandLineExit(args.c_str());
    if (early >= 0) return early;
    // Input is read and injected through X; a Wayland session without
    // XWayland has nothing the program could work with.
    gdk_set_allowed_backends("x11");
    if (!gtk_init_check(&argc, &argv) || !X11InputOpen()) {
        std::fputs("Quorvane needs an X11 display\n", stderr);
        return 1;
    }
    g_set_prgname("quorvane");
    int rc = AppMain(args.c_str());
    X11InputClose();
    return rc;
}
