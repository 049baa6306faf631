// The one-page test report of the database's first storage place.
#pragma once

#include <string>
#include <vector>

#include "data/database.h"
#include "ui/printing.h"

class TDrukuj : public ui::Printout {
 public:
  explicit TDrukuj(const TDane& database);

  struct Layout {
    int x0, y0, dy, dx;
  };
  // Margins, line step and indent for a page of the given size in device units.
  static Layout LayoutFor(int width, int height);

  struct Line {
    int n;       // line number: drawn at y0 + n * dy
    int indent;  // in steps of dx
    std::string text;
  };
  static std::vector<Line> Lines(const TDaneIPPC& record);

  void PrintPage(ui::DeviceContext& dc, int page) override;

 private:
  TDaneIPPC record_;
};
