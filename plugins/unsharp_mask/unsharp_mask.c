/*
 * Example image plug-in: unsharp masking tuned for mammograms.
 *
 * out = in + amount * (in - blur(in)), clamped to 0..maxValue, where blur is
 * three passes of a (2r+1) box filter in each direction (close to a Gaussian
 * of sigma = r). With r = 8 pixels (about 0.35 mm at 43.5 microns) the mask
 * lifts microcalcifications and fine spiculations out of the slowly varying
 * tissue background without amplifying pixel noise much.
 *
 * Plain C on purpose: a plug-in needs nothing of Vistrel but include/vistrel/plugin.h.
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "vistrel/plugin.h"

#define UNSHARP_RADIUS 8
#define UNSHARP_AMOUNT_NUM 3 /* amount = 3/2 */
#define UNSHARP_AMOUNT_DEN 2
#define UNSHARP_PASSES 3

/* One box pass along a line of n values with stride step, edges replicated. */
static void BoxLine(const int32_t* in, int32_t* out, int n, int step, int r) {
    int64_t sum = 0;
    int i;
    for (i = -r; i <= r; ++i) {
        int k = i < 0 ? 0 : (i >= n ? n - 1 : i);
        sum += in[(int64_t)k * step];
    }
    for (i = 0; i < n; ++i) {
        int add = i + r + 1, drop = i - r;
        out[(int64_t)i * step] = (int32_t)((sum + r) / (2 * r + 1));
        if (add > n - 1) add = n - 1;
        if (drop < 0) drop = 0;
        sum += in[(int64_t)add * step] - in[(int64_t)drop * step];
    }
}

/* Blurs width x height values in place (scratch has the same size). */
static void Blur(int32_t* values, int32_t* scratch, int width, int height) {
    int pass, x, y;
    for (pass = 0; pass < UNSHARP_PASSES; ++pass) {
        for (y = 0; y < height; ++y)
            BoxLine(values + (int64_t)y * width, scratch + (int64_t)y * width, width, 1,
                    UNSHARP_RADIUS);
        for (x = 0; x < width; ++x) BoxLine(scratch + x, values + x, height, width, UNSHARP_RADIUS);
    }
}

static int32_t Sample(const VTImageRecord* image, int x, int y) {
    const uint8_t* row = image->data + (int64_t)y * image->bytesPerRow;
    if (image->depth == 8) return row[x];
    return row[2 * x] | (row[2 * x + 1] << 8);
}

VT_PLUGIN_EXPORT void GetVTPlugInName(char* name, char* second) {
    snprintf(name, VT_PLUGIN_TEXT_SIZE, "Unsharp Mask (microcalcifications)");
    snprintf(second, VT_PLUGIN_TEXT_SIZE, "radius %d, amount %d/%d", UNSHARP_RADIUS,
             UNSHARP_AMOUNT_NUM, UNSHARP_AMOUNT_DEN);
}

VT_PLUGIN_EXPORT int32_t GetVTPlugInImgInNo(void) {
    return 1;
}

VT_PLUGIN_EXPORT int32_t VTPlugInProceed1(const VTImageRecord* input, VTImageRecord** results,
                                          VTPlugInContext* context) {
    int width, height, depth, x, y;
    int32_t maxValue;
    size_t count;
    int32_t *values = NULL, *blurred = NULL, *scratch = NULL;
    VTImageRecord* record = NULL;
    (void)context;

    if (!input || !results || !input->data || input->width <= 0 || input->height <= 0) return 0;
    depth = input->depth;
    /* 1- and 4-bit pictures are masks and labels: nothing to sharpen. */
    if (depth < 8 || depth > 16) return 0;
    width = input->width;
    height = input->height;
    maxValue = (int32_t)((1u << depth) - 1u);
    count = (size_t)width * (size_t)height;

    values = malloc(count * sizeof *values);
    blurred = malloc(count * sizeof *blurred);
    scratch = malloc(count * sizeof *scratch);
    record = calloc(1, sizeof *record);
    if (!values || !blurred || !scratch || !record) goto fail;
    record->bytesPerRow = depth == 8 ? width : 2 * width;
    record->data = malloc((size_t)record->bytesPerRow * (size_t)height);
    if (!record->data) goto fail;

    for (y = 0; y < height; ++y)
        for (x = 0; x < width; ++x) values[(size_t)y * width + x] = Sample(input, x, y);
    memcpy(blurred, values, count * sizeof *values);
    Blur(blurred, scratch, width, height);

    for (y = 0; y < height; ++y) {
        uint8_t* row = record->data + (size_t)y * record->bytesPerRow;
        for (x = 0; x < width; ++x) {
            size_t i = (size_t)y * width + x;
            int64_t v = values[i] +
                        (int64_t)UNSHARP_AMOUNT_NUM * (values[i] - blurred[i]) / UNSHARP_AMOUNT_DEN;
            if (v < 0) v = 0;
            if (v > maxValue) v = maxValue;
            if (depth == 8) {
                row[x] = (uint8_t)v;
            } else {
                row[2 * x] = (uint8_t)(v & 0xFF);
                row[2 * x + 1] = (uint8_t)(v >> 8);
            }
        }
    }
    record->width = width;
    record->height = height;
    record->depth = (uint8_t)depth;
    record->maxValue = (uint16_t)maxValue;
    record->next = NULL;
    *results = record;
    free(values);
    free(blurred);
    free(scratch);
    return 1;

fail:
    free(values);
    free(blurred);
    free(scratch);
    if (record) free(record->data);
    free(record);
    return 0;
}
