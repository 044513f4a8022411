#include "core/dicom_engine.h"

#include <atomic>
#include <cstddef>
#include <mutex>

#include "core/image.h"

namespace vistrel {

// The engine fills the image's own header block through the C view of it.
static_assert(offsetof(DicomHeaderBlock, block1) == offsetof(VTDicomHeaderBlock, block1));
static_assert(offsetof(DicomHeaderBlock, length1) == offsetof(VTDicomHeaderBlock, length1));
static_assert(offsetof(DicomHeaderBlock, block2) == offsetof(VTDicomHeaderBlock, block2));
static_assert(offsetof(DicomHeaderBlock, length2) == offsetof(VTDicomHeaderBlock, length2));
static_assert(sizeof(DicomHeaderBlock) == sizeof(VTDicomHeaderBlock));

namespace {
std::mutex providerMutex;
DicomEngineProvider provider;
std::atomic<int> readingOption{0};
}  // namespace

void SetDicomEngineProvider(DicomEngineProvider newProvider) {
    std::lock_guard<std::mutex> lock(providerMutex);
    provider = std::move(newProvider);
}

std::vector<CDicomEngine> FindDicomEngines() {
    DicomEngineProvider current;
    {
        std::lock_guard<std::mutex> lock(providerMutex);
        current = provider;
    }
    return current ? current() : std::vector<CDicomEngine>{};
}

void SetDicomReadingOption(int option) {
    readingOption = option == 1 ? 1 : 0;
}

int DicomReadingOption() {
    return readingOption;
}

}  // namespace vistrel
