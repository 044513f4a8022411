/* Test general plug-in named "Dicom engine": LoadDicomFile gives a 3 x 2
 * 12-bit image whose samples tell the option, SaveDicomFile counts calls. */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "vistrel/plugin.h"

static int saves;

VT_PLUGIN_EXPORT void GetPlugInName(char* name, char* second) {
    strcpy(name, "Dicom engine");
    strcpy(second, "fake");
}

VT_PLUGIN_EXPORT uint8_t* LoadDicomFile(const char* path, int32_t option, int32_t* width,
                                        int32_t* height, int32_t* depth,
                                        VTDicomHeaderBlock** header) {
    uint8_t* samples;
    (void)path;
    (void)header;
    *width = 3;
    *height = 2;
    *depth = 12;
    samples = malloc(12);
    for (int i = 0; i < 6; ++i) {
        samples[2 * i] = (uint8_t)(i + 100 * option);
        samples[2 * i + 1] = 0x0F;
    }
    return samples;
}

VT_PLUGIN_EXPORT void SaveDicomFile(const char* path, const uint8_t* samples, int32_t count,
                                    int32_t depth, int32_t width, int32_t height,
                                    const VTDicomHeaderBlock* header) {
    (void)path;
    (void)samples;
    (void)count;
    (void)depth;
    (void)width;
    (void)height;
    (void)header;
    ++saves;
}

VT_PLUGIN_EXPORT int TestSaves(void) {
    return saves;
}
