#include "record/edit_message.h"

#include "record/packed_text.h"
#include "ui/utf8.h"

TEditMessage::TEditMessage(ui::Window& owner, int id, std::size_t characters)
    : ui::Edit(owner, id), characters_(characters) {}

void TEditMessage::Show(std::span<const std::uint8_t> bytes) const {
  SetText(packed::DecodeForDisplay(bytes, characters_));
}

void TEditMessage::Read(std::span<std::uint8_t> out) const {
  packed::EncodeFromEntry(ui::utf8::Left(Text(), characters_), characters_, out);
}
