#include "journal/recorder.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <span>

#include "fields/catalogues.h"
#include "hart/frame.h"
#include "hart/protokol.h"
#include "hart/reply_data.h"
#include "hart/response_code.h"
#include "hart/transmitter_model.h"
#include "record/packed_text.h"

namespace journal {

namespace {

using Bytes = std::span<const std::uint8_t>;

// How the data of a write, sent or given back, reads as text.
enum class Form { None, Byte, Unit, Function, Float, Range, Message, TagDescriptorDate, Number24,
                  Point };

struct Field {
  std::uint8_t command;
  const char* name;
  Form form;
  const char* unit;  // after a float
};

constexpr Field kFields[] = {
    {6, "Адрес датчика", Form::Byte, ""},
    {17, "Сообщение", Form::Message, ""},
    {18, "Тег, дескриптор, дата", Form::TagDescriptorDate, ""},
    {19, "Номер сборки", Form::Number24, ""},
    {34, "Постоянная времени", Form::Float, " с"},
    {35, "Диапазон", Form::Range, ""},
    {36, "Верхний предел диапазона заданным давлением", Form::Float, ""},
    {37, "Нижний предел диапазона заданным давлением", Form::Float, ""},
    {40, "Постоянный ток в линии", Form::Float, " мА"},
    {43, "Обнуление давления", Form::None, ""},
    {44, "Единицы", Form::Unit, ""},
    {45, "Калибровка тока 4 мА", Form::Float, " мА"},
    {46, "Калибровка тока 20 мА", Form::Float, " мА"},
    {47, "Характеристика преобразования", Form::Function, ""},
    {59, "Число преамбул", Form::Byte, ""},
    {67, "Калибровка давления: начальная точка", Form::Point, ""},
    {68, "Калибровка давления: конечная точка", Form::Point, ""},
};

const Field* Find(std::uint8_t command) {
  for (const Field& f : kFields) {
    if (f.command == command) return &f;
  }
  return nullptr;
}

bool IsCalibration(std::uint8_t command) {
  return command == 43 || command == 45 || command == 46 || command == 67 || command == 68;
}

// The shortest text that reads back as the same float, whatever the process's locale.
std::string FloatText(float v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

float WireFloat(Bytes b, std::size_t at) {
  const std::uint32_t bits = static_cast<std::uint32_t>(b[at]) << 24 |
                             static_cast<std::uint32_t>(b[at + 1]) << 16 |
                             static_cast<std::uint32_t>(b[at + 2]) << 8 | b[at + 3];
  return std::bit_cast<float>(bits);
}

std::string UnitText(int code) {
  return config::UnitByIndex(config::UnitIndexOfCode(code)).name;
}

std::string Trimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::string PackedText(Bytes b, std::size_t chars) {
  return Trimmed(packed::DecodeForDisplay(b, chars));
}

std::string DateText(std::uint8_t day, std::uint8_t month, std::uint8_t year) {
  return std::to_string(day) + "-" + std::to_string(month) + "-" + std::to_string(1900 + year);
}

// The data of a write as text; empty when there are too few bytes for its form.
std::string Show(const Field& f, Bytes d) {
  auto need = [&](std::size_t n) { return d.size() >= n; };
  switch (f.form) {
    case Form::None: return {};
    case Form::Byte: return need(1) ? std::to_string(d[0]) : std::string();
    case Form::Unit: return need(1) ? UnitText(d[0]) : std::string();
    case Form::Function: {
      if (!need(1)) return {};
      const std::string name = config::TransferFunctionName(d[0]);
      return name.empty() ? "код " + std::to_string(d[0]) : name;
    }
    case Form::Float: return need(4) ? FloatText(WireFloat(d, 0)) + f.unit : std::string();
    case Form::Range:
      return need(9) ? "верхний " + FloatText(WireFloat(d, 1)) + ", нижний " +
                           FloatText(WireFloat(d, 5)) + " " + UnitText(d[0])
                     : std::string();
    case Form::Message: return need(24) ? PackedText(d.first(24), 32) : std::string();
    case Form::TagDescriptorDate:
      return need(21) ? "«" + PackedText(d.first(6), 8) + "», «" +
                            PackedText(d.subspan(6, 12), 16) + "», " +
                            DateText(d[18], d[19], d[20])
                      : std::string();
    case Form::Number24:
      return need(3) ? std::to_string(static_cast<std::uint32_t>(d[0]) << 16 |
                                      static_cast<std::uint32_t>(d[1]) << 8 | d[2])
                     : std::string();
    case Form::Point:
      return need(6) ? FloatText(WireFloat(d, 2)) + " " + UnitText(d[1]) : std::string();
  }
  return {};
}

// What the program held for the field before the write, from the record it addresses.
std::string Before(std::uint8_t command, const TDaneIPPC& r) {
  switch (command) {
    case 6: return std::to_string(r.pollingAddress);
    case 59: return std::to_string(r.preambles);
    case 17: return PackedText(r.message, 32);
    case 18:
      return "«" + PackedText(r.tag, 8) + "», «" + PackedText(r.descriptor, 16) + "», " +
             DateText(r.dateDay, r.dateMonth, r.dateYear);
    case 19: return std::to_string(r.assemblyNumber);
    case 34: return FloatText(r.damping) + " с";
    case 35:
      return "верхний " + FloatText(r.upperRange) + ", нижний " + FloatText(r.lowerRange) + " " +
             UnitText(r.unitCode);
    case 36: return FloatText(r.upperRange);
    case 37: return FloatText(r.lowerRange);
    case 44: return UnitText(r.unitCode);
    case 47: {
      const std::string name = config::TransferFunctionName(r.transferFunction);
      return name.empty() ? "код " + std::to_string(r.transferFunction) : name;
    }
    default: return {};
  }
}

struct Request {
  bool valid = false;
  std::uint8_t command = 0;
  hart::LongAddress address;
  Bytes data;
};

Request Parse(Bytes frame) {
  Request r;
  if (frame.size() >= 8 && frame[0] == hart::kLongDelimiter) {
    r.address.manufacturer = frame[1] & 0x3F;
    r.address.deviceType = frame[2];
    r.address.deviceId = static_cast<std::uint32_t>(frame[3]) << 16 |
                         static_cast<std::uint32_t>(frame[4]) << 8 | frame[5];
    r.command = frame[6];
    r.data = frame.subspan(8, std::min<std::size_t>(frame[7], frame.size() - 8));
    r.valid = true;
  } else if (frame.size() >= 4 && frame[0] == hart::kShortDelimiter) {
    r.command = frame[2];
    r.data = frame.subspan(4, std::min<std::size_t>(frame[3], frame.size() - 4));
    r.valid = true;
  }
  return r;
}

// The data bytes of the reply in the dialog's reply area, as far as its byte count and the area
// both hold them.
Bytes ReplyData(const THartProtokol& dialog) {
  const Bytes reply = Bytes(dialog.frame).subspan(hart::kReplyOffset);
  const hart::ReplyLayout layout = hart::LayoutOf(reply);
  if (reply[layout.byteCount] < 2) return {};
  const std::size_t count = reply[layout.byteCount] - 2u;
  return reply.subspan(layout.data, std::min(count, reply.size() - layout.data));
}

// The outcome as the dialog heard it; a code's meaning is the engine's, as the operator is told it.
std::string OutcomeText(const THartProtokol& dialog, unsigned event, std::uint8_t code) {
  switch (event) {
    case kEvReply:
      // A warning's reply: the transmitter did what was asked, with a caution.
      return dialog.Caution().empty() ? "выполнено" : "выполнено. " + dialog.Caution();
    case kEvNoAnswer: return "нет ответа";
    case kEvLineBusy: return "линия занята";
    default: {
      const std::string& meaning = dialog.StatusMeaning();
      return "отказ прибора. " +
             (meaning.empty() ? hart::ResponseText(Parse(dialog.Request()).command, code) : meaning);
    }
  }
}

}  // namespace

std::string FieldOf(std::uint8_t command) {
  const Field* f = Find(command);
  return f != nullptr && hart::Writes(command) ? f->name : std::string();
}

Recorder::Recorder(Journal* journal, std::string link, Warn warn)
    : journal_(journal), link_(std::move(link)), warn_(std::move(warn)) {}

void Recorder::RequestLeft(const THartProtokol& dialog) {
  // A write still waiting may have reached the transmitter before the new request replaced it.
  if (const auto it = pending_.find(&dialog); it != pending_.end()) {
    Entry e = std::move(it->second.entry);
    pending_.erase(it);
    e.outcome = "ответ не дождались: запрос заменён следующим";
    Store(e);
  }
  const Request req = Parse(dialog.Request());
  if (!req.valid) return;
  const Field* f = Find(req.command);
  if (f == nullptr || !hart::Writes(req.command)) return;
  Pending p;
  Entry& e = p.entry;
  e.manufacturer = req.address.manufacturer;
  e.deviceType = req.address.deviceType;
  e.deviceId = req.address.deviceId;
  e.link = link_;
  e.command = req.command;
  e.field = f->name;
  e.sent = Show(*f, req.data);
  if (const TDaneIPPC* record = dialog.AddressedRecord()) {
    e.tag = PackedText(record->tag, 8);
    e.before = Before(req.command, *record);
  }
  if (IsCalibration(req.command)) {
    const auto reading = lastReading_.find(e.deviceId);
    // A current trim is told what the ammeter reads: that is the loop as found.
    e.asFound = req.command == 45 || req.command == 46 ? e.sent
                : reading != lastReading_.end()       ? reading->second
                                                      : "не прочитано";
  }
  pending_[&dialog] = std::move(p);
}

void Recorder::OutcomeArrived(const THartProtokol& dialog, unsigned event) {
  const Bytes reply = Bytes(dialog.frame).subspan(hart::kReplyOffset);
  const std::uint8_t code = reply[hart::LayoutOf(reply).responseCode];
  const auto it = pending_.find(&dialog);
  if (it == pending_.end()) {
    // A reading, remembered for the next calibration of the same transmitter.
    const Request req = Parse(dialog.Request());
    if (event != kEvReply || !req.valid || req.address.deviceId == 0) return;
    const Bytes d = ReplyData(dialog);
    if (req.command == 1 && d.size() >= 5) {
      lastReading_[req.address.deviceId] = FloatText(WireFloat(d, 1)) + " " + UnitText(d[0]);
    } else if (req.command == 3 && d.size() >= 9) {
      lastReading_[req.address.deviceId] = FloatText(WireFloat(d, 5)) + " " + UnitText(d[4]);
    }
    return;
  }
  Entry e = std::move(it->second.entry);
  pending_.erase(it);
  e.outcome = OutcomeText(dialog, event, code);
  if (event == kEvReply) {
    const Field* f = Find(static_cast<std::uint8_t>(e.command));
    e.readBack = Show(*f, ReplyData(dialog));
    if (e.command == 67 || e.command == 68 || e.command == 45 || e.command == 46) {
      e.asLeft = e.readBack;
    }
  }
  Store(e);
}

void Recorder::Abandoned(const THartProtokol& dialog) {
  const auto it = pending_.find(&dialog);
  if (it == pending_.end()) return;
  Entry e = std::move(it->second.entry);
  pending_.erase(it);
  e.outcome = "ответ не дождались: окно закрыто";
  Store(e);
}

void Recorder::Store(Entry& entry) {
  if (journal_ == nullptr) return;
  std::string error;
  if (journal_->Append(entry, error) || warned_) return;
  warned_ = true;
  if (warn_) warn_("Запись в журнал изменений не удалась (" + journal_->Path() + "): " + error);
}

}  // namespace journal
