/*
 * The C interface between Vistrel and the shared objects it loads at run time.
 *
 * Two kinds of plug-in live in the "plugins" folder beside the executable:
 *  - general plug-ins: every "*.so" directly in that folder. Each exports
 *    GetPlugInName. One named exactly "Dicom engine" may also export
 *    LoadDicomFile and SaveDicomFile; Vistrel then reads and writes DICOM
 *    files through it instead of its own reader.
 *  - image plug-ins: files named "VTPlugInMain.so" in sub-folders of that
 *    folder. Each exports GetVTPlugInName, GetVTPlugInImgInNo and, when it
 *    takes exactly one input image, VTPlugInProceed1 (otherwise
 *    VTPlugInProceed, which is looked up but not called).
 *
 * Memory: everything a plug-in hands to the host (result records and their
 * samples, the samples LoadDicomFile returns, the header blocks it fills, the
 * context's user pointer) must come from malloc(): the host releases it with
 * free(). Text buffers are VT_PLUGIN_TEXT_SIZE bytes, zero-terminated.
 *
 * Every structure uses the natural layout of the platform (64-bit pointers);
 * a plug-in must be built with the same compiler ABI as the host.
 */
#ifndef VISTREL_PLUGIN_H
#define VISTREL_PLUGIN_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VT_PLUGIN_TEXT_SIZE 260

#if defined(__GNUC__)
#define VT_PLUGIN_EXPORT __attribute__((visibility("default")))
#else
#define VT_PLUGIN_EXPORT
#endif

/*
 * An image handed to or returned by an image plug-in. Rows are stored top
 * first, bytesPerRow bytes each, packed as Vistrel stores them: depth 1 and 4
 * most significant bits first, depth 8 one byte per pixel, depths 9..16 one
 * little-endian 16-bit word per pixel. maxValue is 2^depth - 1.
 * The input Vistrel hands over has no padding between rows. A returned record
 * may have rows longer than its width needs (the rest is skipped); one whose
 * rows are shorter, whose depth is not 1, 4 or 8..16, or whose samples block
 * (measured with malloc_usable_size) is smaller than bytesPerRow * height is
 * dropped.
 */
typedef struct VTImageRecord {
    void* reserved0;
    void* reserved1;
    uint8_t* data;
    int32_t width;
    int32_t height;
    int32_t bytesPerRow;
    uint8_t depth;
    uint8_t reserved2;
    uint16_t maxValue;
    struct VTImageRecord* next; /* null for the last record of a result list */
} VTImageRecord;

/*
 * Passed to VTPlugInProceed1. programPath holds the full file name of the
 * running program. The host allocates the three buffers and releases them
 * after the call, together with userData when the plug-in has set it.
 */
typedef struct VTPlugInContext {
    char* buffer1;
    char* programPath;
    char* buffer3;
    void* userData;
} VTPlugInContext;

/*
 * Opaque header bytes a DICOM engine keeps with an image it loaded; Vistrel
 * copies them with the image and hands them back when the image is saved as
 * DICOM. The engine fills the fields of the block the host passes (it must
 * not replace the block itself); blocks come from malloc().
 */
typedef struct VTDicomHeaderBlock {
    uint8_t* block1;
    uint32_t length1;
    uint8_t* block2;
    uint32_t length2;
} VTDicomHeaderBlock;

/* General plug-in: fills its name (shown) and a second text (kept). */
typedef void (*VTGetPlugInNameFn)(char* name, char* second);

/* Image plug-in: fills the menu text and a second text. */
typedef void (*VTGetVTPlugInNameFn)(char* name, char* second);

/* Image plug-in: the number of input images it takes. */
typedef int32_t (*VTGetVTPlugInImgInNoFn)(void);

/*
 * Image plug-in with one input image. input must not be changed or freed.
 * The plug-in sets *results to a list of records (or leaves it null); the
 * host opens each valid record as a new document and frees the record and
 * its samples. The return value is ignored.
 */
typedef int32_t (*VTPlugInProceed1Fn)(const VTImageRecord* input, VTImageRecord** results,
                                      VTPlugInContext* context);

/* Image plug-in with another number of inputs: looked up, never called. */
typedef int32_t (*VTPlugInProceedFn)(void);

/*
 * DICOM engine. option 0: the raw stored pixels; 1: rendered pixels. Returns
 * width * height samples row by row without padding, one byte each when
 * *depth <= 8 and one 16-bit word each otherwise, or null on failure.
 * *header points to a block the engine may fill with what it needs to write
 * the file back. A colour image comes as *depth = VT_DICOM_DEPTH_RGB: three
 * bytes (red, green, blue) per sample; a host that predates it refuses the
 * depth as unsupported, as it always did for colour.
 */
#define VT_DICOM_DEPTH_RGB 24
typedef uint8_t* (*VTLoadDicomFileFn)(const char* path, int32_t option, int32_t* width,
                                      int32_t* height, int32_t* depth,
                                      VTDicomHeaderBlock** header);

/*
 * DICOM engine. samples are the image's rows as Vistrel stores them (see
 * VTImageRecord); header is the block kept from loading, or null.
 */
typedef void (*VTSaveDicomFileFn)(const char* path, const uint8_t* samples, int32_t count,
                                  int32_t depth, int32_t width, int32_t height,
                                  const VTDicomHeaderBlock* header);

#ifdef __cplusplus
}
#endif

#endif /* VISTREL_PLUGIN_H */
