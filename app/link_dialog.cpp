#include "app/link_dialog.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>

#include "hart/hart_ip_key.h"
#include "hart/reach.h"
#include "ui/utf8.h"

namespace {

using ui::ControlKind;

std::string FirstLine(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line.substr(0, 80);
}

// The USB device above the tty's interface holds the adapter's maker and product.
std::string UsbDescription(const std::filesystem::path& ttyClass) {
  std::error_code ec;
  std::filesystem::path at = std::filesystem::canonical(ttyClass / "device", ec);
  for (int up = 0; !ec && up < 4 && !at.empty(); ++up, at = at.parent_path()) {
    const std::string product = FirstLine(at / "product");
    if (product.empty()) continue;
    const std::string maker = FirstLine(at / "manufacturer");
    return maker.empty() ? product : maker + " " + product;
  }
  return {};
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// HOST, HOST:PORT or [IPV6]:PORT; false when the port is not a number from 1 to 65535.
bool SplitHost(std::string text, std::string& host, int& port) {
  port = kHartIpDefaultPort;
  std::string portText;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string::npos) return false;
    host = text.substr(1, close - 1);
    if (close + 1 < text.size()) {
      if (text[close + 1] != ':') return false;
      portText = text.substr(close + 2);
    }
  } else if (std::count(text.begin(), text.end(), ':') == 1) {
    host = text.substr(0, text.find(':'));
    portText = text.substr(text.find(':') + 1);
  } else {
    host = text;  // a bare IPv6 address takes the default port
  }
  if (host.empty()) return false;
  if (portText.empty()) return true;
  const auto [end, failed] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
  return failed == std::errc() && end == portText.data() + portText.size() && port >= 1 &&
         port <= 65535;
}

}  // namespace

std::string HartIpKeyPath() {
  return (std::filesystem::path(LinkConfPath()).parent_path() / "hart-ip.key").string();
}

std::vector<SerialPortInfo> ListSerialPorts(const std::string& devRoot, const std::string& sysRoot) {
  namespace fs = std::filesystem;
  std::vector<SerialPortInfo> ports;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(devRoot, ec)) {
    const std::string name = entry.path().filename().string();
    const bool usb = StartsWith(name, "ttyUSB") || StartsWith(name, "ttyACM");
    if (!usb && !StartsWith(name, "ttyS")) continue;
    const fs::path ttyClass = fs::path(sysRoot) / "class" / "tty" / name;
    // Every ttyS the kernel reserves exists; only those with a UART behind them have a type.
    if (!usb) {
      const std::string type = FirstLine(ttyClass / "type");
      if (type.empty() || type == "0") continue;
    }
    ports.push_back({entry.path().string(), usb ? UsbDescription(ttyClass) : std::string()});
  }
  // USB adapters first, as a technician's modem is one; by name within each kind.
  std::sort(ports.begin(), ports.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) {
    const bool aS = a.device.find("/ttyS") != std::string::npos;
    const bool bS = b.device.find("/ttyS") != std::string::npos;
    return aS != bS ? bS : a.device < b.device;
  });
  return ports;
}

