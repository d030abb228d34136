#include "batch/LegacyText.h"

#include <iconv.h>
#include <uchardet.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

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

// A uchardet detector, made when the object is.
struct Detector {
  Detector() = default;
  Detector(const Detector&) = delete;
  Detector& operator=(const Detector&) = delete;
  ~Detector() {
    if (handle) uchardet_delete(handle);
  }
  uchardet_t handle = uchardet_new();
};

// Objects of one kind lent to one thread at a time, made when none is free.
template <class T>
class Shelf {
 public:
  template <class Use>
  auto With(Use&& use) {
    std::unique_ptr<T> lent;
    {
      std::lock_guard lock(mutex_);
      if (!free_.empty()) {
        lent = std::move(free_.back());
        free_.pop_back();
      }
    }
    if (!lent) lent = std::make_unique<T>();
    struct Return {
      Shelf& shelf;
      std::unique_ptr<T>& lent;
      ~Return() {
        std::lock_guard lock(shelf.mutex_);
        shelf.free_.push_back(std::move(lent));
      }
    } back{*this, lent};
    return use(*lent);
  }

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<T>> free_;
};

// Detectors and converters for the decoders of one run. A reading thread that starts only to
// wait on a cold disk would otherwise make a detector and open converters of its own; lent,
// there are only as many as threads decode at once.
struct Lender {
  Shelf<Detector> detectors;
  Shelf<Converters> converters;
};

class IconvDecoder : public LegacyTextDecoder {
 public:
  // `code_page` empty: each file's is detected.
  explicit IconvDecoder(std::string code_page,
                        std::shared_ptr<Lender> lender = std::make_shared<Lender>())
      : fixed_(std::move(code_page)), lender_(std::move(lender)) {}
  IconvDecoder(const IconvDecoder&) = delete;
  IconvDecoder& operator=(const IconvDecoder&) = delete;

  std::shared_ptr<LegacyTextDecoder> Another() const override {
    return std::make_shared<IconvDecoder>(fixed_, lender_);
  }

  bool Usable(const std::string& code_page) {
    return lender_->converters.With(
        [&](Converters& converters) { return converters.For(code_page) != Converters::kNone; });
  }

  std::string CodePageFor(std::string_view bytes) override {
    if (!fixed_.empty()) return fixed_;
    if (bytes.empty()) return {};
    const std::string found = lender_->detectors.With([&](Detector& lent) -> std::string {
      uchardet_t detector = lent.handle;
      if (!detector) return {};
      uchardet_reset(detector);
      if (uchardet_handle_data(detector, bytes.data(), bytes.size()) != 0) return {};
      uchardet_data_end(detector);
      return uchardet_get_charset(detector);
    });
    // ASCII and Latin-1 read as Windows-1252 always did (which is Latin-1 with more letters
    // where Latin-1 has only control codes), so they stay on the engine's own road.
    if (found.empty() || found == "ASCII" || found == "ISO-8859-1" || IsDefault(found)) return {};
    return Usable(found) ? found : std::string();
  }

  bool Decode(const std::string& code_page, std::string_view bytes, std::u16string& text) override {
    return lender_->converters.With(
        [&](Converters& converters) { return Decode(converters, code_page, bytes, text); });
  }

  std::string Encode(const std::string& code_page, std::u16string_view text) override {
    return lender_->converters.With(
        [&](Converters& converters) { return Encode(converters, code_page, text); });
  }

 private:
  static bool Decode(Converters& converters, const std::string& code_page, std::string_view bytes,
                     std::u16string& text) {
    const iconv_t cd = converters.For(code_page);
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

  static std::string Encode(Converters& converters, const std::string& code_page,
                            std::u16string_view text) {
    std::string bytes;
    const iconv_t cd = converters.Back(code_page);
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

  std::string fixed_;
  std::shared_ptr<Lender> lender_;
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

std::vector<std::shared_ptr<LegacyTextDecoder>> OnePerThread(
    const std::shared_ptr<LegacyTextDecoder>& decoder, size_t count) {
  std::vector<std::shared_ptr<LegacyTextDecoder>> decoders(count);
  for (size_t i = 0; i < count && decoder; ++i) decoders[i] = i == 0 ? decoder : decoder->Another();
  return decoders;
}

std::string ShownName(std::string_view code_page) {
  return code_page.empty() ? std::string(kDefault) : Lower(code_page);
}

}  // namespace LegacyText
