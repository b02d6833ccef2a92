#include "window/run_bridge.h"

#include <algorithm>

#include "window/window_clock.h"

namespace {

constexpr int kBarMinimum = 0;
constexpr int kBarMaximum = 100;

struct Answer {
  bool given = false;
  bool ok = false;
};

}  // namespace

WindowRunUi::WindowRunUi(WindowClock& clock, UpdateUi& windowUi) : clock_(clock), windowUi_(windowUi) {}

void WindowRunUi::Post(std::function<void(UpdateUi&)> call) {
  {
    const std::lock_guard<std::mutex> guard(gate_->lock);
    if (gate_->abandoned) return;
  }
  // Posted calls run in the order they were posted.
  clock_.post([gate = gate_, ui = &windowUi_, call = std::move(call)] {
    {
      const std::lock_guard<std::mutex> guard(gate->lock);
      if (gate->abandoned) return;
    }
    call(*ui);
  });
}

bool WindowRunUi::WaitFor(std::function<bool(UpdateUi&)> call) {
  auto answer = std::make_shared<Answer>();
  Post([gate = gate_, answer, call = std::move(call)](UpdateUi& ui) {
    const bool ok = call(ui);
    const std::lock_guard<std::mutex> guard(gate->lock);
    answer->ok = ok;
    answer->given = true;
    gate->answered.notify_all();
  });
  std::unique_lock<std::mutex> hold(gate_->lock);
  gate_->answered.wait(hold, [&] { return answer->given || gate_->abandoned; });
  return answer->given && answer->ok;
}

void WindowRunUi::Abandon() {
  const std::lock_guard<std::mutex> guard(gate_->lock);
  gate_->abandoned = true;
  gate_->answered.notify_all();
}

void WindowRunUi::stage(const std::string& text) {
  Post([text](UpdateUi& ui) { ui.stage(text); });
}

void WindowRunUi::note(const std::string& text) {
  Post([text](UpdateUi& ui) { ui.note(text); });
}

void WindowRunUi::hideStage() {
  Post([](UpdateUi& ui) { ui.hideStage(); });
}

void WindowRunUi::setBar(int position) {
  position_ = std::clamp(position, kBarMinimum, kBarMaximum);
  Post([position](UpdateUi& ui) { ui.setBar(position); });
}

void WindowRunUi::uploadBar(int position) {
  position_ = std::clamp(position, kBarMinimum, kBarMaximum);
  Post([position](UpdateUi& ui) { ui.uploadBar(position); });
}

void WindowRunUi::setInstruction(const std::string& text) {
  Post([text](UpdateUi& ui) { ui.setInstruction(text); });
}

void WindowRunUi::box(const std::string& text, const std::string& title, int kind) {
  WaitFor([text, title, kind](UpdateUi& ui) {
    ui.box(text, title, kind);
    return true;
  });
}

bool WindowRunUi::ask(const std::string& text, const std::string& title) {
  return WaitFor([text, title](UpdateUi& ui) { return ui.ask(text, title); });
}

int WindowRunUi::choose(const std::string& text, const std::string& title, const std::vector<std::string>& options,
                        const std::string& none) {
  auto picked = std::make_shared<std::atomic<int>>(kChoseNone);
  const bool answered = WaitFor([text, title, options, none, picked](UpdateUi& ui) {
    picked->store(ui.choose(text, title, options, none));
    return true;
  });
  return answered ? picked->load() : kChoseNone;
}

void WindowRunUi::success() {
  Post([](UpdateUi& ui) { ui.success(); });
}

void WindowRunUi::busy(bool on) {
  Post([on](UpdateUi& ui) { ui.busy(on); });
}
