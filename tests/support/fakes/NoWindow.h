#pragma once

#include "platform/MainWindowPort.h"

/// A window that takes start-up's calls and shows nothing, for tests of Form1's handlers.
class NoWindow : public MainWindowPort {
 public:
  void ApplySkin(const QString&) override {}
  void SetCaption(const QString&) override {}
  void ShowProgramIcon() override {}
  void LoadHoverPicture(const QString&) override {}
};
