// A printout draws its pages on a printer's device context.
#pragma once

#include <string>

#include "ui/device_context.h"

namespace ui {

class Printout {
 public:
  explicit Printout(std::string title) : title_(std::move(title)) {}
  virtual ~Printout() = default;

  const std::string& Title() const { return title_; }
  virtual int PageCount() const { return 1; }
  // `page` counts from 1; the context's Area() is the page in the printer's device units.
  virtual void PrintPage(DeviceContext& dc, int page) = 0;

 private:
  std::string title_;
};

}  // namespace ui
