/* Test image plug-in that takes one image but lacks VTPlugInProceed1. */
#include <stdint.h>
#include <string.h>

#include "vistrel/plugin.h"

VT_PLUGIN_EXPORT void GetVTPlugInName(char* name, char* second) {
    strcpy(name, "No Proceed");
    second[0] = '\0';
}

VT_PLUGIN_EXPORT int32_t GetVTPlugInImgInNo(void) {
    return 1;
}

VT_PLUGIN_EXPORT int32_t VTPlugInProceed(void) {
    return 0;
}
