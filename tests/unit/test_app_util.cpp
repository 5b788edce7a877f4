#include "test_app_util.h"
#include <cstring>
#include <fstream>
#include <sstream>
#include <unistd.h>

void PutFile(const std::string &path, const std::string &bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    ASSERT_TRUE(f.is_open()) << path;
    f.write(bytes.data(), std::streamsize(bytes.size()));
}

std::string GetFile(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

bool Exists(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string RecordBytes(int n) {
    std::string out;
    for (int i = 0; i < n; i++) {
        EventRecord r = {256, 0x41 + 256 * 30, 30, uint32_t(1000 + 10 * i), 0x2222};
        out.append(reinterpret_cast<const char *>(&r), sizeof r);
    }
    return out;
}

FakeCall TheOnly(const char *kind) {
    auto all = FakeLogOf(kind);
    EXPECT_EQ(all.size(), 1u) << "log entries of kind " << kind;
    return all.size() == 1 ? all[0] : FakeCall{};
}

std::vector<uint32_t> Posted() {
    std::vector<uint32_t> out;
    for (auto &c : FakeLogOf("post"))
        out.push_back(uint32_t(c.a));
    return out;
}

std::vector<std::string> Captions() {
    std::vector<std::string> out;
    for (auto &c : FakeLogOf("caption"))
        out.push_back(c.text);
    return out;
}
