#include "app.h"
int AppMain(const char *) {
    return 0;
}
const char *ArgumentText(const char *commandLine) {
    return commandLine;
}
