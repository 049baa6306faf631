// «Связь»: the technician chooses the link in the window: the simulated transmitter, a HART
// modem on one of the serial ports the system has, or a HART-IP gateway. The link is opened
// before the dialog closes, so a port that cannot be opened is said at once and the link in use
// stays.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/link_settings.h"
#include "hart/link.h"
#include "ui/dialog.h"

struct SerialPortInfo {
  std::string device;       // /dev/ttyUSB0
  std::string description;  // the USB adapter's maker and product, where sysfs knows them
};

// The serial ports that exist: ttyUSB*, ttyACM*, and the ttyS* that have a UART behind them.
// The roots are for tests.
std::vector<SerialPortInfo> ListSerialPorts(const std::string& devRoot = "/dev",
                                            const std::string& sysRoot = "/sys");

class TLinkDialog : public ui::Dialog {
 public:
  static constexpr int kResourceId = 970;
  enum ControlId : int {
    kSimulated = 971,
    kSerial = 972,
    kPort = 973,
    kNoRts = 974,
    kPortDescription = 975,
    kHartIp = 976,
    kHostLabel = 977,
    kHost = 978,
    kTransport = 979,
  };

  // Opens the link chosen; null with an error when it cannot, null without one for the window's
  // own simulated transmitter.
  using Opener = std::function<std::unique_ptr<hart::Link>(const LinkChoice&, std::string& error)>;

  TLinkDialog(ui::Window* parent, LinkChoice current, Opener opener,
              std::vector<SerialPortInfo> ports);
  static ui::DialogTemplate BuildTemplate();

  // After «Выбери»: the choice and the link opened for it (null for the simulated transmitter).
  const LinkChoice& Choice() const { return choice_; }
  std::unique_ptr<hart::Link> TakeLink() { return std::move(link_); }

 protected:
  void SetupWindow() override;
  ui::LResult HandleMessage(unsigned message, ui::WParam wParam, ui::LParam lParam) override;

 private:
  void Pick(LinkChoice::Kind kind);
  void ShowPortDescription();
  // The choice the controls make; false, having said why, when they make none.
  bool ReadChoice(LinkChoice& choice);
  void Apply();

  LinkChoice choice_;
  Opener opener_;
  std::vector<SerialPortInfo> ports_;
  std::unique_ptr<hart::Link> link_;
};
