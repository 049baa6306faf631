// A child control's state. The window owns it; the platform mirrors it and feeds the user's
// actions back through the User* operations, which notify the owner as a handler expects.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ui/dialog_template.h"

namespace ui {

class Window;

struct RangeValidator {
  long min = 0;
  long max = 0;
};

class Control {
 public:
  Control(Window& owner, const ControlTemplate& tpl);

  int Id() const { return id_; }
  ControlKind Kind() const { return kind_; }
  const Rect& RectDu() const { return rect_; }
  std::uint32_t Style() const { return style_; }
  Window& Owner() const { return owner_; }

  const std::string& Text() const { return text_; }
  // Sets the whole text, whatever the text limit (as a program's own set-text does).
  void SetText(std::string text);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  void SetStyle(std::uint32_t style);
  bool UpperCase() const { return (style_ & kStyleUpperCase) != 0; }
  bool ReadOnly() const { return (style_ & kStyleReadOnly) != 0; }

  // Counts the terminating null, so a limit of 4 allows three characters; 0: no limit.
  int TextLimit() const { return textLimit_; }
  void SetTextLimit(int limit);
  const std::optional<RangeValidator>& Validator() const { return validator_; }
  void SetValidator(std::optional<RangeValidator> validator);
  // Checks the text against the range validator; shows the refusal when asked to.
  bool IsValid(bool reportError) const;

  // List box, combo box and tab control share the item list and the selection.
  const std::vector<std::string>& Items() const { return items_; }
  int AddItem(std::string item);
  void ClearItems();
  int Selection() const { return selection_; }
  // A combo box shows the selected item as its text.
  void SetSelection(int index);

  bool Checked() const { return checked_; }
  void SetChecked(bool checked);

  // Up-down control: range, position and the edit it writes its position into.
  int Min() const { return min_; }
  int Max() const { return max_; }
  int Position() const { return position_; }
  int Buddy() const { return buddy_; }
  void SetRange(int min, int max);
  void SetPosition(int position);
  void SetBuddy(int id) { buddy_ = id; }

  // What a person does. Each returns false when the control refuses (hidden, disabled, ...).
  bool UserClick();
  bool UserType(const std::string& text);
  bool UserSelect(int index);
  bool UserSpin(int delta);
  // Enter in an edit that takes it (kStyleWantReturn); false elsewhere, where Enter is the
  // dialog's.
  bool UserEnter();

 private:
  void Changed();
  std::string FilterForValidator(const std::string& text) const;

  Window& owner_;
  int id_;
  ControlKind kind_;
  Rect rect_;
  std::uint32_t style_;
  std::string text_;
  bool visible_;
  bool enabled_;
  int textLimit_;
  std::optional<RangeValidator> validator_;
  std::vector<std::string> items_;
  int selection_ = -1;
  bool checked_ = false;
  int min_ = 0;
  int max_ = 100;
  int position_ = 0;
  int buddy_ = 0;
};

// Typed handles on a window's controls, as the program's dialogs hold them.
class ControlRef {
 public:
  ControlRef(Window& owner, int id) : owner_(&owner), id_(id) {}
  int Id() const { return id_; }
  Window& Owner() const { return *owner_; }
  Control& State() const;

  std::string Text() const { return State().Text(); }
  void SetText(std::string text) const { State().SetText(std::move(text)); }
  void Show(bool visible) const { State().SetVisible(visible); }
  void Enable(bool enabled) const { State().SetEnabled(enabled); }
  bool Visible() const { return State().Visible(); }
  bool Enabled() const { return State().Enabled(); }

 private:
  Window* owner_;
  int id_;
};

class Edit : public ControlRef {
 public:
  Edit(Window& owner, int id, int textLimit = 0);
  void SetTextLimit(int limit) const { State().SetTextLimit(limit); }
  void SetValidator(long min, long max) const { State().SetValidator(RangeValidator{min, max}); }
  bool IsValid() const { return State().IsValid(true); }
};

class CheckBox : public ControlRef {
 public:
  using ControlRef::ControlRef;
  bool Checked() const { return State().Checked(); }
  void SetChecked(bool checked) const { State().SetChecked(checked); }
};

class ListBox : public ControlRef {
 public:
  using ControlRef::ControlRef;
  int Add(std::string item) const { return State().AddItem(std::move(item)); }
  void Clear() const { State().ClearItems(); }
  int Count() const { return static_cast<int>(State().Items().size()); }
  int Selection() const { return State().Selection(); }
  void SetSelection(int index) const { State().SetSelection(index); }
};

using ComboBox = ListBox;
using TabControl = ListBox;

class UpDown : public ControlRef {
 public:
  using ControlRef::ControlRef;
  void SetRange(int min, int max) const { State().SetRange(min, max); }
  void SetPosition(int position) const { State().SetPosition(position); }
  int Position() const { return State().Position(); }
  void SetBuddy(int editId) const { State().SetBuddy(editId); }
};

}  // namespace ui
