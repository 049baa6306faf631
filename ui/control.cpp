#include "ui/control.h"

#include <cstdio>
#include <cstdlib>

#include "ui/utf8.h"
#include "ui/window.h"

namespace ui {

Control::Control(Window& owner, const ControlTemplate& tpl)
    : owner_(owner),
      id_(tpl.id),
      kind_(tpl.kind),
      rect_(tpl.rect),
      style_(tpl.style),
      text_(tpl.text),
      visible_((tpl.style & kStyleHidden) == 0),
      enabled_((tpl.style & kStyleDisabled) == 0),
      textLimit_(tpl.textLimit) {}

void Control::Changed() { owner_.ControlChanged(id_); }

void Control::SetText(std::string text) {
  text_ = std::move(text);
  Changed();
}

void Control::SetVisible(bool visible) {
  visible_ = visible;
  Changed();
}

void Control::SetEnabled(bool enabled) {
  enabled_ = enabled;
  Changed();
}

void Control::SetStyle(std::uint32_t style) {
  style_ = style;
  visible_ = (style & kStyleHidden) == 0;
  enabled_ = (style & kStyleDisabled) == 0;
  Changed();
}

void Control::SetTextLimit(int limit) {
  textLimit_ = limit;
  Changed();
}

void Control::SetValidator(std::optional<RangeValidator> validator) {
  validator_ = validator;
  Changed();
}

std::string Control::FilterForValidator(const std::string& text) const {
  if (!validator_) return text;
  std::string out;
  for (char c : text) {
    const bool digit = c >= '0' && c <= '9';
    const bool sign = c == '+' || (c == '-' && validator_->min < 0);
    if (digit || sign) out.push_back(c);
  }
  return out;
}

bool Control::IsValid(bool reportError) const {
  if (!validator_) return true;
  // Only digits and signs ever reach the text through typing; a program may set anything.
  bool valid = FilterForValidator(text_) == text_;
  if (valid) {
    const char* p = text_.c_str();
    int sign = 1;
    while (*p == '+' || *p == '-') {
      if (*p == '-') sign = -sign;
      ++p;
    }
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
      value = value * 10 + (*p - '0');
      if (value > 100000000000LL) break;
    }
    value *= sign;
    valid = value >= validator_->min && value <= validator_->max;
  }
  if (!valid && reportError) {
    char message[96];
    std::snprintf(message, sizeof message, "Value is not in the range %ld to %ld.", validator_->min,
                  validator_->max);
    owner_.MessageBox(message, "", kMbOk | kMbIconExclamation);
  }
  return valid;
}

int Control::AddItem(std::string item) {
  items_.push_back(std::move(item));
  Changed();
  return static_cast<int>(items_.size()) - 1;
}

void Control::ClearItems() {
  items_.clear();
  selection_ = -1;
  Changed();
}

void Control::SetSelection(int index) {
  selection_ = (index >= 0 && index < static_cast<int>(items_.size())) ? index : -1;
  if (kind_ == ControlKind::ComboBox && selection_ >= 0) text_ = items_[selection_];
  Changed();
}

void Control::SetChecked(bool checked) {
  checked_ = checked;
  Changed();
}

void Control::SetRange(int min, int max) {
  min_ = min;
  max_ = max;
  Changed();
}

void Control::SetPosition(int position) {
  position_ = position < min_ ? min_ : (position > max_ ? max_ : position);
  if (buddy_ != 0) {
    if (Control* buddy = owner_.Item(buddy_)) buddy->SetText(std::to_string(position_));
  }
  Changed();
}

bool Control::UserClick() {
  if (!visible_ || !enabled_) return false;
  switch (kind_) {
    case ControlKind::CheckBox:
      SetChecked(!checked_);
      break;
    case ControlKind::RadioButton:
      SetChecked(true);
      break;
    case ControlKind::PushButton:
    case ControlKind::DefPushButton:
      break;
    default:
      return false;
  }
  owner_.SendMessage(kMsgCommand, MakeWParam(id_, kNotifyClicked));
  return true;
}

bool Control::UserType(const std::string& typed) {
  if (!visible_ || !enabled_ || ReadOnly()) return false;
  if (kind_ != ControlKind::Edit && kind_ != ControlKind::ComboBox) return false;
  std::string text = UpperCase() ? utf8::ToUpper(typed) : typed;
  text = FilterForValidator(text);
  if (textLimit_ > 0) text = utf8::Left(text, static_cast<std::size_t>(textLimit_ - 1));
  text_ = std::move(text);
  if (kind_ == ControlKind::ComboBox) {
    // Typed text selects the entry it spells exactly, and no entry otherwise.
    selection_ = -1;
    for (std::size_t i = 0; i < items_.size(); ++i) {
      if (items_[i] == text_) {
        selection_ = static_cast<int>(i);
        break;
      }
    }
  }
  Changed();
  owner_.SendMessage(kMsgCommand, MakeWParam(id_, kNotifyTextChanged));
  return true;
}

bool Control::UserSelect(int index) {
  if (!visible_ || !enabled_) return false;
  if (index < 0 || index >= static_cast<int>(items_.size())) return false;
  SetSelection(index);
  if (kind_ == ControlKind::Tab) {
    owner_.SendMessage(kMsgNotify, MakeWParam(id_, kNotifyTabChanged));
  } else {
    owner_.SendMessage(kMsgCommand, MakeWParam(id_, kNotifySelectionChanged));
  }
  return true;
}

bool Control::UserSpin(int delta) {
  if (!visible_ || !enabled_ || kind_ != ControlKind::UpDown) return false;
  SetPosition(position_ + delta);
  owner_.SendMessage(kMsgNotify, MakeWParam(id_, kNotifyUpDownDelta));
  return true;
}

bool Control::UserEnter() {
  if (!visible_ || !enabled_ || kind_ != ControlKind::Edit || (style_ & kStyleWantReturn) == 0) {
    return false;
  }
  owner_.SendMessage(kMsgCommand, MakeWParam(id_, kNotifyEnterPressed));
  return true;
}

Control& ControlRef::State() const {
  Control* control = owner_->Item(id_);
  if (control == nullptr) {
    std::fprintf(stderr, "window has no control %d\n", id_);
    std::abort();
  }
  return *control;
}

Edit::Edit(Window& owner, int id, int textLimit) : ControlRef(owner, id) {
  if (textLimit > 0) State().SetTextLimit(textLimit);
}

}  // namespace ui
