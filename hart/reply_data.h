// Reading a transmitter's reply where the reply area holds it: its byte count, response code and
// the data after the two status bytes, by offset from the first data byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

class THartProtokol;

namespace hart {

// Where the fields of a slave's reply lie: a long-frame reply (delimiter 0x86) carries five
// address bytes, a short-frame one (0x06) one.
struct ReplyLayout {
  std::size_t byteCount;
  std::size_t responseCode;
  std::size_t data;
};
ReplyLayout LayoutOf(std::span<const std::uint8_t> reply);

// The data bytes a successful reply to `command` carries; 0 for commands without data.
std::size_t ReplyDataSize(std::uint8_t command);

// True when the byte count covers the two status bytes and `dataBytes` of data.
bool ReplyHolds(std::span<const std::uint8_t> reply, std::size_t dataBytes);
std::uint8_t ResponseCode(std::span<const std::uint8_t> reply);
// The event a received reply raises by its response code: the reply (a warning's data is valid
// too), line busy, or status.
unsigned OutcomeOf(std::span<const std::uint8_t> reply);

std::uint8_t DataByte(std::span<const std::uint8_t> reply, std::size_t at);
std::uint32_t DataUnsigned24(std::span<const std::uint8_t> reply, std::size_t at);
// Passes the float through the three-byte form in place, as identification does, so each float
// of a reply is read once.
float DataFloat(std::span<std::uint8_t> reply, std::size_t at);
// The four bytes as the IEEE 754 single the transmitter sent, every bit of it: for readings that
// are shown or logged as measured rather than kept in a record.
float DataSingle(std::span<const std::uint8_t> reply, std::size_t at);
std::span<const std::uint8_t> DataBytes(std::span<const std::uint8_t> reply, std::size_t at,
                                        std::size_t count);

// True when `received` is `held` as far as the wire carries it: a float on its way in keeps only
// the three-byte form, and one on its way out was built from it.
bool AgreesOnTheWire(float held, float received);
// A value read back keeps the one the dialog already holds, stored or computed, when the two
// agree on the wire, the held value being the finer of the two. Otherwise the transmitter's
// value is taken.
float ReadBack(float held, float received);
// The same for a number that travels in three bytes: its low 24 bits.
std::uint32_t ReadBack(std::uint32_t held, std::uint32_t received);

// True when the reply in `dialog`'s reply area is too short for the data of a reply to
// `command`. Such a reply is never decoded: it goes to the dialog as a status error with
// response code 0, which draws each dialog's general status message.
bool ShortReplyRefused(THartProtokol& dialog, std::uint8_t command);
// The same for a reply whose data the dialog knows only from the reply itself (command 0, laid
// out by the revision it says).
bool ShortReplyRefusedFor(THartProtokol& dialog, std::size_t dataBytes);

}  // namespace hart
