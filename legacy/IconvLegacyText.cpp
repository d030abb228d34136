#include "legacy/IconvLegacyText.h"

#include <iconv.h>
#include <uchardet.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <vector>

#include "legacy/LegacyGuess.h"
#include "tag/CodePage.h"

namespace LegacyText {
namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

// Converters run between the code page and UCS-4, which glibc converts by itself: a UTF-16
// converter would be one more module to load into every run, and one more step a call.
constexpr const char* kUcs4 = "UCS-4LE";

char32_t Ucs4At(const unsigned char* at) {
  return char32_t{at[0]} | char32_t{at[1]} << 8 | char32_t{at[2]} << 16 | char32_t{at[3]} << 24;
}

void PutUcs4(unsigned char* at, char32_t c) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(c >> (8 * i));
}

// `bytes` read through `cd`, a converter to UCS-4, into UTF-16. A byte the code page does not
// know, or a character cut off at the end, becomes U+FFFD; false if iconv fails otherwise.
bool DecodeWith(iconv_t cd, std::string_view bytes, std::u16string& text) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  text.clear();
  char* in = const_cast<char*>(bytes.data());
  size_t in_left = bytes.size();
  unsigned char chunk[1024];
  while (in_left > 0) {
    char* out = reinterpret_cast<char*>(chunk);
    size_t out_left = sizeof chunk;
    const size_t done = iconv(cd, &in, &in_left, &out, &out_left);
    const int error = done == static_cast<size_t>(-1) ? errno : 0;
    for (const unsigned char* at = chunk; at < reinterpret_cast<unsigned char*>(out); at += 4) {
      const char32_t c = Ucs4At(at);
      if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        // UTF-16 has no room for it, and a half pair alone is no character.
        text.push_back(u'\uFFFD');
      } else if (c >= 0x10000) {
        text.push_back(static_cast<char16_t>(0xD7C0 + (c >> 10)));
        text.push_back(static_cast<char16_t>(0xDC00 | (c & 0x3FF)));
      } else {
        text.push_back(static_cast<char16_t>(c));
      }
    }
    if (error == E2BIG) continue;
    if (error == EILSEQ || error == EINVAL) {
      text.push_back(u'\uFFFD');
      // A stateful code page may take in the byte it then fails on (a lone shift at the end).
      if (in_left > 0) {
        ++in;
        --in_left;
      }
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    } else if (error != 0) {
      return false;
    }
  }
  return true;
}

