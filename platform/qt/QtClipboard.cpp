#include "platform/qt/QtClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

bool QtClipboard::Clear() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard == nullptr) return false;
  clipboard->clear();
  return clipboard->text().isEmpty();
}

bool QtClipboard::SetTextAndHtml(const QString& text, const QString& html) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard == nullptr) return false;
  auto* data = new QMimeData;
  data->setText(text);
  data->setHtml(html);
  clipboard->setMimeData(data);  // the clipboard owns it now
  return clipboard->text() == text;
}

bool QtClipboard::SetText(const QString& text) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard == nullptr) return false;
  clipboard->setText(text);
  return clipboard->text() == text;
}
