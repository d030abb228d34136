#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <string>
#include <string_view>

#include "export/TextOutput.h"
#include "tag/FileReplacement.h"
#include "tag/TagFileSystem.h"

/// A file written beside its final place and renamed over it once complete, so a write that
/// fails half-way (disk full, a removed stick) leaves an existing file of that name as it was.
/// A path that is a symbolic link replaces the file the link names and keeps the link; an
/// existing file's permissions are kept. Every failure throws StepFailure naming the path.
class ReplacingFile : public TextOutput {
 public:
  /// Creates the new file beside `path`; the file layer is the real one unless a test gives one.
  explicit ReplacingFile(const QString& path, std::shared_ptr<TagFileSystem> files = nullptr);
  /// Removes the half-built file unless Commit succeeded.
  ~ReplacingFile() override = default;
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  /// Appends bytes; they reach the disk in large pieces.
  void Write(const QByteArray& bytes);
  void Write(std::string_view bytes) override;
  /// Writes what is left, brings it to the disk and puts the file in place of the old one.
  void Commit() override;
  /// Drops the new file; the old one stays.
  void Abandon() noexcept;

 private:
  void Fail(const std::string& reason);
  void Drain();

  std::shared_ptr<TagFileSystem> files_;
  std::string target_;
  bool existed_ = false;
  TagFileSystem::FileInfo info_;
  std::unique_ptr<FileReplacement> out_;
  std::string buffer_;
};