ui::DialogTemplate TLinkDialog::BuildTemplate() {
  ui::DialogTemplate tpl;
  tpl.resourceId = kResourceId;
  tpl.caption = "Связь";
  tpl.rect = {30, 30, 250, 210};
  auto& c = tpl.controls;
  const auto tab = ui::kStyleTabStop;
  c.push_back({kSimulated, ControlKind::RadioButton, "Имитатор преобразователя", {10, 8, 220, 10}, tab});
  c.push_back({kSerial, ControlKind::RadioButton, "Модем HART на последовательном порту",
               {10, 24, 220, 10}, tab});
  c.push_back({kPort, ControlKind::ComboBox, "", {22, 37, 150, 12}, ui::kStyleBorder | tab});
  c.push_back({kNoRts, ControlKind::CheckBox, "без RTS", {180, 38, 60, 10}, tab});
  c.push_back({kPortDescription, ControlKind::Static, "", {22, 52, 218, 8}});
  c.push_back({kHartIp, ControlKind::RadioButton, "HART-IP: шлюз, мультиплексор или преобразователь",
               {10, 66, 230, 10}, tab});
  c.push_back({kHostLabel, ControlKind::Static, "Узел[:порт]", {22, 81, 48, 8}});
  c.push_back({kHost, ControlKind::Edit, "", {72, 79, 118, 12}, ui::kStyleBorder | tab});
  c.push_back({kTransport, ControlKind::ComboBox, "", {196, 79, 44, 12},
               ui::kStyleBorder | ui::kStyleReadOnly | tab});
  c.push_back({kSubLabel, ControlKind::Static, "Прибор №", {22, 97, 48, 8}});
  c.push_back({kSub, ControlKind::Edit, "", {72, 95, 30, 12}, ui::kStyleBorder | tab});
  c.push_back({kSubHint, ControlKind::Static, "в шлюзе, 1–65535; пусто — сам узел", {108, 97, 132, 8}});
  c.push_back({kKeyTitle, ControlKind::Static, "Ключ HART-IP (защищённый сеанс, версия 2)",
               {22, 113, 218, 8}});
  c.push_back({kIdentityLabel, ControlKind::Static, "Клиент", {22, 127, 48, 8}});
  c.push_back({kIdentity, ControlKind::Edit, "", {72, 125, 168, 12}, ui::kStyleBorder | tab});
  c.push_back({kKeyLabel, ControlKind::Static, "Ключ (hex)", {22, 143, 48, 8}});
  c.push_back({kKey, ControlKind::Edit, "", {72, 141, 168, 12},
               ui::kStyleBorder | ui::kStyleSecret | tab});
  c.push_back({kKeyHint, ControlKind::Static, "", {72, 155, 168, 8}});
  c.push_back({kAddressLabel, ControlKind::Static, "Адрес опроса", {10, 171, 60, 8}});
  c.push_back({kAddress, ControlKind::Edit, "", {72, 169, 30, 12}, ui::kStyleBorder | tab});
  c.push_back({kAddressHint, ControlKind::Static, "0–63; пусто — поиск прибора", {108, 171, 132, 8}});
  c.push_back({ui::kIdOk, ControlKind::DefPushButton, "Выбери", {66, 190, 54, 14}, tab});
  c.push_back({ui::kIdCancel, ControlKind::PushButton, "Отмена", {130, 190, 54, 14}, tab});
  return tpl;
}

TLinkDialog::TLinkDialog(ui::Window* parent, LinkChoice current, Opener opener,
                         std::vector<SerialPortInfo> ports)
    : ui::Dialog(parent, BuildTemplate()),
      choice_(std::move(current)),
      opener_(std::move(opener)),
      ports_(std::move(ports)) {}

void TLinkDialog::SetupWindow() {
  ui::Dialog::SetupWindow();
  ui::ComboBox port(*this, kPort);
  for (const SerialPortInfo& info : ports_) port.Add(info.device);
  port.State().SetText(choice_.port.empty() && !ports_.empty() ? ports_.front().device
                                                               : choice_.port);
  for (int i = 0; i < port.Count(); ++i) {
    if (ports_[static_cast<std::size_t>(i)].device == port.Text()) port.SetSelection(i);
  }
  ui::CheckBox(*this, kNoRts).SetChecked(!choice_.switchRts);
  ui::Edit(*this, kHost).SetText(choice_.kind == LinkChoice::Kind::HartIp
                                     ? (choice_.ipPort == kHartIpDefaultPort ? choice_.host
                                                                             : HartIpAddress(choice_))
                                     : std::string());
  ui::ComboBox transport(*this, kTransport);
  transport.Add("UDP");
  transport.Add("TCP");
  transport.SetSelection(choice_.tcp ? 1 : 0);
  ui::Edit(*this, kAddress).SetText(choice_.address ? std::to_string(*choice_.address) : "");
  ui::Edit(*this, kSub).SetText(choice_.sub);
  // The key itself is never shown: only that one is kept, and for whom.
  std::string unreadable;
  if (const auto key = choice_.pskFile.empty() ? std::nullopt
                                               : hart::LoadHartIpKey(choice_.pskFile, unreadable)) {
    keptIdentity_ = key->identity;
    ui::Edit(*this, kIdentity).SetText(keptIdentity_);
    ui::ControlRef(*this, kKeyHint).SetText("ключ сохранён; пусто — оставить его");
  }
  Pick(choice_.kind);
  ShowPortDescription();
}