// `text` written through `cd`, a converter from UCS-4, as tag writers do: "?" for each UTF-16
// unit of a character the code page cannot hold, and for a lone surrogate.
std::string EncodeWith(iconv_t cd, std::u16string_view text) {
  std::string bytes;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  // Characters go to iconv a few dozen at a time from the stack; the converter keeps its state
  // from one batch to the next.
  constexpr size_t kBatch = 64;
  unsigned char ucs4[4 * kBatch];
  unsigned char units[kBatch];  // UTF-16 units a character, to skip one that fails
  size_t at = 0;
  while (at < text.size()) {
    // The next characters, up to a lone surrogate, which no code page holds.
    size_t count = 0;
    bool lone = false;
    for (; at < text.size() && count < kBatch; ++at) {
      const char16_t c = text[at];
      char32_t code = c;
      if (c >= 0xD800 && c <= 0xDFFF) {
        if (c >= 0xDC00 || at + 1 == text.size() || text[at + 1] < 0xDC00 ||
            text[at + 1] > 0xDFFF) {
          lone = true;
          break;
        }
        code = 0x10000 + ((char32_t{c} - 0xD800) << 10) + (text[at + 1] - 0xDC00);
        ++at;
      }
      PutUcs4(ucs4 + 4 * count, code);
      units[count++] = code >= 0x10000 ? 2 : 1;
    }
    char* in = reinterpret_cast<char*>(ucs4);
    size_t in_left = 4 * count;
    char chunk[256];
    while (in_left > 0) {
      char* out = chunk;
      size_t out_left = sizeof chunk;
      const size_t done = iconv(cd, &in, &in_left, &out, &out_left);
      const int error = done == static_cast<size_t>(-1) ? errno : 0;
      bytes.append(chunk, static_cast<size_t>(out - chunk));
      if (error == E2BIG) continue;
      if (error == EILSEQ || error == EINVAL) {
        if (in_left < 4) {  // a stateful code page took the character in before it failed
          bytes.push_back('?');
          break;
        }
        bytes.append(units[(4 * count - in_left) / 4], '?');
        in += 4;
        in_left -= 4;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
      } else if (error != 0) {
        return bytes;
      }
    }
    if (lone) {
      bytes.push_back('?');
      ++at;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return bytes;
}

// iconv converters by code page, opened once per run rather than once per field.
class Converters {
 public:
  explicit Converters(ConverterOpener opener) : opener_(opener) {}
  Converters(const Converters&) = delete;
  Converters& operator=(const Converters&) = delete;
  ~Converters() {
    for (auto* table : {&open_, &back_})
      for (auto& [name, cd] : table->by_name)
        if (cd != kNone) iconv_close(cd);
  }

  // kNone when the converter cannot be opened; `error` then says why, EINVAL for a code page
  // iconv does not know.
  iconv_t For(const std::string& code_page, int& error) {
    return Open(open_, code_page, true, error);
  }
  iconv_t Back(const std::string& code_page, int& error) {
    return Open(back_, code_page, false, error);
  }
  iconv_t For(const std::string& code_page) {
    int error = 0;
    return For(code_page, error);
  }
  iconv_t Back(const std::string& code_page) {
    int error = 0;
    return Back(code_page, error);
  }

  // Whether the code page writes every ASCII character as its own byte, as all but a few
  // (UTF-16, UTF-7, EBCDIC) do; asked of iconv once per code page. False also when its
  // converter cannot be opened: `error` then says why.
  bool KeepsAscii(const std::string& code_page, int& error) {
    error = 0;
    if (last_keeps_ascii_ && last_keeps_ascii_->first == code_page)
      return last_keeps_ascii_->second;
    auto at = keeps_ascii_.find(code_page);
    if (at == keeps_ascii_.end()) {
      std::u16string ascii;
      std::string bytes;
      for (int c = 0; c < 0x80; ++c) {
        ascii.push_back(static_cast<char16_t>(c));
        bytes.push_back(static_cast<char>(c));
      }
      const iconv_t cd = Back(code_page, error);
      // A converter that could not be loaded now says nothing of the code page: not remembered.
      if (cd == kNone && error != EINVAL) return false;
      at = keeps_ascii_.emplace(code_page, cd != kNone && EncodeWith(cd, ascii) == bytes).first;
    }
    last_keeps_ascii_ = &*at;
    return at->second;
  }

  static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);

 private:
  // The converter between UCS-4 and the code page, one way or the other. A file's fields ask
  // for the same one in turn, so the last one is kept at hand.
  struct Opened {
    std::map<std::string, iconv_t> by_name;
    const std::string* last_name = nullptr;
    iconv_t last = kNone;
  };
  iconv_t Open(Opened& open, const std::string& code_page, bool reading, int& error) {
    error = 0;
    if (open.last_name && *open.last_name == code_page) {
      if (open.last == kNone) error = EINVAL;
      return open.last;
    }
    auto at = open.by_name.find(code_page);
    if (at == open.by_name.end()) {
      const char* to = reading ? kUcs4 : code_page.c_str();
      const char* from = reading ? code_page.c_str() : kUcs4;
      errno = 0;
      const iconv_t cd = opener_ ? static_cast<iconv_t>(opener_(to, from)) : iconv_open(to, from);
      error = cd == kNone ? errno : 0;
      // Only a code page iconv does not know stays unknown; one it could not load now (no
      // descriptor or memory left) is asked for again next time.
      if (cd == kNone && error != EINVAL) return kNone;
      at = open.by_name.emplace(code_page, cd).first;
    } else if (at->second == kNone) {
      error = EINVAL;
    }
    open.last_name = &at->first;
    open.last = at->second;
    return at->second;
  }

  ConverterOpener opener_;

  Opened open_;
  Opened back_;
  std::map<std::string, bool> keeps_ascii_;
  const std::pair<const std::string, bool>* last_keeps_ascii_ = nullptr;
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
  explicit Shelf(std::function<std::unique_ptr<T>()> make) : make_(std::move(make)) {}

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
    if (!lent) lent = make_();
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
  std::function<std::unique_ptr<T>()> make_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<T>> free_;
};

// Detectors and converters of one decoder, which every reading thread of a run calls at once:
// each is lent to one thread at a time, so there are only as many as threads decode at once.
struct Lender {
  explicit Lender(ConverterOpener opener)
      : converters([opener] { return std::make_unique<Converters>(opener); }) {}
  Shelf<Detector> detectors{[] { return std::make_unique<Detector>(); }};
  Shelf<Converters> converters;
};

// What the "Decoded as" column says of a code page whose converter could not be opened.
std::string Unusable(const std::string& code_page, int error) {
  std::string text = ShownName(code_page) + " could not be used";
  if (error != 0) text += " (" + std::generic_category().message(error) + ")";
  return text;
}

class IconvDecoder : public LegacyTextDecoder {
 public:
  // `code_page` empty: each file's is detected.
  IconvDecoder(std::string code_page, ConverterOpener opener)
      : fixed_(std::move(code_page)), lender_(std::make_shared<Lender>(opener)) {}
  IconvDecoder(const IconvDecoder&) = delete;
  IconvDecoder& operator=(const IconvDecoder&) = delete;

  bool KeepsAscii(const std::string& code_page, int& error) {
    return lender_->converters.With(
        [&](Converters& converters) { return converters.KeepsAscii(code_page, error); });
  }

  // Whether the code page's reading converter opens; `error` says why not.
  bool Usable(const std::string& code_page, int& error) {
    return lender_->converters.With([&](Converters& converters) {
      return converters.For(code_page, error) != Converters::kNone;
    });
  }

  std::string CodePageFor(std::string_view bytes, std::string& problem) override {
    if (!fixed_.empty()) {
      int error = 0;
      if (Usable(fixed_, error)) return fixed_;
      problem = Unusable(fixed_, error);
      return {};
    }
    const std::string sample = LegacyGuess::Sample(bytes);
    if (sample.empty()) return {};
    const std::string found = lender_->detectors.With([&](Detector& lent) -> std::string {
      uchardet_t detector = lent.handle;
      if (!detector) return {};
      std::string charset;
      if (uchardet_handle_data(detector, sample.data(), sample.size()) == 0) {
        uchardet_data_end(detector);
        charset = uchardet_get_charset(detector);
      }
      // Reset now, while its probers are in the cache, rather than at the next file's turn,
      // by when they have been pushed out: a detector is shelved ready for its next use.
      uchardet_reset(detector);
      return charset;
    });
    // ASCII and Latin-1 read as Windows-1252 always did (which is Latin-1 with more letters
    // where Latin-1 has only control codes), so they stay on the engine's own road.
    if (found.empty() || found == "ASCII" || found == "ISO-8859-1" || IsDefault(found)) return {};
    if (LegacyGuess::NeverForEightBitText(found)) return {};
    // A code page iconv does not know is no better guess than Windows-1252; one it cannot load
    // now is a guess that could not be checked, which the column says rather than hide it.
    int error = 0;
    if (!Usable(found, error) || !KeepsAscii(found, error)) {
      if (error != 0 && error != EINVAL) problem = Unusable(found, error);
      return {};
    }
    // Windows-1252 reads most tags right: the guess must read clearly better to replace it.
    std::u16string detected;
    if (!Decode(found, sample, detected)) {
      problem = Unusable(found, 0);
      return {};
    }
    if (!LegacyGuess::ClearlyBetter(CodePage::BytesToText(sample), detected)) return {};
    return found;
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
    return cd != Converters::kNone && DecodeWith(cd, bytes, text);
  }

  static std::string Encode(Converters& converters, const std::string& code_page,
                            std::u16string_view text) {
    const iconv_t cd = converters.Back(code_page);
    if (cd == Converters::kNone) return {};
    // Plain ASCII needs no converter in a code page that keeps it.
    int error = 0;
    if (std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; }) &&
        converters.KeepsAscii(code_page, error))
      return std::string(text.begin(), text.end());
    return EncodeWith(cd, text);
  }

  std::string fixed_;
  std::shared_ptr<Lender> lender_;
};

}  // namespace

