#pragma once
// The log of the built-in DICOM reader. Its messages (repairs of broken files,
// reasons for failures) go to a log file opened in append mode, or to the
// standard error stream when none is open; never to the screen. Each line is
// "time <program>[101]: <level>: <message>", the message starting with the
// reader function that wrote it ("dicom_open(): Unable to open file").

#include <string>

namespace vistrel {

enum class DicomLogLevel {
    Emergency = 0,
    Alert = 1,
    Critical = 2,
    Error = 3,
    Warning = 4,
    Notice = 5,
    Info = 6,
    Debug = 7,
};

// "emergency", "alert" ... "debug".
const char* DicomLogLevelName(DicomLogLevel level);

// Messages above this level are dropped; Notice at start.
void SetDicomLogLevel(DicomLogLevel level);
DicomLogLevel GetDicomLogLevel();

// Opens (appending) the log file the following messages go to, closing any
// previous one; false when it cannot be opened (messages then go to stderr).
bool OpenDicomLog(const std::string& path);
// Closes the log file; messages go to stderr again.
void CloseDicomLog();

// Writes one message: "<function>: <text>", with `text` used verbatim.
void DicomLog(DicomLogLevel level, const char* function, const std::string& text);

// While one lives, this thread's messages are dropped: the structure check
// walks a file before the real reading and would only repeat its messages.
class CDicomLogMute {
  public:
    CDicomLogMute();
    ~CDicomLogMute();
    CDicomLogMute(const CDicomLogMute&) = delete;
    CDicomLogMute& operator=(const CDicomLogMute&) = delete;
};

}  // namespace vistrel
