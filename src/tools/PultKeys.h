#pragma once
// The keys of the control panel: picture keys without a caption that report the mouse going down
// and up on them (the stepping, footboard and exposure keys act while held), and that can stay
// down: alone (a toggle key) or one of an exclusive group (modes, densities).

#include <functional>
#include <string>
#include <vector>

#include "platform/Controls.h"

namespace kvt {

enum class MouseButton { Left, Right, Middle };

class KeyGroup;

class SpeedButton : public platform::Control {
 public:
  using Control::Control;
  ~SpeedButton() override;

  // Picture resource name.
  const std::string& Glyph() const { return glyph_; }
  void SetGlyph(std::string glyph) { Assign(glyph_, std::move(glyph)); }
  int Tag() const { return tag_; }
  void SetTag(int tag) { tag_ = tag; }

  // A toggle key stays down after a click and comes up with the next one.
  bool Toggle() const { return toggle_; }
  void SetToggle(bool toggle) { toggle_ = toggle; }
  KeyGroup* Group() const { return group_; }

  // Down: latched (a toggle key or the chosen key of a group). Set from code without events; a
  // key of a group put down releases the others.
  bool Down() const { return down_; }
  void SetDown(bool down);
  // The mouse button is held on the key now (the view draws it sunk).
  bool Held() const { return held_; }

  // --- the user's actions (ignored while disabled or hidden) ---
  void MouseDown(MouseButton button);
  // inside: released over the key, which makes a click of the left button.
  void MouseUp(MouseButton button, bool inside);
  // Unless CanClick refuses: a toggle key flips, a group key goes down (the others up); then
  // OnClick.
  void Click();

  std::function<void(MouseButton)> OnMouseDown;
  std::function<void(MouseButton)> OnMouseUp;
  std::function<void()> OnClick;
  // Asked before a click changes anything: false leaves the key (and its group) as it was and
  // OnClick is not called.
  std::function<bool()> CanClick;

 private:
  friend class KeyGroup;
  void SetDownQuiet(bool down) { Assign(down_, down); }

  std::string glyph_;
  int tag_ = 0;
  bool toggle_ = false;
  bool down_ = false;
  bool held_ = false;
  bool heldLeft_ = false;
  KeyGroup* group_ = nullptr;
};

// Keys of which at most one is down.
class KeyGroup {
 public:
  KeyGroup() = default;
  ~KeyGroup();
  KeyGroup(const KeyGroup&) = delete;
  KeyGroup& operator=(const KeyGroup&) = delete;

  void Add(SpeedButton& key);
  const std::vector<SpeedButton*>& Keys() const { return keys_; }
  // The key that is down, or null.
  SpeedButton* DownKey() const;
  void ReleaseAll();
  void SetEnabled(bool enabled);

 private:
  friend class SpeedButton;
  void Press(SpeedButton& key);
  void Forget(SpeedButton& key);

  std::vector<SpeedButton*> keys_;
};

}  // namespace kvt
