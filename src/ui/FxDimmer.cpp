#include "FxDimmer.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPalette>
#include <QScreen>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "Application.h"

TFxDimmerForm* FxDimmerForm = nullptr;

namespace {

// The fade's only way to the layer (WM_APP range, private to this unit).
constexpr UINT WM_FX_SET_ALPHA = 0x8000 + 0x0A1;

std::atomic<int> runningFades{0};

// The owner of the one layer. Never destroyed itself: a layer still present when the process
// ends is not deleted after the QApplication has gone.
TFormPtr<TFxDimmerForm>& LayerOwner() {
  static TFormPtr<TFxDimmerForm>& owner = *new TFormPtr<TFxDimmerForm>;
  return owner;
}

}  // namespace

TFxDimmerForm::TFxDimmerForm() {
  setObjectName(QStringLiteral("FxDimmerForm"));
  // No caption, no task-bar entry, never takes the focus from the dialog it lies behind.
  setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
  setAttribute(Qt::WA_ShowWithoutActivating);
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);
  setAutoFillBackground(true);
  RegisterMessageHandler(WM_FX_SET_ALPHA, [this](TMessage& message) {
    SetAlpha(static_cast<int>(message.WParam));
    message.Result = 1;
  });
}

void TFxDimmerForm::SetAlpha(int alpha) {
  alpha = std::clamp(alpha, 0, 255);
  setWindowOpacity(alpha / 255.0);
  appliedAlphas_.push_back(alpha);
}

void TFxDimmerForm::FormClick() {
  const QPoint position = QCursor::pos();
  hide();
  if (QWidget* under = QApplication::widgetAt(position)) {
    QWidget* top = under->window();
    top->raise();
    top->activateWindow();
  }
  // Released, not destroyed here: the click that got us here is still being delivered to it.
  const HWND self = Handle();
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [self] {
        if (FxDimmerForm && FxDimmerForm->Handle() == self) FreeDimmer();
      },
      Qt::QueuedConnection);
}

void TFxDimmerForm::FormDestroy() {
  if (FxDimmerForm == this) FxDimmerForm = nullptr;
}

void TFxDimmerForm::mouseReleaseEvent(QMouseEvent* event) {
  TForm::mouseReleaseEvent(event);
  if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint())) return;
  try {
    FormClick();
  } catch (...) {
    // A click on a visual effect has nothing worth reporting.
  }
}

TFadeThread::TFadeThread(HWND layer) : FLayer(layer) {
  runningFades.fetch_add(1);
  SetPriority(TThreadPriority::tpIdle);
}

TFadeThread::~TFadeThread() {
  runningFades.fetch_sub(1);
}

int TFadeThread::Running() noexcept {
  return runningFades.load();
}

void TFadeThread::Execute() {
  using std::chrono::milliseconds;
  try {
    std::this_thread::sleep_for(milliseconds(kStartDelayMs));
    for (int alpha = 0; alpha <= kAlphaEnd; alpha += kAlphaStep) {
      if (Terminated()) return;
      // 0 means the layer is gone (or the program is closing): the fade has nothing left to do.
      if (SendMessage(FLayer, WM_FX_SET_ALPHA, static_cast<WPARAM>(alpha), 0) == 0)
        throw std::runtime_error("The dimming layer no longer exists.");
      std::this_thread::sleep_for(milliseconds(kStepMs));
    }
  } catch (...) {
    // The fade is decoration: whatever stops it ends it silently.
  }
}

void ShowDimmer(QWidget* keepInFront) {
  if (FxDimmerForm) return;
  try {
    TFormPtr<TFxDimmerForm>& owner = LayerOwner();
    owner = MakeForm<TFxDimmerForm>();
    FxDimmerForm = owner.get();
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) throw std::runtime_error("There is no screen to dim.");
    FxDimmerForm->setGeometry(screen->availableGeometry());
    QWidget* previous = QApplication::activeWindow();
    FxDimmerForm->SetAlpha(0);
    FxDimmerForm->Show();
    if (keepInFront) {
      keepInFront->raise();
    } else if (previous && previous != FxDimmerForm) {
      previous->activateWindow();
    }
    auto fade = std::make_unique<TFadeThread>(FxDimmerForm->Handle());
    if (Application) Application->ProcessMessages();
    TThread::StartFreeOnTerminate(std::move(fade));
  } catch (...) {
    // Dimming is a nicety: the report is shown without it.
    FreeDimmer();
  }
}

void FreeDimmer() {
  LayerOwner().reset();
  FxDimmerForm = nullptr;
}
