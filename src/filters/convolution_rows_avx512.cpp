#define VISTREL_ROW_KERNELS rows_avx512
#include "filters/convolution_rows.h"
