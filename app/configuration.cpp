#include "app/configuration.h"

#include <charconv>

#include "fields/catalogues.h"
#include "hart/identification_dialog.h"
#include "hart/reply_data.h"
#include "hart/response_code.h"
#include "record/packed_text.h"
#include "ui/control.h"

namespace {

constexpr int kLinkParam1 = 3;
constexpr int kStepTextId = 991;
// Where command 15's reply keeps what apply reads back (from its first data byte).
constexpr std::size_t kAt15Function = 1, kAt15Unit = 2, kAt15Upper = 3, kAt15Lower = 7,
                      kAt15Damping = 11;

// The shortest text that reads back as the same float, whatever the process's locale.
std::string FloatText(float v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string Packed(std::span<const std::uint8_t> bytes, std::size_t chars) {
  std::string s = packed::DecodeForDisplay(bytes, chars);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::string UnitText(int code) { return config::UnitByIndex(config::UnitIndexOfCode(code)).name; }

std::string FunctionText(int code) {
  const std::string name = config::TransferFunctionName(code);
  return name.empty() ? "код " + std::to_string(code) : name;
}

const char* PartName(ConfigPart part) {
  switch (part) {
    case ConfigPart::Units: return "Единицы";
    case ConfigPart::Range: return "Диапазон";
    case ConfigPart::Damping: return "Постоянная времени";
    case ConfigPart::TransferFunction: return "Характеристика преобразования";
    case ConfigPart::TagDescriptorDate: return "Тег, дескриптор, дата";
    case ConfigPart::Message: return "Сообщение";
    case ConfigPart::None: break;
  }
  return "";
}

ui::DialogTemplate ApplyTemplate() {
  ui::DialogTemplate tpl;
  tpl.resourceId = TApplyDialog::kResourceId;
  tpl.caption = "Запись конфигурации в прибор";
  tpl.rect = {40, 40, 300, 40};
  tpl.controls = {{kStepTextId, ui::ControlKind::Static, "", {8, 14, 284, 10}}};
  return tpl;
}

// Hears that identification stored what it read, in place of the main window.
class IdentifiedListener : public ui::Window {
 public:
  IdentifiedListener() : ui::Window(nullptr) {}
  bool heard = false;

 protected:
  ui::LResult HandleMessage(unsigned message, ui::WParam wParam, ui::LParam lParam) override {
    if (message == kMsgIdentified) heard = true;
    return ui::Window::HandleMessage(message, wParam, lParam);
  }
};

}  // namespace

std::vector<ConfigRow> CompareConfiguration(const TDaneIPPC& f, const TDaneIPPC& d) {
  std::vector<ConfigRow> rows;
  const auto shown = [&](const char* name, std::string inFile, std::string inDevice) {
    rows.push_back({name, std::move(inFile), std::move(inDevice), false, false, ConfigPart::None});
  };
  const auto compared = [&](const char* name, std::string inFile, std::string inDevice,
                            bool same, ConfigPart part) {
    rows.push_back({name, std::move(inFile), std::move(inDevice), true, !same, part});
  };
  // Floats as the wire carries them: a file keeps five decimals, the wire three bytes.
  const auto sameFloat = [](float a, float b) { return hart::AgreesOnTheWire(a, b); };
  shown("Изготовитель", std::to_string(f.manufacturerId), std::to_string(d.manufacturerId));
  shown("Тип прибора", std::to_string(f.deviceType), std::to_string(d.deviceType));
  shown("Заводской номер", std::to_string(f.deviceId), std::to_string(d.deviceId));
  compared("Единицы", UnitText(f.unitCode), UnitText(d.unitCode), f.unitCode == d.unitCode,
           ConfigPart::Units);
  compared("Верхний предел диапазона", FloatText(f.upperRange), FloatText(d.upperRange),
           sameFloat(f.upperRange, d.upperRange), ConfigPart::Range);
  compared("Нижний предел диапазона", FloatText(f.lowerRange), FloatText(d.lowerRange),
           sameFloat(f.lowerRange, d.lowerRange), ConfigPart::Range);
  compared("Постоянная времени [с]", FloatText(f.damping), FloatText(d.damping),
           sameFloat(f.damping, d.damping), ConfigPart::Damping);
  compared("Характеристика преобразования", FunctionText(f.transferFunction),
           FunctionText(d.transferFunction), f.transferFunction == d.transferFunction,
           ConfigPart::TransferFunction);
  compared("Тег", Packed(f.tag, 8), Packed(d.tag, 8), f.tag == d.tag,
           ConfigPart::TagDescriptorDate);
  compared("Дескриптор", Packed(f.descriptor, 16), Packed(d.descriptor, 16),
           f.descriptor == d.descriptor, ConfigPart::TagDescriptorDate);
  compared("Сообщение", Packed(f.message, 32), Packed(d.message, 32), f.message == d.message,
           ConfigPart::Message);
  compared("Дата", DateText(f.dateDay, f.dateMonth, f.dateYear),
           DateText(d.dateDay, d.dateMonth, d.dateYear),
           f.dateDay == d.dateDay && f.dateMonth == d.dateMonth && f.dateYear == d.dateYear,
           ConfigPart::TagDescriptorDate);
  compared("Адрес датчика", std::to_string(f.pollingAddress), std::to_string(d.pollingAddress),
           f.pollingAddress == d.pollingAddress, ConfigPart::None);
  compared("Преамбулы", std::to_string(f.preambles), std::to_string(d.preambles),
           f.preambles == d.preambles, ConfigPart::None);
  return rows;
}

std::string DifferenceCount(const std::vector<ConfigRow>& rows) {
  int n = 0;
  for (const ConfigRow& r : rows) n += r.differs ? 1 : 0;
  return n == 0 ? "Различий нет." : "Различающихся полей: " + std::to_string(n) + ".";
}

std::string ComparisonText(const std::vector<ConfigRow>& rows) {
  std::string out;
  for (const ConfigRow& r : rows) {
    out += r.differs ? "≠ " : "  ";
    out += r.name + ": в файле «" + r.inFile + "», в приборе «" + r.inDevice + "»";
    if (!r.compared) out += " (не сравнивается)";
    out += '\n';
  }
  return out + DifferenceCount(rows) + "\n";
}

bool SameKind(const TDaneIPPC& file, const TDaneIPPC& device) {
  return file.manufacturerId == device.manufacturerId && file.deviceType == device.deviceType;
}

std::optional<TDaneIPPC> IdentifyTransmitter(ui::Window* owner,
                                             const TSerialPortSettings& settings) {
  IdentifiedListener listener;
  TDaneIPPC record;
  THartKom0 identification(owner, settings, &listener, record, 0, nullptr);
  identification.Execute();
  if (!listener.heard) return std::nullopt;
  return record;
}

TApplyDialog::TApplyDialog(ui::Window* parent, const TSerialPortSettings& settings,
                           const TDaneIPPC& file, const TDaneIPPC& device,
                           std::vector<ConfigPart> parts)
    : TKomendy(parent, ApplyTemplate(), settings, nullptr),
      file_(file),
      device_(device),
      parts_(std::move(parts)) {}

std::string TApplyDialog::PartName() const { return ::PartName(parts_[at_]); }

void TApplyDialog::SetupWindow() {
  TKomendy::SetupWindow();
  at_ = 0;
  if (parts_.empty()) {
    Finish();
    return;
  }
  Write();
}

// The requests the configuration dialogs send, addressed to the transmitter as identified.
void TApplyDialog::Write() {
  readingBack_ = false;
  if (Item(kStepTextId) != nullptr) Item(kStepTextId)->SetText(PartName() + "…");
  const TDaneIPPC& d = device_;
  switch (parts_[at_]) {
    case ConfigPart::Units: {
      const std::uint8_t unit[] = {file_.unitCode};
      IssueLong(AddressOf(d), 44, unit, d.preambles, kLinkParam1);
      StartReplyTimer();
      break;
    }
    case ConfigPart::Range:
      BuildRange(d.manufacturerId, d.deviceType, d.preambles, d.deviceId, 35, file_.unitCode,
                 file_.upperRange, file_.lowerRange, kLinkParam1);
      StartReplyTimer();
      break;
    case ConfigPart::Damping: RequestFloat(d, 34, file_.damping, kLinkParam1); break;
    case ConfigPart::TransferFunction: {
      const std::uint8_t function[] = {file_.transferFunction};
      IssueLong(AddressOf(d), 47, function, d.preambles, kLinkParam1);
      StartReplyTimer();
      break;
    }
    case ConfigPart::TagDescriptorDate: {
      TDaneIPPC texts = d;
      texts.tag = file_.tag;
      texts.descriptor = file_.descriptor;
      texts.dateDay = file_.dateDay;
      texts.dateMonth = file_.dateMonth;
      texts.dateYear = file_.dateYear;
      RequestWriteTagDescriptorDate(texts, kLinkParam1);
      break;
    }
    case ConfigPart::Message: {
      TDaneIPPC texts = d;
      texts.message = file_.message;
      RequestWriteMessage(texts, kLinkParam1);
      break;
    }
    case ConfigPart::None: break;
  }
}

void TApplyDialog::ReadBack() {
  readingBack_ = true;
  const ConfigPart part = parts_[at_];
  const std::uint8_t command = part == ConfigPart::TagDescriptorDate ? 13
                               : part == ConfigPart::Message         ? 12
                                                                     : 15;
  RequestCommand(device_, command, kLinkParam1);
}

ui::LResult TApplyDialog::EvReply() {
  if (finished_) return 0;
  const ConfigPart part = parts_[at_];
  if (!readingBack_) {
    ReadBack();
    return 0;
  }
  const std::uint8_t command = part == ConfigPart::TagDescriptorDate ? 13
                               : part == ConfigPart::Message         ? 12
                                                                     : 15;
  if (!hart::ReplyHolds(Reply(), hart::ReplyDataSize(command))) {
    Fail("ответ на чтение слишком короткий");
    return 0;
  }
  const auto reply = Reply();
  std::string sent;
  std::string read;
  bool same = false;
  switch (part) {
    case ConfigPart::Units:
      device_.unitCode = hart::DataByte(reply, kAt15Unit);
      sent = UnitText(file_.unitCode);
      read = UnitText(device_.unitCode);
      same = device_.unitCode == file_.unitCode;
      break;
    case ConfigPart::Range:
      device_.unitCode = hart::DataByte(reply, kAt15Unit);
      device_.upperRange = hart::ReadBack(file_.upperRange, hart::DataFloat(reply, kAt15Upper));
      device_.lowerRange = hart::ReadBack(file_.lowerRange, hart::DataFloat(reply, kAt15Lower));
      sent = FloatText(file_.upperRange) + " … " + FloatText(file_.lowerRange);
      read = FloatText(device_.upperRange) + " … " + FloatText(device_.lowerRange);
      same = device_.upperRange == file_.upperRange && device_.lowerRange == file_.lowerRange;
      break;
    case ConfigPart::Damping:
      device_.damping = hart::ReadBack(file_.damping, hart::DataFloat(reply, kAt15Damping));
      sent = FloatText(file_.damping) + " с";
      read = FloatText(device_.damping) + " с";
      same = device_.damping == file_.damping;
      break;
    case ConfigPart::TransferFunction:
      device_.transferFunction = hart::DataByte(reply, kAt15Function);
      sent = FunctionText(file_.transferFunction);
      read = FunctionText(device_.transferFunction);
      same = device_.transferFunction == file_.transferFunction;
      break;
    case ConfigPart::TagDescriptorDate: {
      const auto data = hart::DataBytes(reply, 0, 21);
      std::copy_n(data.begin(), 6, device_.tag.begin());
      std::copy_n(data.begin() + 6, 12, device_.descriptor.begin());
      device_.dateDay = data[18];
      device_.dateMonth = data[19];
      device_.dateYear = data[20];
      sent = "«" + Packed(file_.tag, 8) + "», «" + Packed(file_.descriptor, 16) + "», " +
             DateText(file_.dateDay, file_.dateMonth, file_.dateYear);
      read = "«" + Packed(device_.tag, 8) + "», «" + Packed(device_.descriptor, 16) + "», " +
             DateText(device_.dateDay, device_.dateMonth, device_.dateYear);
      same = device_.tag == file_.tag && device_.descriptor == file_.descriptor &&
             data[18] == file_.dateDay && data[19] == file_.dateMonth &&
             data[20] == file_.dateYear;
      break;
    }
    case ConfigPart::Message: {
      const auto data = hart::DataBytes(reply, 0, 24);
      std::copy_n(data.begin(), 24, device_.message.begin());
      sent = "«" + Packed(file_.message, 32) + "»";
      read = "«" + Packed(device_.message, 32) + "»";
      same = device_.message == file_.message;
      break;
    }
    case ConfigPart::None: break;
  }
  if (!same) {
    Fail("записано " + sent + ", прочитано " + read);
    return 0;
  }
  steps_.push_back({PartName() + ": " + sent + " — записано и прочитано", true});
  if (++at_ == parts_.size()) {
    Finish();
  } else {
    Write();
  }
  return 0;
}

ui::LResult TApplyDialog::EvNoAnswer() {
  Fail("прибор не ответил");
  return 0;
}

ui::LResult TApplyDialog::EvLineBusy() {
  Fail("линия занята");
  return 0;
}

ui::LResult TApplyDialog::EvStatusError() {
  // The engine gives the meaning of the code a link received; the code's own otherwise.
  const auto reply = Reply();
  const hart::ReplyLayout at = hart::LayoutOf(reply);
  Fail("прибор отказал: " + (StatusMeaning().empty()
                                 ? hart::ResponseText(reply[at.byteCount - 1], reply[at.responseCode])
                                 : StatusMeaning()));
  return 0;
}

void TApplyDialog::Fail(const std::string& why) {
  if (finished_) return;
  steps_.push_back({PartName() + (readingBack_ ? " (чтение): " : ": ") + why, false});
  failed_ = true;
  Finish();
}

std::string TApplyDialog::Summary() const {
  if (finished_ && !failed_) return "Конфигурация записана в преобразователь.";
  std::string written;
  for (const Step& step : steps_) {
    if (!step.ok) continue;
    if (!written.empty()) written += ", ";
    written += step.text.substr(0, step.text.find(':'));
  }
  return "Запись остановлена. Уже записано: " + (written.empty() ? "ничего" : written) + ".";
}

void TApplyDialog::Finish() {
  finished_ = true;
  EndDialog(failed_ ? ui::kIdCancel : ui::kIdOk);
}
