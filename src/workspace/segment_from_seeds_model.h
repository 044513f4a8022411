#pragma once
// Model of the "Segment from seeds" window: the growing parameters, seed
// preparation on the source ("Set seeds") and growing the source's seeds
// into its regions ("Segment"). Its "Segment from current seeds" form works
// on seeds set elsewhere and has no "Set seeds".

#include <string>

#include "detection/grow_from_seeds.h"
#include "workspace/tool_window_model.h"

namespace vistrel {

inline constexpr const char* kSegmentFromSeedsTitle = "Segment from seeds";
inline constexpr const char* kSegmentFromCurrentSeedsTitle = "Segment from current seeds";

class CSegmentFromSeedsModel : public CToolWindowModel {
  public:
    static constexpr double kDefaultK = 1.5;
    static constexpr double kDefaultWindow = 0.3;  // centimetres

    // Binds the active document; currentSeeds gives the second form.
    CSegmentFromSeedsModel(CVistrelApp& app, bool currentSeeds = false);

    bool CurrentSeedsForm() const { return currentSeeds_; }
    std::string Title() const;
    bool SetSeedsVisible() const { return !currentSeeds_; }
    // Segment and the growing fields are enabled while the source has seeds.
    bool ControlsEnabled() const;

    // ---- fields
    EGrowAlgorithm Algorithm() const { return algorithm_; }
    void SetAlgorithm(EGrowAlgorithm a) { algorithm_ = a; }
    double K() const { return k_; }
    void SetK(double k) { k_ = k; }
    double Window() const { return window_; }
    void SetWindow(double w) { window_ = w; }
    bool WindowInCm() const { return windowInCm_; }
    void SetWindowInCm(bool cm) { windowInCm_ = cm; }
    int Directions() const { return directions_; }  // 4, 8 or 16
    void SetDirections(int d);
    EGrowInput Input() const { return input_; }
    void SetInput(EGrowInput i) { input_ = i; }
    bool Join() const { return join_; }
    void SetJoin(bool j) { join_ = j; }
    // The window in pixels at the source's resolution (>= 3).
    int32_t WindowPixels() const;
    // The parameters a "Segment" would use.
    CGrowParams Params() const;

    // ---- buttons
    // "Set seeds": asks "Threshold for seeds" (default 100.0) and prepares
    // the source's seeds. False when cancelled, invalid or without a source.
    bool OnSetSeeds();
    // "Segment": grows the source's seeds into its regions (progress with
    // Cancel); with the LoG input the response image opens as a new
    // document. False without seeds or when cancelled.
    bool OnSegment();
    const CGrowReport& LastReport() const { return report_; }

  private:
    bool currentSeeds_ = false;
    EGrowAlgorithm algorithm_ = EGrowAlgorithm::LocalStatistics;
    double k_ = kDefaultK;
    double window_ = kDefaultWindow;
    bool windowInCm_ = true;
    int directions_ = 8;
    EGrowInput input_ = EGrowInput::LoGInScales;
    bool join_ = true;
    CGrowReport report_;
};

}  // namespace vistrel
