#include "ui/qt/qt_window_table.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>

#include <algorithm>

#include "ui/qt/qt_context.h"

namespace ui::qt {

WindowTable::WindowTable() { clock.start(); }

WindowTable::~WindowTable() = default;

WindowRecord& WindowTable::Add(Window& window) {
  auto record = std::make_unique<WindowRecord>();
  record->serial = nextSerial_++;
  record->window = &window;
  record->dialog = dynamic_cast<Dialog*>(&window);
  serials_[&window] = record->serial;
  WindowRecord& added = *record;
  records_[added.serial] = std::move(record);
  return added;
}

WindowRecord* WindowTable::Find(std::uint64_t serial) {
  auto it = records_.find(serial);
  return it == records_.end() ? nullptr : it->second.get();
}

WindowRecord* WindowTable::Find(const Window& window) {
  auto it = serials_.find(&window);
  return it == serials_.end() ? nullptr : Find(it->second);
}

const WindowRecord* WindowTable::Find(const Window& window) const {
  return const_cast<WindowTable*>(this)->Find(window);
}

std::unique_ptr<WindowRecord> WindowTable::Remove(const Window& window) {
  auto it = serials_.find(&window);
  if (it == serials_.end()) return nullptr;
  auto record = records_.find(it->second);
  std::unique_ptr<WindowRecord> removed = std::move(record->second);
  records_.erase(record);
  serials_.erase(it);
  return removed;
}

std::vector<std::uint64_t> WindowTable::Serials() const {
  std::vector<std::uint64_t> serials;
  serials.reserve(records_.size());
  for (const auto& entry : records_) serials.push_back(entry.first);
  return serials;
}

bool WindowTable::AnyTopLevel() const {
  return std::any_of(records_.begin(), records_.end(),
                     [](const auto& entry) { return entry.second->window->Parent() == nullptr; });
}

void WindowTable::Send(std::uint64_t serial, unsigned message, WParam wParam, LParam lParam) {
  if (WindowRecord* record = Find(serial)) record->window->SendMessage(message, wParam, lParam);
}

QColor WindowTable::ButtonFace() { return QApplication::palette().color(QPalette::Button); }

void WindowTable::EnsureBacking(WindowRecord& record) {
  if (!record.client) return;
  const qreal ratio = record.client->devicePixelRatioF();
  const QSize size = (record.client->size() * ratio).expandedTo(QSize(1, 1));
  if (record.backing && record.backing->size() == size) return;
  record.backing = std::make_shared<QImage>(size, QImage::Format_RGB32);
  record.backing->setDevicePixelRatio(ratio);
  record.backing->fill(ButtonFace());
  record.inked->clear();
  record.dirty = true;
}

void WindowTable::PaintClient(std::uint64_t serial, PaintArea& area) {
  WindowRecord* record = Find(serial);
  if (record == nullptr || record->client != &area) {
    QPainter(&area).fillRect(area.rect(), ButtonFace());
    return;
  }
  EnsureBacking(*record);
  std::shared_ptr<QImage> image = record->backing;
  if (record->dirty) {
    record->dirty = false;
    image->fill(ButtonFace());
    record->inked->clear();
    const QSize size = area.size();
    QtContext dc(image, Rect{0, 0, size.width(), size.height()}, record->font, ButtonFace(), nullptr, record->inked);
    auto* context = static_cast<DeviceContext*>(&dc);
    Send(serial, kMsgEraseBackground, 0, reinterpret_cast<LParam>(context));
    Send(serial, kMsgPaint, 0, reinterpret_cast<LParam>(context));
  }
  QPainter(&area).drawImage(QPoint(0, 0), *image);
}

void WindowTable::RightButton(std::uint64_t serial, QPoint at) {
  const int x = std::clamp(at.x(), 0, 0xFFFF);
  const int y = std::clamp(at.y(), 0, 0xFFFF);
  Send(serial, kMsgRButtonDown, static_cast<WParam>(x) | (static_cast<WParam>(y) << 16));
}

}  // namespace ui::qt
