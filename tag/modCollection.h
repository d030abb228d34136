#pragma once

#include <cstdint>
#include <string>

class MultiFrameData;

namespace modCollection {

/// Replaces the entry at a 1-based position, keeping its place; the new entry has no key.
/// std::out_of_range outside the list, which is then unchanged.
void ReplaceItem(MultiFrameData& list, int32_t position, const std::u16string& value);

}  // namespace modCollection
