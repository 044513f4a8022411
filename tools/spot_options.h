#pragma once
// The detector options every subcommand that finds spots takes, so that
// "spots" and "grow --spots" read them alike.

#include <vector>

#include "cli_args.h"

namespace vistrel::cli {

struct CSpotDetectorOptions {
    int minScale = 0, maxScale = 0, increment = 0;
    int localMaxSide = 0, searchSide = 0;
};

// --min, --max, --inc, --n and --m.
std::vector<COptionSpec> SpotDetectorOptionSpecs();
// The detector options of the command line, each absent one from defaults;
// CUsageError for a value out of range or --max below --min.
CSpotDetectorOptions ParseSpotDetectorOptions(const CParsedArgs& args,
                                              const CSpotDetectorOptions& defaults);

}  // namespace vistrel::cli
