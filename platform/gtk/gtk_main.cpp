// Program entry on Linux: the arguments, already split by the shell, are
// joined with single blanks into the one argument text the core expects.
#include "../../app/app.h"
#include "../x11/x11_backend.h"
#include "gtk_backend.h"
#include <cstdio>
#include <gtk/gtk.h>
#include <string>

int main(int argc, char **argv) {
    // Input is read and injected through X; a Wayland session without
    // XWayland has nothing the program could work with.
    gdk_set_allowed_backends("x11");
    QuickStartBefore();
    bool toolkit = gtk_init_check(&argc, &argv);
    QuickStartAfter();
    if (!toolkit || !X11InputOpen()) {
        std::fputs("Quorvane needs an X11 display\n", stderr);
        return 1;
    }
    g_set_prgname("quorvane");
    std::string args;
    for (int i = 1; i < argc; i++) {
        if (i > 1) args += ' ';
        args += argv[i];
    }
    int rc = AppMain(args.c_str());
    X11InputClose();
    return rc;
}
