// vistrel-cli: the scriptable command-line front end over the Vistrel libraries.
// Results go to stdout as one JSON document, messages to stderr; exit status
// 0 on success, 1 when the input cannot be read or nothing was produced, 2
// for bad usage.

#include <cstdio>
#include <exception>
#include <mutex>
#include <new>
#include <string>

#include "cli_args.h"
#include "commands.h"
#include "core/dicom_engine.h"
#include "core/messages.h"
#include "workspace/plugins.h"

namespace vistrel::cli {

const std::vector<CCommand>& Commands() {
    static const std::vector<CCommand> commands = {
        {"info", "image facts and histogram statistics", kInfoHelp, RunInfo},
        {"convert", "read and write an image through the file dispatchers", kConvertHelp,
         RunConvert},
        {"render", "the display mapping (window, LUT, contrast, zoom ...) written as a PNG",
         kRenderHelp, RunRender},
        {"phantom", "write a synthetic mammogram", kPhantomHelp, RunPhantom},
        {"apply", "a basic image operation (rotate, flip, equalize, two images ...)", kApplyHelp,
         RunApply},
        {"regions", "connected components of an image as traced outlines", kRegionsHelp,
         RunRegions},
        {"overlay", "the annotations of an OVERLAY file", kOverlayHelp, RunOverlay},
        {"filter", "convolve with a kernel (Gauss, LoG, Laplace, Gamma, box, library)", kFilterHelp,
         RunFilter},
        {"spots", "multiscale LoG spot detector (microcalcification candidates)", kSpotsHelp,
         RunSpots},
        {"morph", "erosion, dilation, opening ... with a flat structuring element", kMorphHelp,
         RunMorph},
        {"thicken", "conditional thickening of a marker image under a condition image",
         kThickenHelp, RunThicken},
        {"segment", "the breast outline (and its cone outline) as JSON, SGT file and mask",
         kSegmentHelp, RunSegment},
        {"grow", "regions grown from seeds (a spot file or the seed detector)", kGrowHelp, RunGrow},
        {"threshold", "the pixels above a value, or the local maxima above it", kThresholdHelp,
         RunThreshold},
        {"features", "feature vectors of an OVERLAY file's regions and clusters (.ftr rows)",
         kFeaturesHelp, RunFeatures},
        {"glcm", "co-occurrence matrices and their features of a rectangle", kGlcmHelp, RunGlcm},
        {"srdm", "surrounding region dependence matrix of a rectangle", kSrdmHelp, RunSrdm},
        {"clusters", "microcalcification clusters of spots or regions, scored against truth",
         kClustersHelp, RunClusters},
        {"froc", "the detector's FROC curve over images with truth, and its chart", kFrocHelp,
         RunFroc},
        {"detect",
         "breast outline, spots, regions, clusters and their evaluation, with result files",
         kDetectHelp, RunDetect},
        {"nn", "the back-propagation network: train on, test on and classify regions", kNnHelp,
         RunNn},
    };
    return commands;
}

namespace {

void PrintGlobalHelp(std::FILE* out) {
    std::fputs(
        "usage: vistrel-cli SUBCOMMAND [options] ARGS...\n"
        "       vistrel-cli SUBCOMMAND --help\n"
        "\n"
        "Runs Vistrel's image library from scripts. Each subcommand prints one JSON\n"
        "document on stdout; messages go to stderr. Exit status: 0 success, 1 input\n"
        "unreadable or no result, 2 bad usage. Grey values are true values (stored\n"
        "sample minus value offset); coordinates are pixels, x right, y down.\n"
        "\n"
        "subcommands:\n",
        out);
    for (const CCommand& command : Commands())
        std::fprintf(out, "  %-9s %s\n", command.name, command.summary);
}

}  // namespace

int Main(int argc, char** argv) {
    // Core code reports to the user through the message sink; here that is stderr,
    // and questions take their default answer.
    CStderrMessageSink sink;
    CScopedMessageSink sinkGuard(&sink);
    // DICOM files are read and written by the engine in the plug-in folder
    // beside the program, as in the workstation; libraries that do not load
    // are left out silently there too. Loading them costs more than many a
    // whole command, so they are loaded at the first DICOM file read or
    // written; the scan then installs the manager itself as the provider.
    CPlugInManager plugIns;
    std::once_flag scanned;
    SetDicomEngineProvider([&plugIns, &scanned] {
        std::call_once(scanned,
                       [&plugIns] { plugIns.ScanPlugIns(CPlugInManager::DefaultPlugInFolder()); });
        return plugIns.FindDicomEngine();
    });
    // The provider refers to the manager: it goes first.
    struct CUninstall {
        ~CUninstall() { SetDicomEngineProvider({}); }
    } uninstall;

    if (argc < 2) {
        std::fputs("vistrel-cli: missing subcommand\n", stderr);
        PrintGlobalHelp(stderr);
        return 2;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintGlobalHelp(stdout);
        return 0;
    }
    const CCommand* command = nullptr;
    for (const CCommand& candidate : Commands())
        if (name == candidate.name) command = &candidate;
    if (!command) {
        std::fprintf(stderr, "vistrel-cli: unknown subcommand \"%s\" (see vistrel-cli --help)\n",
                     name.c_str());
        return 2;
    }
    try {
        return command->run(CommandArgs(argv + 2, argv + argc));
    } catch (const CUsageError& error) {
        std::fprintf(stderr, "vistrel-cli %s: %s (see vistrel-cli %s --help)\n", command->name,
                     error.what(), command->name);
        return 2;
    } catch (const CFailure& error) {
        std::fprintf(stderr, "vistrel-cli %s: %s\n", command->name, error.what());
        return 1;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "vistrel-cli %s: not enough memory\n", command->name);
        return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vistrel-cli %s: %s\n", command->name, error.what());
        return 1;
    }
}

}  // namespace vistrel::cli

int main(int argc, char** argv) {
    return vistrel::cli::Main(argc, argv);
}
