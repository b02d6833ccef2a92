// The port selector: a drop-down list that lets the window rebuild its items
// just before it opens.
#pragma once

#include <QComboBox>

#include <functional>

class PortComboBox : public QComboBox {
 public:
  using QComboBox::QComboBox;

  std::function<void()> onDropDown;

  // The window is never narrower than the longest port label (with AdjustToContents).
  QSize minimumSizeHint() const override { return sizeHint(); }

  void showPopup() override {
    if (onDropDown) onDropDown();
    QComboBox::showPopup();
  }
};
