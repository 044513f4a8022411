#include "core/dicom_log.h"

#include <cstdio>
#include <mutex>

namespace vistrel {

namespace {

// The program name and the number the log has always carried in its lines.
constexpr const char* kProgramName = "vistrel";
constexpr unsigned kLogId = 101;

std::mutex logMutex;
std::FILE* logFile = nullptr;
DicomLogLevel currentLevel = DicomLogLevel::Notice;
thread_local int mutedDepth = 0;

}  // namespace

CDicomLogMute::CDicomLogMute() {
    ++mutedDepth;
}
CDicomLogMute::~CDicomLogMute() {
    --mutedDepth;
}

const char* DicomLogLevelName(DicomLogLevel level) {
    switch (level) {
        case DicomLogLevel::Emergency:
            return "emergency";
        case DicomLogLevel::Alert:
            return "alert";
        case DicomLogLevel::Critical:
            return "critical";
        case DicomLogLevel::Error:
            return "error";
        case DicomLogLevel::Warning:
            return "warning";
        case DicomLogLevel::Notice:
            return "notice";
        case DicomLogLevel::Info:
            return "info";
        case DicomLogLevel::Debug:
            return "debug";
    }
    return "unknown";
}

void SetDicomLogLevel(DicomLogLevel level) {
    std::lock_guard<std::mutex> lock(logMutex);
    currentLevel = level;
}

DicomLogLevel GetDicomLogLevel() {
    std::lock_guard<std::mutex> lock(logMutex);
    return currentLevel;
}

bool OpenDicomLog(const std::string& path) {
    std::lock_guard<std::mutex> lock(logMutex);
    if (logFile) std::fclose(logFile);
    logFile = std::fopen(path.c_str(), "a");
    return logFile != nullptr;
}

void CloseDicomLog() {
    std::lock_guard<std::mutex> lock(logMutex);
    if (logFile) std::fclose(logFile);
    logFile = nullptr;
}

void DicomLog(DicomLogLevel level, const char* function, const std::string& text) {
    if (mutedDepth > 0) return;
    std::lock_guard<std::mutex> lock(logMutex);
    if (static_cast<int>(level) > static_cast<int>(currentLevel)) return;
    const std::string message = std::string(function) + ": " + text;
    std::FILE* out = logFile ? logFile : stderr;
    std::fprintf(out, "%s %s[%u]: %s: %s\n", "time", kProgramName, kLogId, DicomLogLevelName(level),
                 message.c_str());
    std::fflush(out);
}

}  // namespace vistrel
