#define VISTREL_ROW_KERNELS rows_plain
#include "filters/convolution_rows.h"
