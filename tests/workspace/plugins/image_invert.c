/* Test image plug-in "Invert": returns the inverted input (same size and
 * depth) followed by an 8-bit half-size copy (another size and depth). It
 * keeps what it was given for the test to read back. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "vistrel/plugin.h"

static char lastProgramPath[VT_PLUGIN_TEXT_SIZE];
static VTImageRecord lastInput;
static int calls;

VT_PLUGIN_EXPORT void GetVTPlugInName(char* name, char* second) {
    strcpy(name, "Invert");
    strcpy(second, "test plug-in");
}

VT_PLUGIN_EXPORT int32_t GetVTPlugInImgInNo(void) {
    return 1;
}

static VTImageRecord* NewRecord(int width, int height, int depth) {
    VTImageRecord* record = calloc(1, sizeof *record);
    record->width = width;
    record->height = height;
    record->depth = (uint8_t)depth;
    record->bytesPerRow = depth == 8 ? width : 2 * width;
    record->maxValue = (uint16_t)((1u << depth) - 1u);
    record->data = malloc((size_t)record->bytesPerRow * (size_t)height);
    return record;
}

VT_PLUGIN_EXPORT int32_t VTPlugInProceed1(const VTImageRecord* input, VTImageRecord** results,
                                          VTPlugInContext* context) {
    int x, y;
    VTImageRecord *same, *half;
    ++calls;
    lastInput = *input;
    snprintf(lastProgramPath, sizeof lastProgramPath, "%s", context->programPath);
    /* The host frees the fourth pointer: a leak checker sees it go. */
    context->userData = malloc(16);
    if (input->depth <= 8) return 0;

    same = NewRecord(input->width, input->height, input->depth);
    for (y = 0; y < input->height; ++y)
        for (x = 0; x < input->width; ++x) {
            const uint8_t* in = input->data + (size_t)y * input->bytesPerRow + 2 * x;
            uint16_t v = (uint16_t)(input->maxValue - (in[0] | (in[1] << 8)));
            uint8_t* out = same->data + (size_t)y * same->bytesPerRow + 2 * x;
            out[0] = (uint8_t)(v & 0xFF);
            out[1] = (uint8_t)(v >> 8);
        }
    half = NewRecord(input->width / 2 > 0 ? input->width / 2 : 1,
                     input->height / 2 > 0 ? input->height / 2 : 1, 8);
    for (y = 0; y < half->height; ++y)
        for (x = 0; x < half->width; ++x)
            half->data[(size_t)y * half->bytesPerRow + x] = (uint8_t)(x + y);
    same->next = half;
    *results = same;
    return 1;
}

/* For the test only. */
VT_PLUGIN_EXPORT const char* TestLastProgramPath(void) {
    return lastProgramPath;
}
VT_PLUGIN_EXPORT const VTImageRecord* TestLastInput(void) {
    return &lastInput;
}
VT_PLUGIN_EXPORT int TestCalls(void) {
    return calls;
}
