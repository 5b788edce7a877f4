// Program entry on Linux: the arguments, already split by the shell, are
// joined with single blanks into the one argument text the core expects.
#include "../../app/app.h"
#include "../x11/x11_backend.h"
#include "gtk_backend.h"
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
