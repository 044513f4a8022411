/* Test image plug-in with a name but without GetVTPlugInImgInNo. */
#include <string.h>

#include "vistrel/plugin.h"

VT_PLUGIN_EXPORT void GetVTPlugInName(char* name, char* second) {
    strcpy(name, "No Count");
    second[0] = '\0';
}
