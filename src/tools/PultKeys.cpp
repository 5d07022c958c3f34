#include "tools/PultKeys.h"

#include <algorithm>

namespace kvt {

SpeedButton::~SpeedButton() {
  if (group_) group_->Forget(*this);
}

void SpeedButton::SetDown(bool down) {
  if (down && group_) {
    group_->Press(*this);
    return;
  }
  SetDownQuiet(down);
}

void SpeedButton::MouseDown(MouseButton button) {
  if (!Enabled() || !Visible()) return;
  if (button == MouseButton::Left) {
    heldLeft_ = true;
    Assign(held_, true);
  }
  if (OnMouseDown) OnMouseDown(button);
}

void SpeedButton::MouseUp(MouseButton button, bool inside) {
  // A key disabled while held still hears its release: whatever the press started must stop.
  const bool wasHeld = button == MouseButton::Left && heldLeft_;
  if (!wasHeld && (!Enabled() || !Visible())) return;
  if (button == MouseButton::Left) {
    heldLeft_ = false;
    Assign(held_, false);
  }
  if (OnMouseUp) OnMouseUp(button);
  if (wasHeld && inside) Click();
}

void SpeedButton::Click() {
  if (!Enabled() || !Visible()) return;
  if (CanClick && !CanClick()) return;
  if (group_)
    group_->Press(*this);
  else if (toggle_)
    SetDownQuiet(!down_);
  if (OnClick) OnClick();
}

KeyGroup::~KeyGroup() {
  for (SpeedButton* k : keys_) k->group_ = nullptr;
}

void KeyGroup::Add(SpeedButton& key) {
  if (key.group_) key.group_->Forget(key);
  key.group_ = this;
  keys_.push_back(&key);
}

SpeedButton* KeyGroup::DownKey() const {
  for (SpeedButton* k : keys_)
    if (k->Down()) return k;
  return nullptr;
}

void KeyGroup::ReleaseAll() {
  for (SpeedButton* k : keys_) k->SetDownQuiet(false);
}

void KeyGroup::SetEnabled(bool enabled) {
  for (SpeedButton* k : keys_) k->SetEnabled(enabled);
}

void KeyGroup::Press(SpeedButton& key) {
  for (SpeedButton* k : keys_)
    if (k != &key) k->SetDownQuiet(false);
  key.SetDownQuiet(true);
}

void KeyGroup::Forget(SpeedButton& key) {
  std::erase(keys_, &key);
  key.group_ = nullptr;
}

}  // namespace kvt
