#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "tag/ByteBlock.h"

/// Entries of a frame kind that may repeat (URLs, pictures), in order, with unique keys that
/// ignore letter case. Held through std::shared_ptr: the tag object and its callers share one list.
class MultiFrameData {
 public:
  /// The number of entries.
  int32_t Count() const { return static_cast<int32_t>(entries_.size()); }

  /// The entry at a 1-based position; std::out_of_range outside 1..Count.
  const std::u16string& Item(int32_t position) const;

  /// The bytes of a binary entry whose text is not made yet, so that a large picture can be
  /// written out without being widened first; nothing once Item has made its text.
  std::optional<std::string_view> HeldBytes(int32_t position) const;

  /// Replaces the entry at a 1-based position; the new entry has no key.
  void SetItem(int32_t position, const std::u16string& text);

  /// Adds the entry unless its key is present. Positions are 1-based; out-of-range ones
  /// insert at the nearest end, as the callers rely on.
  void Add(std::u16string entry, std::optional<int32_t> before = std::nullopt,
           std::optional<int32_t> after = std::nullopt, bool binary = false);

  /// Adds a binary entry at the end, given as file bytes: the same as Add of the bytes as
  /// characters, but the text is made only when Item asks for it.
  void AddBytes(ByteBlock bytes);
  void AddBytes(std::string_view bytes) { AddBytes(ByteBlock(bytes)); }

  /// Removes the entry at a 1-based position; std::out_of_range outside 1..Count.
  void Remove(int32_t position);

  /// Drops all entries and keys.
  void Clear();

  /// Inserts an entry without a key at a 0-based index (used by ReplaceItem).
  void InsertUnkeyed(size_t index, const std::u16string& text);
  void AppendUnkeyed(const std::u16string& text) { InsertUnkeyed(entries_.size(), text); }

 private:
  enum class PendingKey : uint8_t { kNone, kText, kBinary };

  static std::u16string CleanKey(const std::u16string& text);
  static std::u16string KeyOf(const std::u16string& entry, bool binary);
  void MakePendingKey();
  void CheckPosition(int32_t position) const;
  void Insert(size_t index, std::u16string text, std::optional<std::u16string> key);
  void MakeText(size_t index) const;

  mutable std::vector<std::u16string> entries_;
  mutable std::vector<ByteBlock> bytes_;  // an entry's bytes while its text is not made yet
  std::vector<std::optional<std::u16string>> keys_;  // folded key per entry
  std::unordered_map<std::u16string, int> key_count_;
  PendingKey pending_ = PendingKey::kNone;  // the key entries_.front() has but keys_ lacks yet
};
