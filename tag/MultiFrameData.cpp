#include "tag/MultiFrameData.h"

#include <stdexcept>

#include "tag/CaseFold.h"
#include "tag/CodePage.h"
#include "tag/modCollection.h"

const std::u16string& MultiFrameData::Item(int32_t position) const {
  CheckPosition(position);
  MakeText(static_cast<size_t>(position - 1));
  return entries_[position - 1];
}

std::optional<std::string_view> MultiFrameData::HeldBytes(int32_t position) const {
  CheckPosition(position);
  const ByteBlock& bytes = bytes_[static_cast<size_t>(position - 1)];
  if (bytes.empty()) return std::nullopt;
  return bytes.View();
}

void MultiFrameData::MakeText(size_t index) const {
  if (bytes_[index].empty()) return;
  entries_[index] = CodePage::BytesToText(bytes_[index].View());
  bytes_[index] = ByteBlock();
}

void MultiFrameData::AddBytes(ByteBlock bytes) {
  // A tag's picture is seldom looked at by the batch: widening it would cost more than reading it.
  if (entries_.empty()) {
    Insert(0, std::u16string(), std::nullopt);
    bytes_.front() = std::move(bytes);
    pending_ = PendingKey::kBinary;
    return;
  }
  Add(CodePage::BytesToText(bytes.View()), std::nullopt, std::nullopt, true);
}

void MultiFrameData::SetItem(int32_t position, const std::u16string& text) {
  modCollection::ReplaceItem(*this, position, text);
}

std::u16string MultiFrameData::CleanKey(const std::u16string& text) {
  const size_t first = text.find_first_not_of(u' ');
  if (first == std::u16string::npos) return {};
  const size_t last = text.find_last_not_of(u' ');
  std::u16string trimmed = text.substr(first, last - first + 1);
  return trimmed.substr(0, trimmed.find(u'\0'));
}

std::u16string MultiFrameData::KeyOf(const std::u16string& entry, bool binary) {
  // Built in place: a picture's key is as long as the picture.
  std::u16string key;
  if (binary) {
    key.reserve(entry.size() + 2);
    key += u"I_";
    key += entry;
  } else {
    key = u"I_" + CleanKey(entry);
  }
  LowerCaseInPlace(key);
  return key;
}

void MultiFrameData::MakePendingKey() {
  if (pending_ == PendingKey::kNone) return;
  const bool binary = pending_ == PendingKey::kBinary;
  pending_ = PendingKey::kNone;
  MakeText(0);
  std::u16string key = KeyOf(entries_.front(), binary);
  ++key_count_[key];
  keys_.front() = std::move(key);
}

void MultiFrameData::Add(std::u16string entry, std::optional<int32_t> before,
                         std::optional<int32_t> after, bool binary) {
  // The first entry of a list needs its key only when a second one arrives, and most lists
  // (a tag's one picture) never get one: folding a picture costs more than reading it.
  if (entries_.empty()) {
    Insert(0, std::move(entry), std::nullopt);
    pending_ = binary ? PendingKey::kBinary : PendingKey::kText;
    return;
  }
  MakePendingKey();
  std::u16string key = KeyOf(entry, binary);
  if (key_count_.count(key)) return;
  const auto count = static_cast<int64_t>(entries_.size());
  size_t index = entries_.size();
  if (count > 0) {
    if (before) {
      if (*before < 1)
        index = 0;
      else if (*before <= count)
        index = static_cast<size_t>(*before - 1);
    } else if (after) {
      if (*after < 1)
        index = 1;
      else if (*after <= count)
        index = static_cast<size_t>(*after);
    }
  }
  Insert(index, std::move(entry), std::move(key));
}

void MultiFrameData::Remove(int32_t position) {
  CheckPosition(position);
  MakePendingKey();
  const size_t index = static_cast<size_t>(position - 1);
  if (const auto& key = keys_[index]) {
    if (--key_count_[*key] == 0) key_count_.erase(*key);
  }
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
  bytes_.erase(bytes_.begin() + static_cast<std::ptrdiff_t>(index));
  keys_.erase(keys_.begin() + static_cast<std::ptrdiff_t>(index));
}

void MultiFrameData::Clear() {
  entries_.clear();
  bytes_.clear();
  keys_.clear();
  key_count_.clear();
  pending_ = PendingKey::kNone;
}

void MultiFrameData::InsertUnkeyed(size_t index, const std::u16string& text) {
  MakePendingKey();
  Insert(index, text, std::nullopt);
}

void MultiFrameData::CheckPosition(int32_t position) const {
  if (position < 1 || position > Count()) throw std::out_of_range("Subscript out of range");
}

void MultiFrameData::Insert(size_t index, std::u16string text, std::optional<std::u16string> key) {
  if (key) ++key_count_[*key];
  entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(index), std::move(text));
  bytes_.insert(bytes_.begin() + static_cast<std::ptrdiff_t>(index), ByteBlock());
  keys_.insert(keys_.begin() + static_cast<std::ptrdiff_t>(index), std::move(key));
}
