#include "ui/platform.h"

#include <cstdio>
#include <cstdlib>

namespace ui {
namespace {
Platform* g_platform = nullptr;
}

Platform& ThePlatform() {
  if (g_platform == nullptr) {
    std::fputs("no platform has been set\n", stderr);
    std::abort();
  }
  return *g_platform;
}

void SetPlatform(Platform* platform) { g_platform = platform; }

}  // namespace ui
