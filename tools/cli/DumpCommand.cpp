// `tagloom-cli dump`: one JSON line per file with every field, flag and audio property.
#include <algorithm>
#include <cstdio>
#include <iostream>

#include "tag/CodePage.h"
#include "tag/clsID3.h"
#include "tools/cli/CliArgs.h"
#include "tools/cli/Commands.h"
#include "tools/cli/JsonText.h"

namespace {

void Key(std::string& out, const char* name) {
  out += ",\"";
  out += name;
  out += "\":";
}

void Text(std::string& out, const char* name, std::u16string_view value) {
  Key(out, name);
  JsonText::AppendString(out, value);
}

void List(std::string& out, const char* name, const std::shared_ptr<MultiFrameData>& list) {
  Key(out, name);
  out.push_back('[');
  for (int32_t i = 1; list && i <= list->Count(); ++i) {
    if (i > 1) out.push_back(',');
    JsonText::AppendString(out, list->Item(i));
  }
  out.push_back(']');
}

// A multiple of 3, so the pieces' base64 joins into the whole picture's.
constexpr size_t kPicturePiece = 3 * 256 * 1024;

// Pictures go out as they are encoded, a piece at a time: one may be hundreds of megabytes, and
// neither its text nor its base64 is held whole.
void Pictures(std::string& out, const std::shared_ptr<MultiFrameData>& list, std::FILE* to) {
  Key(out, "AttachedPictures");
  out.push_back('[');
  for (int32_t i = 1; list && i <= list->Count(); ++i) {
    if (i > 1) out.push_back(',');
    out.push_back('"');
    const auto held = list->HeldBytes(i);
    const std::u16string_view text = held ? std::u16string_view() : list->Item(i);
    const size_t size = held ? held->size() : text.size();
    for (size_t at = 0; at < size; at += kPicturePiece) {
      const size_t n = std::min(kPicturePiece, size - at);
      JsonText::AppendBase64(
          out,
          held ? held->substr(at, n) : std::string_view(CodePage::TextToBytes(text.substr(at, n))));
      if (out.size() >= kPicturePiece) {
        std::fwrite(out.data(), 1, out.size(), to);
        out.clear();
      }
    }
    out.push_back('"');
  }
  out.push_back(']');
}

void Integer(std::string& out, const char* name, long long value) {
  Key(out, name);
  out += std::to_string(value);
}

void Boolean(std::string& out, const char* name, bool value) {
  Key(out, name);
  out += value ? "true" : "false";
}

void Number(std::string& out, const char* name, double value) {
  Key(out, name);
  JsonText::AppendNumber(out, value);
}

std::u16string PathText(const std::string& path) {
  // Paths are shown as their bytes; UTF-8 names decode to the characters the user sees.
  std::u16string text;
  for (size_t i = 0; i < path.size();) {
    const auto b = static_cast<unsigned char>(path[i]);
    int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
    char32_t cp = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    bool ok = extra >= 0 && i + extra < path.size();
    for (int k = 1; ok && k <= extra; ++k) {
      const auto c = static_cast<unsigned char>(path[i + k]);
      ok = (c & 0xC0) == 0x80;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (!ok) {
      text.push_back(CodePage::ByteToChar(b));
      i += 1;
      continue;
    }
    if (cp >= 0x10000) {
      text.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      text.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      text.push_back(static_cast<char16_t>(cp));
    }
    i += static_cast<size_t>(extra) + 1;
  }
  return text;
}

void DumpLine(const std::string& path, clsID3& tag, std::FILE* to) {
  tag.SetFileName(path);
  std::string out = "{\"FileName\":";
  JsonText::AppendString(out, PathText(path));
  Text(out, "Comments", tag.Comments());
  Text(out, "Album", tag.Album());
  Text(out, "BeatsPerMinute", tag.BeatsPerMinute());
  Text(out, "Composer", tag.Composer());
  Integer(out, "GenreID", tag.GenreID());
#define TAGLOOM_DUMP_TEXT(name) Text(out, #name, tag.name());
  TAGLOOM_TEXT_FIELDS_AFTER_GENRE_ID(TAGLOOM_DUMP_TEXT)
#undef TAGLOOM_DUMP_TEXT
  List(out, "CommercialInfo", tag.CommercialInfo());
  Text(out, "CopyrightInfo", tag.CopyrightInfo());
  Text(out, "AudioURL", tag.AudioURL());
  List(out, "ArtistURL", tag.ArtistURL());
  Text(out, "AudioSourceURL", tag.AudioSourceURL());
  Text(out, "InternetRadioURL", tag.InternetRadioURL());
  Text(out, "PaymentURL", tag.PaymentURL());
  Text(out, "PublisherURL", tag.PublisherURL());
  Pictures(out, tag.AttachedPictures(), to);
  Boolean(out, "ID3v1Exists", tag.ID3v1Exists());
  Boolean(out, "ID3v2Exists", tag.ID3v2Exists());
  Boolean(out, "Lyrics3v1Exists", tag.Lyrics3v1Exists());
  Boolean(out, "Lyrics3v2Exists", tag.Lyrics3v2Exists());
  Integer(out, "ID3RevisionV2", tag.ID3RevisionV2());
  Integer(out, "MPEGVersion", tag.MPEGVersion());
  Integer(out, "Layer", tag.Layer());
  Integer(out, "ChannelMode", tag.ChannelMode());
  Integer(out, "Padding", tag.Padding());
  Integer(out, "SamplingRateFrequency", tag.SamplingRateFrequency());
  Number(out, "BitRate", tag.BitRate());
  Number(out, "FrameSize", tag.FrameSize());
  Integer(out, "FrameSamples", tag.FrameSamples());
  Number(out, "length", tag.length());
  Integer(out, "Encoding", tag.Encoding());
  out += "}\n";
  std::fwrite(out.data(), 1, out.size(), to);
}

}  // namespace

namespace Commands {

int Dump(const std::vector<std::string>& args) {
  std::vector<std::string> paths;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--files-from") {
      if (i + 1 >= args.size()) {
        std::cerr << "tagloom-cli dump: --files-from needs a list file\n";
        return 2;
      }
      if (!CliArgs::ReadPathList(args[++i], paths)) {
        std::cerr << "tagloom-cli dump: cannot read the list " << args[i] << "\n";
        return 1;
      }
    } else if (args[i] == "--") {
      paths.insert(paths.end(), args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    } else {
      paths.push_back(args[i]);
    }
  }
  if (paths.empty()) {
    std::cerr << "usage: tagloom-cli dump FILE... | --files-from LIST\n";
    return 2;
  }
  clsID3 tag;
  for (const std::string& path : paths) DumpLine(path, tag, stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace Commands
