#pragma once
// The subcommands of vistrel-cli. Each takes the words after its name, prints
// its result document on stdout and returns 0, or throws CUsageError (exit
// status 2) or CFailure (exit status 1).

#include <string>
#include <vector>

namespace vistrel::cli {

using CommandArgs = std::vector<std::string>;

struct CCommand {
    const char* name;
    const char* summary;  // one line for the global help
    const char* help;     // the full text of "SUBCOMMAND --help"
    int (*run)(const CommandArgs& args);
};

// Every subcommand, in the order the global help lists them.
const std::vector<CCommand>& Commands();

int RunInfo(const CommandArgs& args);
int RunConvert(const CommandArgs& args);
int RunRender(const CommandArgs& args);
int RunPhantom(const CommandArgs& args);
int RunApply(const CommandArgs& args);
int RunRegions(const CommandArgs& args);
int RunOverlay(const CommandArgs& args);
int RunFilter(const CommandArgs& args);
int RunSpots(const CommandArgs& args);
int RunMorph(const CommandArgs& args);
int RunThicken(const CommandArgs& args);
int RunSegment(const CommandArgs& args);
int RunGrow(const CommandArgs& args);
int RunThreshold(const CommandArgs& args);
int RunFeatures(const CommandArgs& args);
int RunGlcm(const CommandArgs& args);
int RunSrdm(const CommandArgs& args);
int RunClusters(const CommandArgs& args);
int RunFroc(const CommandArgs& args);
int RunDetect(const CommandArgs& args);
int RunNn(const CommandArgs& args);

extern const char* const kInfoHelp;
extern const char* const kConvertHelp;
extern const char* const kRenderHelp;
extern const char* const kPhantomHelp;
extern const char* const kApplyHelp;
extern const char* const kRegionsHelp;
extern const char* const kOverlayHelp;
extern const char* const kFilterHelp;
extern const char* const kSpotsHelp;
extern const char* const kMorphHelp;
extern const char* const kThickenHelp;
extern const char* const kSegmentHelp;
extern const char* const kGrowHelp;
extern const char* const kThresholdHelp;
extern const char* const kFeaturesHelp;
extern const char* const kGlcmHelp;
extern const char* const kSrdmHelp;
extern const char* const kClustersHelp;
extern const char* const kFrocHelp;
extern const char* const kDetectHelp;
extern const char* const kNnHelp;

}  // namespace vistrel::cli
