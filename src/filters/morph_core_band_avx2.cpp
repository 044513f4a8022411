#define VISTREL_MORPH_KERNELS morph_avx2
#include "filters/morph_core_band.h"
