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

inline QString ToText(std::string_view bytes) {
  const std::u16string text = FileNameText::Decode(bytes);
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string ToStdBytes(QStringView text) {
  return FileNameText::Encode(std::u16string_view(text.utf16(), static_cast<size_t>(text.size())));
}

inline QByteArray ToBytes(QStringView text) { return QByteArray::fromStdString(ToStdBytes(text)); }

}  // namespace FileNames