bool IsDefault(std::string_view setting) {
  const std::string name = Lower(setting);
  return name.empty() || name == kDefault || name == "cp1252" || name == "windows1252";
}

std::shared_ptr<LegacyTextDecoder> DecoderFor(std::string_view setting, std::string& problem,
                                              ConverterOpener opener) {
  if (IsDefault(setting)) return nullptr;
  if (Lower(setting) == kDetect) return std::make_shared<IconvDecoder>(std::string(), opener);
  const std::string name(setting);
  // iconv reads "//IGNORE" and "//TRANSLIT" as ways to convert, not as part of the name: they
  // would drop or guess characters rather than show what the bytes hold.
  if (name.find('/') != std::string::npos) {
    problem = "'" + name + "' is not a code page: give its name without iconv's // suffixes";
    return nullptr;
  }
  auto decoder = std::make_shared<IconvDecoder>(name, opener);
  int error = 0;
  if (!decoder->Usable(name, error)) {
    problem = error == EINVAL
                  ? "the code page '" + name + "' is not one iconv knows (iconv -l lists them)"
                  : "the code page '" + name +
                        "' could not be loaded: " + std::generic_category().message(error);
    return nullptr;
  }
  // Legacy fields are 8-bit text ended by a NUL byte, in which ASCII stands for itself.
  if (!decoder->KeepsAscii(name, error)) {
    if (error != 0 && error != EINVAL) {
      problem = "the code page '" + name +
                "' could not be loaded: " + std::generic_category().message(error);
      return nullptr;
    }
    problem = "'" + name +
              "' is no legacy code page: it does not write ASCII as it is (as UTF-16, UTF-32, "
              "UCS-4, UTF-7 and EBCDIC do not)";
    return nullptr;
  }
  return decoder;
}

std::string ShownName(std::string_view code_page) {
  return code_page.empty() ? std::string(kDefault) : Lower(code_page);
}

}  // namespace LegacyText
