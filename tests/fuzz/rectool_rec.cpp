// Any bytes as a .rec file: info, dump and plot must cope, and the dump must
// build back into the very same bytes.
#include "rectool/rectool.h"
#include <cstdlib>
#include <cstring>

// The font library keeps its configuration for the life of the process and
// lets go of it in ways leak checking cannot follow; the picture's legend
// loads it once. Our own allocations stay checked.
extern "C" const char *__lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

static bool Discard(void *, const unsigned char *, unsigned int) {
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string info, text, error;
    InfoText(data, size, "fuzz.rec", info);
    DumpText(data, size, "fuzz.rec", text);
    std::vector<uint8_t> back;
    std::vector<std::string> errors;
    if (!BuildRecording(text.data(), text.size(), "fuzz.txt", back, errors)) std::abort();
    if (back.size() != size || (size && std::memcmp(back.data(), data, size) != 0)) std::abort();
    // Small pictures keep the runs fast; the drawing code is the same.
    if (!PlotRecording(data, size, "fuzz.rec", {160, 120}, Discard, nullptr, error)) std::abort();
    return 0;
}
