// «Связь»: the technician chooses the link in the window: the simulated transmitter, a HART
// modem on one of the serial ports the system has, or a HART-IP gateway. The link is opened
// before the dialog closes, so a port that cannot be opened is said at once and the link in use
// stays. A polling address, a gateway's sub-device and the key of a secured HART-IP session are
// chosen here too; the key goes to a file of the user's own that link.conf names.
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
    kSubLabel = 980,
    kSub = 981,
    kSubHint = 982,
    kKeyTitle = 983,
    kIdentityLabel = 984,
    kIdentity = 985,
    kKeyLabel = 986,
    kKey = 987,
    kKeyHint = 988,
    kAddressLabel = 989,
    kAddress = 990,
    kAddressHint = 991,
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
  // The key as the fields give it: none, a kept file, or a new key written to `newKeyFile_`.
  bool ReadKey(LinkChoice& choice);
  void Apply();

  LinkChoice choice_;
  Opener opener_;
  std::vector<SerialPortInfo> ports_;
  std::unique_ptr<hart::Link> link_;
  std::string keptIdentity_;  // the identity of the key file the choice names, when it is readable
  std::string newKeyFile_;    // a key written for this choice, made the kept one once it opens
};

// Where a key typed in «Связь» is kept: beside link.conf, as hart-ip.key.
std::string HartIpKeyPath();
