#pragma once

#include "platform/Desktop.h"

/// Folders and web addresses handed to the desktop through QDesktopServices.
class QtDesktop : public Desktop {
 public:
  void OpenFolder(const QString& path) override;
  void OpenWebAddress(const QString& address) override;
};
