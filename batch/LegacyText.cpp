#include "batch/LegacyText.h"

#include <iconv.h>
#include <uchardet.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <map>

namespace LegacyText {
namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

// iconv converters by code page, opened once per run rather than once per field.
class Converters {
 public:
  Converters() = default;
  Converters(const Converters&) = delete;
  Converters& operator=(const Converters&) = delete;
  ~Converters() {
    for (auto* table : {&open_, &back_})
      for (auto& [name, cd] : *table)
        if (cd != kNone) iconv_close(cd);
  }

  // kNone when iconv does not know the code page.
  iconv_t For(const std::string& code_page) { return Open(open_, "UTF-16LE", code_page); }
  iconv_t Back(const std::string& code_page) { return Open(back_, code_page, "UTF-16LE"); }

  static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);

 private:
  static iconv_t Open(std::map<std::string, iconv_t>& open, const std::string& to,
                      const std::string& from) {
    const std::string& key = to == "UTF-16LE" ? from : to;
    auto at = open.find(key);
    if (at == open.end()) at = open.emplace(key, iconv_open(to.c_str(), from.c_str())).first;
    return at->second;
  }

  std::map<std::string, iconv_t> open_;
  std::map<std::string, iconv_t> back_;
};

class IconvDecoder : public LegacyTextDecoder {
 public:
  // `code_page` empty: each file's is detected.
  explicit IconvDecoder(std::string code_page) : fixed_(std::move(code_page)) {}
  IconvDecoder(const IconvDecoder&) = delete;
  IconvDecoder& operator=(const IconvDecoder&) = delete;
  ~IconvDecoder() override {
    if (detector_) uchardet_delete(detector_);
  }

  std::shared_ptr<LegacyTextDecoder> Another() const override {
    return std::make_shared<IconvDecoder>(fixed_);
  }

  bool Usable(const std::string& code_page) {
    return converters_.For(code_page) != Converters::kNone;
  }

  std::string CodePageFor(std::string_view bytes) override {
    if (!fixed_.empty()) return fixed_;
    if (bytes.empty()) return {};
    if (!detector_) detector_ = uchardet_new();
    if (!detector_) return {};
    uchardet_reset(detector_);
    if (uchardet_handle_data(detector_, bytes.data(), bytes.size()) != 0) return {};
    uchardet_data_end(detector_);
    const std::string found = uchardet_get_charset(detector_);
    // ASCII and Latin-1 read as Windows-1252 always did (which is Latin-1 with more letters
    // where Latin-1 has only control codes), so they stay on the engine's own road.
    if (found.empty() || found == "ASCII" || found == "ISO-8859-1" || IsDefault(found)) return {};
    return Usable(found) ? found : std::string();
  }

  bool Decode(const std::string& code_page, std::string_view bytes, std::u16string& text) override {
    const iconv_t cd = converters_.For(code_page);
    if (cd == Converters::kNone) return false;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    text.clear();
    char* in = const_cast<char*>(bytes.data());
    size_t in_left = bytes.size();
    char16_t units[256];
    while (in_left > 0) {
      char* out = reinterpret_cast<char*>(units);
      size_t out_left = sizeof units;
      const size_t done = iconv(cd, &in, &in_left, &out, &out_left);
      const int error = done == static_cast<size_t>(-1) ? errno : 0;
      text.append(units, static_cast<size_t>(out - reinterpret_cast<char*>(units)) / 2);
      if (error == E2BIG) continue;
      if (error == EILSEQ || error == EINVAL) {
        // A byte the code page does not know, or a character cut off at the end of a field.
        text.push_back(u'\uFFFD');
        ++in;
        --in_left;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
      } else if (error != 0) {
        return false;
      }
    }
    return true;
  }

  std::string Encode(const std::string& code_page, std::u16string_view text) override {
    std::string bytes;
    const iconv_t cd = converters_.Back(code_page);
    if (cd == Converters::kNone) return bytes;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = reinterpret_cast<char*>(const_cast<char16_t*>(text.data()));
    size_t in_left = text.size() * 2;
    char chunk[256];
    while (in_left > 0) {
      char* out = chunk;
      size_t out_left = sizeof chunk;
      const size_t done = iconv(cd, &in, &in_left, &out, &out_left);
      const int error = done == static_cast<size_t>(-1) ? errno : 0;
      bytes.append(chunk, static_cast<size_t>(out - chunk));
      if (error == E2BIG) continue;
      if (error == EILSEQ || error == EINVAL) {
        bytes.push_back('?');
        const size_t unit = std::min<size_t>(2, in_left);
        in += unit;
        in_left -= unit;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
      } else if (error != 0) {
        break;
      }
    }
    return bytes;
  }

 private:
  std::string fixed_;
  uchardet_t detector_ = nullptr;
  Converters converters_;
};

}  // namespace

bool IsDefault(std::string_view setting) {
  const std::string name = Lower(setting);
  return name.empty() || name == kDefault || name == "cp1252" || name == "windows1252";
}

std::shared_ptr<LegacyTextDecoder> DecoderFor(std::string_view setting, std::string& problem) {
  if (IsDefault(setting)) return nullptr;
  if (Lower(setting) == kDetect) return std::make_shared<IconvDecoder>(std::string());
  auto decoder = std::make_shared<IconvDecoder>(std::string(setting));
  if (!decoder->Usable(std::string(setting))) {
    problem =
        "the code page '" + std::string(setting) + "' is not one iconv knows (iconv -l lists them)";
    return nullptr;
  }
  return decoder;
}

std::string ShownName(std::string_view code_page) {
  return code_page.empty() ? std::string(kDefault) : Lower(code_page);
}

}  // namespace LegacyText
