#include "engine.h"
uint32_t FileSizeOf(const char *) {
    return 0;
}
uint32_t ReadFileAt(const char *, int32_t, void *, uint32_t) {
    return 0;
}
uint32_t WriteFileAt(const char *, int32_t, const void *, uint32_t) {
    return 0;
}
int ChooseFileName(char *, PlatFilter, int) {
    return 0;
}
uint32_t LoadRecording(const char *, int32_t) {
    return 0;
}
bool IsValidRecording(const uint8_t *, uint32_t) {
    return false;
}
void ShowNothingRecorded() {}
void OpenCommand() {}
void SaveCommand() {}
