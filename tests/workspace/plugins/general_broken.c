/* Test general plug-in without GetPlugInName: must not be kept. */
#include "vistrel/plugin.h"

VT_PLUGIN_EXPORT int GetPlugInNameMisspelt(void) {
    return 0;
}
