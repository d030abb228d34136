#include "tag/modCollection.h"

#include "tag/MultiFrameData.h"

namespace modCollection {

void ReplaceItem(MultiFrameData& list, int32_t position, const std::u16string& value) {
  const int32_t n = list.Count();
  list.Remove(position);
  if (position < n && n > 1) {
    list.InsertUnkeyed(static_cast<size_t>(position - 1), value);
  } else {
    list.AppendUnkeyed(value);
  }
}

}  // namespace modCollection
