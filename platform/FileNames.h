#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <string>
#include <string_view>

#include "text/FileNameText.h"

/// FileNameText for Qt's strings: how every path the program opens turns from text into the
/// bytes the system knows and back.
namespace FileNames {

// Most names are ASCII, which reads the same in every one of these forms: they skip the
// decoder, for a scan of many thousands of names.
inline bool IsAscii(std::string_view bytes) {
  // Blocks or-ed together, which the compiler turns into vector code, and one test a block.
  unsigned char any = 0;
  size_t i = 0;
  for (; i + 32 <= bytes.size(); i += 32) {
    for (size_t j = 0; j < 32; ++j) any |= static_cast<unsigned char>(bytes[i + j]);
    if (any >= 0x80) return false;
  }
  for (; i < bytes.size(); ++i) any |= static_cast<unsigned char>(bytes[i]);
  return any < 0x80;
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
