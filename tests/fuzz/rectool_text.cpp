// Any text through build: either clean errors and no bytes, or bytes whose
// dump builds back to the same bytes.
#include "rectool/rectool.h"
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<uint8_t> out;
    std::vector<std::string> errors;
    bool ok = BuildRecording(reinterpret_cast<const char *>(data), size, "fuzz.txt", out, errors);
    if (ok != errors.empty() || (!ok && !out.empty())) std::abort();
    for (const std::string &e : errors)
        if (e.find('\n') != std::string::npos) std::abort(); // one line each
    if (!ok) return 0;
    std::string text;
    DumpText(out.data(), out.size(), "fuzz.rec", text);
    std::vector<uint8_t> again;
    if (!BuildRecording(text.data(), text.size(), "fuzz.txt", again, errors) || again != out)
        std::abort();
    return 0;
}
