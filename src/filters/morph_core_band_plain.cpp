#define VISTREL_MORPH_KERNELS morph_plain
#include "filters/morph_core_band.h"
