#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <string>
#include <string_view>

#include "core/FileNameText.h"

/// FileNameText for Qt's strings: how every path the program opens turns from text into the
/// bytes the system knows and back.
namespace FileNames {

// Most names are ASCII, which reads the same in every one of these forms: they skip the
// decoder, for a scan of many thousands of names.
inline bool IsAscii(std::string_view bytes) {
  for (const char c : bytes)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

inline QString ToText(std::string_view bytes) {
  if (IsAscii(bytes))
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
  const std::u16string text = FileNameText::Decode(bytes);
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string ToStdBytes(QStringView text) {
  std::string bytes(static_cast<size_t>(text.size()), '\0');
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i].unicode();
    if (unit >= 0x80)
      return FileNameText::Encode(
          std::u16string_view(text.utf16(), static_cast<size_t>(text.size())));
    bytes[static_cast<size_t>(i)] = static_cast<char>(unit);
  }
  return bytes;
}

inline QByteArray ToBytes(QStringView text) { return QByteArray::fromStdString(ToStdBytes(text)); }

}  // namespace FileNames
