#include "platform/qt/QtClipboard.h"

#include <QClipboard>
#include <QGuiApplication>

bool QtClipboard::Clear() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard == nullptr) return false;
  clipboard->clear();
  return clipboard->text().isEmpty();
}

bool QtClipboard::SetText(const QString& text) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard == nullptr) return false;
  clipboard->setText(text);
  return clipboard->text() == text;
}