void TLinkDialog::Pick(LinkChoice::Kind kind) {
  ui::CheckBox(*this, kSimulated).SetChecked(kind == LinkChoice::Kind::Simulated);
  ui::CheckBox(*this, kSerial).SetChecked(kind == LinkChoice::Kind::Serial);
  ui::CheckBox(*this, kHartIp).SetChecked(kind == LinkChoice::Kind::HartIp);
  for (int id : {kPort, kNoRts, kPortDescription}) {
    ui::ControlRef(*this, id).Enable(kind == LinkChoice::Kind::Serial);
  }
  for (int id : {kHostLabel, kHost, kTransport, kSubLabel, kSub, kSubHint, kKeyTitle,
                 kIdentityLabel, kIdentity, kKeyLabel, kKey, kKeyHint}) {
    ui::ControlRef(*this, id).Enable(kind == LinkChoice::Kind::HartIp);
  }
  for (int id : {kAddressLabel, kAddress, kAddressHint}) {
    ui::ControlRef(*this, id).Enable(kind != LinkChoice::Kind::Simulated);
  }
}

void TLinkDialog::ShowPortDescription() {
  const std::string device = ui::ComboBox(*this, kPort).Text();
  std::string description = ports_.empty() ? "Последовательных портов в системе не найдено."
                                           : std::string();
  for (const SerialPortInfo& info : ports_) {
    if (info.device == device) description = info.description;
  }
  ui::ControlRef(*this, kPortDescription).SetText(description);
}

bool TLinkDialog::ReadChoice(LinkChoice& choice) {
  choice = LinkChoice{};
  const auto refuse = [this](const std::string& text) {
    MessageBox(text, "Связь", ui::kMbOk | ui::kMbIconExclamation);
    return false;
  };
  if (ui::CheckBox(*this, kSerial).Checked()) {
    choice.kind = LinkChoice::Kind::Serial;
    choice.port = ui::ComboBox(*this, kPort).Text();
    choice.switchRts = !ui::CheckBox(*this, kNoRts).Checked();
    if (choice.port.empty() || choice.port.front() != '/') {
      return refuse("Укажи последовательный порт, например /dev/ttyUSB0.");
    }
  } else if (ui::CheckBox(*this, kHartIp).Checked()) {
    choice.kind = LinkChoice::Kind::HartIp;
    if (!SplitHost(ui::Edit(*this, kHost).Text(), choice.host, choice.ipPort)) {
      return refuse("Укажи узел HART-IP: имя или адрес, при необходимости с портом от 1 до 65535 "
                    "(10.0.0.5 или 10.0.0.5:5094).");
    }
    choice.tcp = ui::ComboBox(*this, kTransport).Selection() == 1;
  } else {
    choice.kind = LinkChoice::Kind::Simulated;
    // The simulated transmitter has no address or key to choose: what was chosen for a real
    // link is kept for the next time one is chosen.
    choice.address = choice_.address;
    choice.sub = choice_.sub;
    choice.pskFile = choice_.pskFile;
    return true;
  }
  // The command line's own rules and words, with the sentence's first letter raised.
  const auto said = [](const std::string& error) {
    const std::string first = ui::utf8::Left(error, 1);
    return ui::utf8::ToUpper(first) + error.substr(first.size()) + ".";
  };
  std::string error;
  const std::string address = ui::Edit(*this, kAddress).Text();
  if (!address.empty()) {
    const std::optional<hart::Reach> reach = hart::ReachAtAddress(address, error);
    if (!reach) return refuse(said(error));
    choice.address = reach->address;
  }
  if (choice.kind == LinkChoice::Kind::Serial) return true;
  choice.sub = ui::Edit(*this, kSub).Text();
  if (!choice.sub.empty() && !hart::ReachSubDevice(choice.sub, error)) return refuse(said(error));
  return ReadKey(choice);
}

