#include "app/reach_options.h"

bool IsReachOption(std::string_view arg) {
  return arg == "--address" || arg == "--tag" || arg == "--sub";
}

bool TakeReachOption(int argc, const char* const* argv, int& i, std::optional<hart::Reach>& reach,
                     std::string& error) {
  const std::string_view arg = argv[i];
  if (!IsReachOption(arg)) return false;
  if (i + 1 >= argc) {
    error = "после " + std::string(arg) +
            (arg == "--tag"   ? " нужен тег"
             : arg == "--sub" ? " нужен номер прибора"
                              : " нужен адрес");
    return false;
  }
  if (reach) {
    error = "--address, --tag и --sub не указывают вместе: прибор находят одним способом";
    return false;
  }
  const std::string_view value = argv[++i];
  reach = arg == "--address" ? hart::ReachAtAddress(value, error)
          : arg == "--tag"   ? hart::ReachByTag(value, error)
                             : hart::ReachSubDevice(value, error);
  return reach.has_value();
}

std::unique_ptr<hart::ReachLink> ReachingLink(hart::Link& link,
                                              const std::optional<hart::Reach>& reach,
                                              bool hartIp) {
  if (!reach && !hartIp) return nullptr;
  return std::make_unique<hart::ReachLink>(link, reach.value_or(hart::Reach{}), hartIp);
}

std::string ReachUsageError(const std::optional<hart::Reach>& reach, bool hartIp) {
  if (reach && reach->by == hart::Reach::By::SubDevice && !hartIp) {
    return "--sub относится к --hart-ip: подчинённые приборы есть только у шлюза";
  }
  return {};
}
