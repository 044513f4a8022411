#pragma once
// Every command of the workstation in one table: its id, menu text, check
// style, what it does and when it is enabled or checked. The main window
// builds its actions from the table and asks it for the states; a new
// command is a row here and, when it needs one, a method of the document,
// the application or the shell.

#include <string>
#include <vector>

#include "core/image.h"
#include "workspace/command_ids.h"

namespace vistrel {

class CVistrelApp;
class CVistrelDoc;
class CPlugInManager;

// What the shell knows of the active image window.
struct CActiveView {
    bool present = false;           // an image window with a document is active
    bool framePresent = false;      // a document window is active (maybe closing)
    CRect roi;                      // the selection, in image coordinates
    double rulerLength = 0.0;       // in millimetres
    bool showsOriginal = false;     // "Back&ground := original image" is on
    bool hasPicture = false;        // something is painted, so there is something to print
    bool descriptionShown = false;  // the description pane is open
};

enum class EZoom { In, Out, ActualPixels, ToFit };
enum class EBar { Standard, Morphology, User, Status, Bits, Values };
enum class EToolWindow {
    BrightnessContrast,
    Histogram,
    ImageProperties,
    TwoImages,
    ConditionalThickening,  // the two-image tool in its conditional-thickening mode
    Filters,
    LogGaussian,
    SpotDetector,
    Thresholding,
    SegmentFromSeeds,
    // ---- microcalcification cluster tool
    McClusterDetection,
};
enum class EPrint { Dialog, Direct, Preview };

// The screen-side operations the commands need; the main window implements it.
class ICommandShell {
  public:
    virtual ~ICommandShell() = default;
    virtual void ZoomActiveView(EZoom zoom) = 0;
    virtual bool BarShown(EBar bar) const = 0;
    virtual void ShowBar(EBar bar, bool shown) = 0;
    virtual bool ToolWindowOpen(EToolWindow window) const = 0;
    // Opens the tool window, or closes it when it is open.
    virtual void ToggleToolWindow(EToolWindow window) = 0;
    virtual void PrintActiveView(EPrint how) = 0;
    virtual void ToggleDescription() = 0;
    virtual void CascadeWindows() = 0;
    virtual void TileWindows() = 0;
    virtual void ShowAbout() = 0;
    virtual void CloseActiveWindow() = 0;
    virtual void CloseMainWindow() = 0;
    virtual void ShowRulerLevels() = 0;
    virtual void ToggleShowOriginal() = 0;
    virtual void DeselectRoi() = 0;
    // The application's fit mode changed: size the windows again and re-fit them.
    virtual void FitModeChanged() = 0;
};

struct CCommandContext {
    CVistrelApp& app;
    CVistrelDoc* doc = nullptr;  // the active document
    CActiveView view;
    ICommandShell* shell = nullptr;     // null in tests without a screen
    CPlugInManager* plugIns = nullptr;  // the loaded image plug-ins, if any
};

enum class ECheckStyle {
    Plain,
    Checkable,
    Radio,  // one of a group of consecutive ids (mouse modes, fit modes, depths)
};

// Runs a command; id is the command's own id (a range entry gets the id within its range).
using CommandHandler = void (*)(const CCommandContext& context, int id);
// An enabled or checked rule.
using CommandRule = bool (*)(const CCommandContext& context, int id);
// The menu text of a command whose text follows the state.
using CommandTextRule = std::string (*)(const CCommandContext& context);

struct CCommand {
    CommandId id;
    const char* text;  // menu text, with the accelerator after a tab ("Zoom &In\tAlt++")
    ECheckStyle check;
    CommandHandler run;
    CommandRule enabled;  // null: always enabled
    CommandRule checked;  // null: the check mark is left as the action keeps it
    CommandTextRule menuText = nullptr;  // null: the menu shows `text`
};

// Ids whose menu entries are made at run time from lists (presets, plug-ins,
// recent files, cases): one handler and rules for the whole range.
struct CCommandRange {
    int first;
    int last;
    CommandHandler run;
    CommandRule enabled;
    CommandRule checked;
};

const std::vector<CCommand>& CommandRegistry();
const std::vector<CCommandRange>& CommandRanges();
// The entry of id, or null.
const CCommand* FindCommand(int id);
const CCommandRange* FindCommandRange(int id);

// Runs id through its entry or range; false when no entry has it.
bool RunCommand(const CCommandContext& context, int id);
// The enabled and checked states of id; a null rule gives enabled true and
// checked false.
bool CommandEnabled(const CCommandContext& context, int id);
bool CommandChecked(const CCommandContext& context, int id);

// Commands whose menu text follows the state ("Enable"/"Disable", a count):
// the shell sets the text from CommandMenuText before a menu shows.
bool CommandHasTextRule(int id);
// The menu text of id as it reads now (the registry's text without a rule).
std::string CommandMenuText(const CCommandContext& context, int id);

// The menu text before the tab and the accelerator after it (empty when none).
void SplitMenuText(const std::string& text, std::string& label, std::string& accelerator);

}  // namespace vistrel
