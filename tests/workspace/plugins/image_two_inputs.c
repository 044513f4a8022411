/* Test image plug-in taking two images: loaded and listed, never run. */
#include <stdint.h>
#include <string.h>

#include "vistrel/plugin.h"

static int proceedCalls;

VT_PLUGIN_EXPORT void GetVTPlugInName(char* name, char* second) {
    strcpy(name, "Two Images");
    second[0] = '\0';
}

VT_PLUGIN_EXPORT int32_t GetVTPlugInImgInNo(void) {
    return 2;
}

VT_PLUGIN_EXPORT int32_t VTPlugInProceed(void) {
    return ++proceedCalls;
}

VT_PLUGIN_EXPORT int32_t VTPlugInProceed1(const VTImageRecord* input, VTImageRecord** results,
                                          VTPlugInContext* context) {
    (void)input;
    (void)results;
    (void)context;
    return ++proceedCalls;
}

VT_PLUGIN_EXPORT int TestProceedCalls(void) {
    return proceedCalls;
}
