// Writing and removal arrive with the tag writer; until then a write changes nothing.
#include "tag/clsID3.h"

void clsID3::UpdateID3Tags() noexcept {
  last_write_ok_ = false;
  last_write_error_ = "writing tags is not available yet";
}

void clsID3::DeleteID3Tags() noexcept {
  last_write_ok_ = false;
  last_write_error_ = "removing tags is not available yet";
}

void clsID3::SetFileSystem(std::shared_ptr<TagFileSystem> fs) noexcept { file_system_ = std::move(fs); }
