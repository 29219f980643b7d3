// The screen dimmer: a borderless black layer over the primary screen's work area (the task bar
// stays uncovered) that fades in behind a report, from transparent to alpha 170 of 255, while the
// message dialog stays in front. At most one layer exists; the message dialog destroys it when it
// closes, a click on it hides and releases it.
//
// The fade runs on a TFadeThread of idle priority that frees itself. It reaches the layer only by
// SendMessage to the layer's handle, so a layer destroyed mid-fade (a dialog closed within the
// first 0.4 s) leaves the thread a dead handle: the step fails and the fade ends silently. The
// user-interface thread never waits for the fade. Failures while dimming are absorbed: the layer
// is destroyed and the caller goes on.
#pragma once

#include <vector>

#include "Forms.h"
#include "Thread.h"

class TFxDimmerForm : public TForm {
  Q_OBJECT

 public:
  TFxDimmerForm();

  // The alpha values really applied to the layer, in order: 0 when it is shown, then each fade
  // step (0, 10, ... 170). The opacity itself is invisible without a compositor.
  const std::vector<int>& AppliedAlphas() const noexcept { return appliedAlphas_; }
  int Alpha() const noexcept { return appliedAlphas_.empty() ? 0 : appliedAlphas_.back(); }
  // Applies alpha 0..255 as the window opacity alpha / 255.
  void SetAlpha(int alpha);

  // A click on the layer: hide it, give the foreground to the window under the mouse, release it.
  void FormClick();

 protected:
  void FormDestroy() override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  std::vector<int> appliedAlphas_;
};

class TFadeThread : public TThread {
 public:
  static constexpr int kStartDelayMs = 200;
  static constexpr int kStepMs = 10;
  static constexpr int kAlphaStep = 10;
  static constexpr int kAlphaEnd = 170;

  explicit TFadeThread(HWND layer);
  ~TFadeThread() override;

  // Fade threads not yet ended (all of them free themselves); for shutdown checks and tests.
  static int Running() noexcept;

 protected:
  void Execute() override;

 private:
  const HWND FLayer;
};

// The one layer, or null.
extern TFxDimmerForm* FxDimmerForm;

// Creates the layer unless one exists; keepInFront (when given) is raised above it, otherwise the
// window that had the foreground gets it back. Never throws.
void ShowDimmer(QWidget* keepInFront);
// Destroys the layer at once if one exists.
void FreeDimmer();
