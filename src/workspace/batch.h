#pragma once
// The one-shot batch routines of the command line. They run without any
// window: open the named document, do one thing, close it, and return the
// process exit code.

#include <string>

#include "workspace/command_line.h"

namespace vistrel {

class CVistrelApp;

// Exit codes of a batch run.
enum BatchExitCode : int {
    kBatchDone = 0,
    kBatchFailed = 1,        // the file could not be opened or the result not written
    kBatchNotAvailable = 2,  // the switch names a routine this build does not have
};

// The PGX name of the "f" routine: the document's folder, its file name
// without the last extension, ".test." and "pgx".
std::string TestCopyPath(const std::string& documentPath);

// Whether this build runs the batch routine of a switch letter.
bool BatchRoutineAvailable(char letter);

// Runs the batch routine selected by info (see CVTCommandLineInfo::BatchSwitch):
// "c" saves the document again under its own path, "e" makes it 8 bits and
// saves it as its path plus ".pgm", "f" writes a 12-bit copy with its
// annotations as TestCopyPath, "b" finds the breast outline and writes it
// beside the image (CVistrelDoc::SgtPathOf), "i" writes the image-retrieval
// files (CVistrelDoc::WriteFireFeatures with 100). Other routines report that
// they are not available. "s" runs ProcessDetection with par n = the s-value
// (10 when none was given) and "v" ReevaluateStoredDetections with v-value 1
// as the cluster diameter [cm] and v-value 2 as the minimum objects (the
// application's when not given), both on every named file, failing when
// any file fails. Messages go through the message sink.
int RunBatch(CVistrelApp& app, const CVTCommandLineInfo& info);

}  // namespace vistrel
