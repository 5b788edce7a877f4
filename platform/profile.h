// The private-profile (INI) service. A missing file or key yields the default;
// writing a key creates the file and section when needed and keeps every
// other key and section as it was.
#pragma once
#include <cstdint>

int32_t PlatProfileGetInt(const char *section, const char *key, int32_t def, const char *path);
bool PlatProfileWriteString(const char *section, const char *key, const char *value,
                            const char *path);
