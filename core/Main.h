#pragma once

#include <QChar>
#include <QDir>
#include <QString>

class FileSystem;

/// Path routines of the program. They take the separator so that both the platform's "/" and
/// the Windows "\" forms stay testable.
namespace Main {

inline const QChar kSeparator = QDir::separator();

/// The text after the last separator; the whole path when it holds none.
QString FileNameOfPath(const QString& path, QChar separator = kSeparator);

/// Doubled separators made single, in one left-to-right pass ("\\\" becomes "\\"). With "\" a
/// leading run of separators (a network path) becomes exactly two; with "/" a leading run is
/// collapsed like any other, since "/" paths have no network form.
QString CollapseBackslashes(const QString& path, QChar separator = kSeparator);

/// True when the path's attributes can be read and carry the directory bit; a link to a folder
/// counts as a folder. Never fails: any trouble answers false.
bool IsFolder(const FileSystem& files, const QString& path) noexcept;

}  // namespace Main
