#pragma once

#include "platform/Clipboard.h"

/// The system clipboard through Qt; an attempt counts as done when the clipboard reads back.
class QtClipboard : public Clipboard {
 public:
  bool Clear() override;
  bool SetText(const QString& text) override;
  bool SetTextAndHtml(const QString& text, const QString& html) override;
};
