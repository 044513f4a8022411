#pragma once
// The DICOM engines loaded at run time. The image core cannot know about the
// plug-in loader, so the loader installs a provider here; reading and saving
// DICOM files ask it at every use, as a plug-in rescan may change the answer.

#include <functional>
#include <vector>

#include "vistrel/plugin.h"

namespace vistrel {

struct CDicomEngine {
    VTLoadDicomFileFn load = nullptr;  // null when the engine does not export it
    VTSaveDicomFileFn save = nullptr;
    // Engines are outside code that may crash, hang or exhaust memory on a
    // damaged file: they run in a child process. Only an engine known to be
    // harmless (built into the same program) runs in-process.
    bool isolated = true;
};

using DicomEngineProvider = std::function<std::vector<CDicomEngine>()>;

// Installs (or, with an empty function, removes) the provider.
void SetDicomEngineProvider(DicomEngineProvider provider);

// The loaded engines in plug-in order; empty without a provider.
std::vector<CDicomEngine> FindDicomEngines();

// "Dicom Reading Options...": 0 raw pixels, 1 rendered pixels. Passed to the
// engines; the built-in reader does not use it.
void SetDicomReadingOption(int option);
int DicomReadingOption();

}  // namespace vistrel
