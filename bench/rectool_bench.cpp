// quorvane-rec on a 1,000,000-record recording (20 MB): info, dump to a
// file, and build back, each timed end to end through the command line,
// file reading and writing included. Prints the times; the round trip is
// checked, the times are not judged here.
#include "rectool/rectool.h"
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

static double RunMs(std::vector<std::string> args) {
    args.insert(args.begin(), "quorvane-rec");
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    std::FILE *sink = std::fopen("/dev/null", "w");
    auto t0 = std::chrono::steady_clock::now();
    int rc = RecToolMain(int(argv.size()), argv.data(), sink, stderr);
    auto t1 = std::chrono::steady_clock::now();
    std::fclose(sink);
    if (rc != 0) {
        std::fprintf(stderr, "%s failed with %d\n", args[1].c_str(), rc);
        return -1;
    }
    return std::chrono::duration<double, std::milli>(t1 - t0).count();
}

static std::string Slurp(const char *path) {
    std::string s;
    if (std::FILE *f = std::fopen(path, "rb")) {
        char buf[1 << 16];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            s.append(buf, n);
        std::fclose(f);
    }
    return s;
}

int main() {
    const uint32_t N = 1000000;
    // A long session: mostly pointer moves, some clicks and typing, the
    // tick count wrapping half-way.
    std::vector<EventRecord> recs(N);
    uint32_t t = 0xFFFFFFFFu - 5000000u;
    for (uint32_t i = 0; i < N; i++) {
        t += 10 + i % 7;
        uint32_t k = i % 50;
        if (k == 10 || k == 11)
            recs[i] = {k == 10 ? 0x201u : 0x202u, 640 + i % 600, 400 + i % 300, t, 0x3000A};
        else if (k >= 20 && k < 24)
            recs[i] = {k % 2 ? 0x101u : 0x100u, 0x41 + (i % 26) + 30 * 256, 30, t, 0x3000A};
        else
            recs[i] = {0x200u, uint32_t(960 + 800 * std::sin(i * 0.001)),
                       uint32_t(540 + 500 * std::cos(i * 0.0013)), t, 0x3000A};
    }
    char dir[] = "/tmp/qv-rectool-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    std::string rec = std::string(dir) + "/big.rec", txt = std::string(dir) + "/big.txt",
                back = std::string(dir) + "/back.rec";
    std::FILE *f = std::fopen(rec.c_str(), "wb");
    std::fwrite(recs.data(), sizeof(EventRecord), N, f);
    std::fclose(f);

    double info = RunMs({"info", rec});
    double dump = RunMs({"dump", rec, "-o", txt});
    double build = RunMs({"build", txt, "-o", back});
    std::string original = Slurp(rec.c_str()), text = Slurp(txt.c_str());
    bool same = original == Slurp(back.c_str());
    std::printf("rectool_bench: %u records, %.1f MB; text %.1f MB\n", N, original.size() / 1e6,
                text.size() / 1e6);
    std::printf("  info  %8.1f ms\n  dump  %8.1f ms\n  build %8.1f ms\n", info, dump, build);
    std::printf("  info + dump %.1f ms (target: about 1000 ms or less)\n", info + dump);
    std::printf("  round trip: %s\n", same ? "exact" : "DIFFERENT");
    unlink(rec.c_str());
    unlink(txt.c_str());
    unlink(back.c_str());
    rmdir(dir);
    return same && info >= 0 && dump >= 0 && build >= 0 ? 0 : 1;
}