bool TLinkDialog::ReadKey(LinkChoice& choice) {
  const std::string identity = ui::Edit(*this, kIdentity).Text();
  const std::string keyHex = ui::Edit(*this, kKey).Text();
  const auto refuse = [this](const std::string& text) {
    MessageBox(text, "Связь", ui::kMbOk | ui::kMbIconExclamation);
    return false;
  };
  // No identity and no key: a session without one (version 1).
  if (identity.empty() && keyHex.empty()) return true;
  hart::HartIpKey key;
  std::string wrong = hart::CheckHartIpKey(identity, keyHex);
  if (keyHex.empty() && !keptIdentity_.empty()) {
    if (identity == keptIdentity_) {
      choice.pskFile = choice_.pskFile;
      return true;
    }
    // A new identity for the kept key: written anew under our own name.
    std::optional<hart::HartIpKey> kept = hart::LoadHartIpKey(choice_.pskFile, wrong);
    if (!kept) return refuse(wrong);
    key.key = kept->key;
    wrong = hart::CheckHartIpKey(identity, std::string(2 * key.key.size(), '0'));
  } else {
    key.key = hart::KeyFromHex(keyHex);
  }
  if (!wrong.empty()) return refuse(wrong);
  key.identity = identity;
  // Written beside the kept key, not over it: the link in use keeps its key until this one opens.
  const std::filesystem::path file = HartIpKeyPath() + ".new";
  std::error_code ec;
  std::filesystem::create_directories(file.parent_path(), ec);
  std::string error;
  if (!hart::SaveHartIpKey(file.string(), key, error)) {
    std::filesystem::remove(file, ec);
    return refuse(error);
  }
  newKeyFile_ = file.string();
  choice.pskFile = newKeyFile_;
  return true;
}

void TLinkDialog::Apply() {
  LinkChoice choice;
  newKeyFile_.clear();
  if (!ReadChoice(choice)) return;
  std::string error;
  // Null without an error: the window's own simulated transmitter.
  std::unique_ptr<hart::Link> link = opener_(choice, error);
  std::error_code ec;
  if (!link && !error.empty()) {
    if (!newKeyFile_.empty()) std::filesystem::remove(newKeyFile_, ec);
    MessageBox(error + "\nСвязь не изменена.", "Связь", ui::kMbOk | ui::kMbIconStop);
    return;
  }
  // The link has read its key already; the file takes the kept key's name for the next start
  // (should that fail, link.conf names the new file itself, which is as good).
  if (!newKeyFile_.empty()) {
    std::filesystem::rename(newKeyFile_, HartIpKeyPath(), ec);
    if (!ec) choice.pskFile = HartIpKeyPath();
  }
  choice_ = std::move(choice);
  link_ = std::move(link);
  EndDialog(ui::kIdOk);
}

ui::LResult TLinkDialog::HandleMessage(unsigned message, ui::WParam wParam, ui::LParam lParam) {
  if (message == ui::kMsgCommand) {
    const int id = ui::LowWord(wParam);
    const unsigned code = ui::HighWord(wParam);
    if (id == ui::kIdOk && code == ui::kNotifyClicked) {
      Apply();
      return 0;
    }
    if (code == ui::kNotifyClicked && (id == kSimulated || id == kSerial || id == kHartIp)) {
      Pick(id == kSerial   ? LinkChoice::Kind::Serial
           : id == kHartIp ? LinkChoice::Kind::HartIp
                           : LinkChoice::Kind::Simulated);
      return 0;
    }
    if (id == kPort) ShowPortDescription();
  }
  return ui::Dialog::HandleMessage(message, wParam, lParam);
}
