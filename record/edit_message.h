// An edit field that shows and reads packed text (tag, descriptor, message).
#pragma once

#include <cstdint>
#include <span>

#include "ui/control.h"

class TEditMessage : public ui::Edit {
 public:
  // `characters` is 8, 16 or 32; the field takes 3/4 as many bytes.
  TEditMessage(ui::Window& owner, int id, std::size_t characters);

  std::size_t Characters() const { return characters_; }
  void Show(std::span<const std::uint8_t> bytes) const;
  void Read(std::span<std::uint8_t> out) const;

 private:
  std::size_t characters_;
};
