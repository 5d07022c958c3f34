#include "app/Progress.h"

#include <algorithm>

namespace kvt {

namespace {
TfrmProgress::ViewFactory& Factory() {
  static TfrmProgress::ViewFactory factory;
  return factory;
}
// Progress windows nest (a transfer inside a transfer); the innermost one is the open one.
TfrmProgress* current = nullptr;
}  // namespace

void TfrmProgress::SetViewFactory(ViewFactory factory) {
  Factory() = std::move(factory);
}

TfrmProgress::TfrmProgress(std::string caption) : caption_(std::move(caption)) {
  previous_ = current;
  current = this;
  if (Factory()) view_ = Factory()(*this);
}

TfrmProgress::~TfrmProgress() {
  view_.reset();
  if (current == this) current = previous_;
}

void TfrmProgress::SetProgress(int percent) {
  position_ = std::clamp(percent, 0, 100);
  if (view_) view_->ProgressChanged(position_);
}

TfrmProgress* TfrmProgress::Current() {
  return current;
}

void SetProgress(int percent) {
  if (TfrmProgress* p = TfrmProgress::Current()) p->SetProgress(percent);
}

void WithProgress(const std::string& caption,
                  const std::function<void(std::function<void(int)>)>& work) {
  TfrmProgress window(caption);
  work([&window](int percent) { window.SetProgress(percent); });
}

}  // namespace kvt
