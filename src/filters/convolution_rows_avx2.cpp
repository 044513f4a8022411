#define VISTREL_ROW_KERNELS rows_avx2
#include "filters/convolution_rows.h"
