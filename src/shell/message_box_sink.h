#pragma once
// Messages and questions of the workspace and core shown as message boxes.

#include <QWidget>

#include "core/messages.h"

namespace vistrel {

class CMessageBoxSink : public IMessageSink {
  public:
    explicit CMessageBoxSink(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }
    void show(const std::string& text) override;
    int ask(const std::string& text, const std::vector<std::string>& choices) override;

  private:
    QWidget* parent_;
};

}  // namespace vistrel
