// The settings file on GLib's key files. A file that does not parse reads as
// empty and is never rewritten: losing the user's hand-edited file to a
// syntax slip would be worse than losing this run's settings.
#include "../profile.h"
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <glib.h>

// Loads path; false when the file exists but cannot be read or parsed.
// INI files written by hand (or on the other desktop) mark comments with
// ';', which key files do not know; read as '#' comments they are kept, and
// every other line is taken as it is.
static bool LoadKeyFile(GKeyFile *kf, const char *path, bool *exists) {
    *exists = g_file_test(path, G_FILE_TEST_EXISTS);
    if (!*exists) return true;
    gchar *data = nullptr;
    gsize len = 0;
    if (!g_file_get_contents(path, &data, &len, nullptr)) return false;
    bool lineStart = true;
    for (gsize i = 0; i < len; i++) {
        if (lineStart && data[i] == ';') data[i] = '#';
        if (data[i] == '\n')
            lineStart = true;
        else if (data[i] != ' ' && data[i] != '\t')
            lineStart = false;
    }
    GError *err = nullptr;
    bool ok = g_key_file_load_from_data(
        kf, data, len, GKeyFileFlags(G_KEY_FILE_KEEP_COMMENTS | G_KEY_FILE_KEEP_TRANSLATIONS),
        &err);
    if (err) g_error_free(err);
    g_free(data);
    return ok;
}

// Reads a leading optional sign and digits, as the desktop's INI reader does;
// anything else gives the default.
static int32_t ParseIniInt(const char *text, int32_t def) {
    while (*text == ' ' || *text == '\t')
        text++;
    char *end = nullptr;
    errno = 0;
    long long v = std::strtoll(text, &end, 10);
    if (end == text) return def;
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return int32_t(v);
}

int32_t PlatProfileGetInt(const char *section, const char *key, int32_t def, const char *path) {
    GKeyFile *kf = g_key_file_new();
    bool exists = false;
    int32_t result = def;
    if (LoadKeyFile(kf, path, &exists) && exists) {
        gchar *value = g_key_file_get_value(kf, section, key, nullptr);
        if (value) {
            result = ParseIniInt(value, def);
            g_free(value);
        }
    }
    g_key_file_free(kf);
    return result;
}

bool PlatProfileWriteString(const char *section, const char *key, const char *value,
                            const char *path) {
    GKeyFile *kf = g_key_file_new();
    bool exists = false;
    bool ok = false;
    if (LoadKeyFile(kf, path, &exists)) {
        g_key_file_set_value(kf, section, key, value);
        gsize len = 0;
        gchar *data = g_key_file_to_data(kf, &len, nullptr);
        // Written to a temporary file and renamed, so a crash mid-write
        // leaves the old file.
        // The folder of an installed program's settings may not exist yet;
        // the file is its user's alone.
        gchar *dir = g_path_get_dirname(path);
        g_mkdir_with_parents(dir, 0700);
        g_free(dir);
        ok = data && g_file_set_contents_full(path, data, gssize(len),
                                              G_FILE_SET_CONTENTS_CONSISTENT, 0600, nullptr);
        g_free(data);
    }
    g_key_file_free(kf);
    return ok;
}
