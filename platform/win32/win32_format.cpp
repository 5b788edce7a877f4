// Formatted text through the system's C library. In C++ MinGW routes
// snprintf to its own formatter, which brings its own floating-point printing
// (some 25 KB, a third of the program); the program formats only integers
// and text, which msvcrt.dll does the same. Defining the entry point here
// keeps the linker from taking MinGW's; the C library's formatter is given
// the C99 results the callers test (the length the whole text needs, the
// text always ended).
#include <cstdarg>
#include <cstddef>

extern "C" int __ms_vsnprintf(char *out, size_t size, const char *format, va_list args);

extern "C" int __mingw_vsnprintf(char *out, size_t size, const char *format, va_list args) {
    return __ms_vsnprintf(out, size, format, args);
}
