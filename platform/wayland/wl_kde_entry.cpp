// Desktop entries for KWin's fake-input permission: written, named and read
// here, without a Wayland connection, so the rules are tested as they are.
#include "wl_kde_entry.h"
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <glib.h>
#include <glib/gstdio.h>
#include <initializer_list>

namespace {

constexpr const char *kInterfaceKey = "X-KDE-Wayland-Interfaces=";
constexpr const char *kInterface = "org_kde_kwin_fake_input";

// Exec= quoting of the desktop entry format: the path in double quotes, with
// ", `, $ and \ escaped by a backslash, and the backslash of the string
// level doubled again on top (KWin splits the unescaped value like a shell).
bool QuoteExec(const char *path, char *out, size_t size) {
    size_t n = 0;
    auto put = [&](char c) {
        if (n + 1 >= size) return false;
        out[n++] = c;
        return true;
    };
    if (!put('"')) return false;
    for (const char *p = path; *p; p++) {
        if (*p == '"' || *p == '`' || *p == '$') {
            if (!put('\\') || !put('\\')) return false;
        } else if (*p == '\\') {
            if (!put('\\') || !put('\\') || !put('\\') || !put('\\')) return false;
        }
        if (!put(*p)) return false;
    }
    if (!put('"')) return false;
    out[n] = 0;
    return true;
}

// The first word of an Exec= value, undoing QuoteExec (and taking a plain
// unquoted path as it is).
bool FirstExecWord(const char *value, char *out, size_t size) {
    size_t n = 0;
    const char *p = value;
    // The string level first: \\ stands for one backslash.
    char plain[4096];
    size_t m = 0;
    for (; *p && m + 1 < sizeof plain; p++) {
        if (p[0] == '\\' && p[1] == '\\') p++;
        plain[m++] = *p;
    }
    plain[m] = 0;
    p = plain;
    if (*p == '"') {
        for (p++; *p && *p != '"'; p++) {
            if (*p == '\\' && p[1]) p++;
            if (n + 1 >= size) return false;
            out[n++] = *p;
        }
        if (*p != '"') return false;
    } else {
        for (; *p && *p != ' ' && *p != '\t'; p++) {
            if (n + 1 >= size) return false;
            out[n++] = *p;
        }
    }
    out[n] = 0;
    return n > 0;
}

// A value of the [Desktop Entry] group, up to the line's end.
bool EntryValue(const char *text, const char *key, char *out, size_t size) {
    bool inGroup = false;
    size_t keyLen = std::strlen(key);
    for (const char *line = text; line && *line;) {
        const char *end = std::strchr(line, '\n');
        size_t len = end ? size_t(end - line) : std::strlen(line);
        if (len && line[len - 1] == '\r') len--; // written on another system
        if (len && line[0] == '[')
            inGroup = len == 15 && std::strncmp(line, "[Desktop Entry]", 15) == 0;
        else if (inGroup && len >= keyLen && std::strncmp(line, key, keyLen) == 0) {
            size_t v = len - keyLen;
            if (v >= size) return false;
            std::memcpy(out, line + keyLen, v);
            out[v] = 0;
            return true;
        }
        line = end ? end + 1 : nullptr;
    }
    return false;
}

bool HasInterface(const char *list) {
    // A list separated by ; (or , as KDE also reads it).
    size_t n = std::strlen(kInterface);
    for (const char *p = list; (p = std::strstr(p, kInterface)); p += n) {
        bool startOk = p == list || p[-1] == ';' || p[-1] == ',' || p[-1] == ' ';
        char after = p[n];
        if (startOk && (after == 0 || after == ';' || after == ',' || after == ' ')) return true;
    }
    return false;
}

bool FileCovers(const char *path, const char *exe) {
    char *text = nullptr;
    gsize len = 0;
    if (!g_file_get_contents(path, &text, &len, nullptr)) return false;
    bool ok = std::strlen(text) == len && KdeEntryCovers(text, exe);
    g_free(text);
    return ok;
}

} // namespace

bool KdeEntryText(const char *exe, char *out, size_t size) {
    if (!exe || exe[0] != '/' || std::strpbrk(exe, "\n\r")) return false;
    char quoted[2048];
    if (!QuoteExec(exe, quoted, sizeof quoted)) return false;
    int n = std::snprintf(out, size,
                          "[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Quorvane\n"
                          "Comment=Lets this copy of Quorvane play input into KDE's windows\n"
                          "Exec=%s %%f\n"
                          "Icon=quorvane\n"
                          "NoDisplay=true\n"
                          "%s%s\n",
                          quoted, kInterfaceKey, kInterface);
    return n > 0 && size_t(n) < size;
}

void KdeEntryName(const char *exe, char out[64]) {
    // FNV-1a of the path: stable across runs and builds, and a new path
    // gives a new file.
    uint64_t h = 1469598103934665603ull;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(exe); *p; p++)
        h = (h ^ *p) * 1099511628211ull;
    std::snprintf(out, 64, "quorvane-%016llx.desktop", static_cast<unsigned long long>(h));
}

bool KdeEntryCovers(const char *text, const char *exe) {
    char value[4096], word[2048];
    if (!EntryValue(text, kInterfaceKey, value, sizeof value) || !HasInterface(value)) return false;
    if (!EntryValue(text, "Exec=", value, sizeof value)) return false;
    return FirstExecWord(value, word, sizeof word) && std::strcmp(word, exe) == 0;
}

int KdeEntryEnsure(const char *exe, const char *userData, const char *const *systemData, char *why,
                   size_t whySize) {
    char text[4096], name[64];
    if (!KdeEntryText(exe, text, sizeof text)) {
        std::snprintf(why, whySize, "cannot name this program in a desktop entry: %s", exe);
        return -1;
    }
    KdeEntryName(exe, name);
    // The installed entry, or this path's own one from an earlier start.
    for (int i = -1; i < 0 || systemData[i]; i++) {
        const char *base = i < 0 ? userData : systemData[i];
        for (const char *file : {"quorvane.desktop", static_cast<const char *>(name)}) {
            char *path = g_build_filename(base, "applications", file, nullptr);
            bool covers = FileCovers(path, exe);
            g_free(path);
            if (covers) return 0;
        }
    }
    char *dir = g_build_filename(userData, "applications", nullptr);
    char *path = g_build_filename(dir, name, nullptr);
    GError *err = nullptr;
    int rc = 1;
    // Written whole or not at all (a temporary file renamed into place): a
    // half entry would be read by KWin's cache as it is.
    if (g_mkdir_with_parents(dir, 0700) != 0) {
        std::snprintf(why, whySize, "cannot create %s: %s", dir, std::strerror(errno));
        rc = -1;
    } else if (!g_file_set_contents(path, text, -1, &err)) {
        std::snprintf(why, whySize, "cannot write %s: %s", path, err->message);
        g_error_free(err);
        rc = -1;
    }
    g_free(path);
    g_free(dir);
    return rc;
}
