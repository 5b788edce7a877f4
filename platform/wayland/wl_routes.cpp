// The order the routes are tried in: a desktop's own interface first (it
// knows its layout and its pointer), then the wlroots protocols, then the
// kernel's uinput, which every compositor reads but which needs a
// permission most users lack.
#include "wl_route.h"

const WlRoute *const kWlRoutes[] = {&kMutterRoute, &kKwinRoute, &kWlrootsRoute, &kUinputRoute};
const int kWlRouteCount = int(sizeof kWlRoutes / sizeof kWlRoutes[0]);
