/* Test general plug-in with another name ("dicom engine" in lower case):
 * kept, but never taken for the DICOM engine. */
#include <stdint.h>
#include <string.h>

#include "vistrel/plugin.h"

VT_PLUGIN_EXPORT void GetPlugInName(char* name, char* second) {
    strcpy(name, "dicom engine");
    strcpy(second, "not the engine: the name differs in case");
}

VT_PLUGIN_EXPORT uint8_t* LoadDicomFile(const char* path, int32_t option, int32_t* width,
                                        int32_t* height, int32_t* depth,
                                        VTDicomHeaderBlock** header) {
    (void)path;
    (void)option;
    (void)width;
    (void)height;
    (void)depth;
    (void)header;
    return 0;
}
