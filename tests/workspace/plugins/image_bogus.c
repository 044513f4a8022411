/* Test image plug-in "Bogus": a result list of records whose sizes lie about
 * their samples, one good record among them, and a tail that loops back. */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "vistrel/plugin.h"

VT_PLUGIN_EXPORT void GetVTPlugInName(char* name, char* second) {
    /* Fills the whole buffer without a terminator: the host must cut it. */
    memset(name, 'B', VT_PLUGIN_TEXT_SIZE);
    strcpy(second, "bogus");
}

VT_PLUGIN_EXPORT int32_t GetVTPlugInImgInNo(void) {
    return 1;
}

static VTImageRecord* Record(int width, int height, int bytesPerRow, int depth, size_t allocated,
                             VTImageRecord* next) {
    VTImageRecord* record = calloc(1, sizeof *record);
    record->width = width;
    record->height = height;
    record->bytesPerRow = bytesPerRow;
    record->depth = (uint8_t)depth;
    record->data = allocated ? calloc(1, allocated) : NULL;
    record->next = next;
    return record;
}

VT_PLUGIN_EXPORT int32_t VTPlugInProceed1(const VTImageRecord* input, VTImageRecord** results,
                                          VTPlugInContext* context) {
    VTImageRecord *good, *list;
    (void)input;
    (void)context;
    /* 3 x 2, 16 bits, samples 0..5: the one record that must come through. */
    good = Record(3, 2, 6, 16, 12, NULL);
    for (int i = 0; i < 6; ++i) good->data[2 * i] = (uint8_t)i;
    list = good;
    list = Record(1000, 1000, 2000, 16, 64, list);     /* claims far more rows than it has */
    list = Record(100, 4, 100, 16, 800, list);         /* rows shorter than 16-bit pixels need */
    list = Record(10, 10, 10, 5, 100, list);           /* depth 5 does not exist */
    list = Record(10, 10, 10, 8, 0, list);             /* no samples */
    list = Record(-4, 10, 10, 8, 100, list);           /* negative width */
    list = Record(65536, 65536, 131072, 16, 16, list); /* 8 GiB claimed */
    good->next = list;                                 /* the tail loops back to the head */
    *results = list;
    return 1;
}
