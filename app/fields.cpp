#include "fields.h"

// Tag and digits sit in one array so the linker keeps them together.
volatile char OwnSizeField[] = OWN_SIZE_TAG "000000";
volatile char RepeatField[6] = {'@', '@', '@', '@', '@', 0};
volatile char SpeedField[6] = {'$', '$', '$', '$', '$', 0};
volatile char RateField[RATE_FIELD_WIDTH + 1] = {'#', '#', '#', '#', '#', 0};
volatile char PauseField[PAUSE_FIELD_WIDTH + 1] = {'~', '~', '~', '~', '~', '~', '~', '~', 0};

static void CopyVolatile(const volatile char *from, char *to, int n) {
    for (int i = 0; i < n; i++)
        to[i] = from[i];
    to[n] = 0;
}

void ReadOwnSizeText(char out[7]) {
    CopyVolatile(OwnSizeField + sizeof(OWN_SIZE_TAG) - 1, out, 6);
}
void ReadRepeatField(char out[6]) {
    CopyVolatile(RepeatField, out, 5);
}
void ReadSpeedField(char out[6]) {
    CopyVolatile(SpeedField, out, 5);
}
void ReadRateField(char out[RATE_FIELD_WIDTH + 1]) {
    CopyVolatile(RateField, out, RATE_FIELD_WIDTH);
}
void ReadPauseField(char out[PAUSE_FIELD_WIDTH + 1]) {
    CopyVolatile(PauseField, out, PAUSE_FIELD_WIDTH);
}
