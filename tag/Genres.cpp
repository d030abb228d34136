#include "tag/Genres.h"

#include <array>
#include <optional>

#include "tag/CaseFold.h"

namespace Genres {
namespace {

constexpr std::array<const char16_t*, 148> kNames = {u"Blues",
                                                     u"Classic Rock",
                                                     u"Country",
                                                     u"Dance",
                                                     u"Disco",
                                                     u"Funk",
                                                     u"Grunge",
                                                     u"Hip-Hop",
                                                     u"Jazz",
                                                     u"Metal",
                                                     u"New Age",
                                                     u"Oldies",
                                                     u"Other",
                                                     u"Pop",
                                                     u"R&B",
                                                     u"Rap",
                                                     u"Reggae",
                                                     u"Rock",
                                                     u"Techno",
                                                     u"Industrial",
                                                     u"Alternative",
                                                     u"Ska",
                                                     u"Death Metal",
                                                     u"Pranks",
                                                     u"Soundtrack",
                                                     u"Euro-Techno",
                                                     u"Ambient",
                                                     u"Trip-Hop",
                                                     u"Vocal",
                                                     u"Jazz+Funk",
                                                     u"Fusion",
                                                     u"Trance",
                                                     u"Classical",
                                                     u"Instrumental",
                                                     u"Acid",
                                                     u"House",
                                                     u"Game",
                                                     u"Sound Clip",
                                                     u"Gospel",
                                                     u"Noise",
                                                     u"AlternRock",
                                                     u"Bass",
                                                     u"Soul",
                                                     u"Punk",
                                                     u"Space",
                                                     u"Meditative",
                                                     u"Instrumental Pop",
                                                     u"Instrumental Rock",
                                                     u"Ethnic",
                                                     u"Gothic",
                                                     u"Darkwave",
                                                     u"Techno-Industrial",
                                                     u"Electronic",
                                                     u"Pop-Folk",
                                                     u"Eurodance",
                                                     u"Dream",
                                                     u"Southern Rock",
                                                     u"Comedy",
                                                     u"Cult",
                                                     u"Gangsta",
                                                     u"Top 40",
                                                     u"Christian Rap",
                                                     u"Pop/Funk",
                                                     u"Jungle",
                                                     u"Native American",
                                                     u"Cabaret",
                                                     u"New Wave",
                                                     u"Psychedelic",
                                                     u"Rave",
                                                     u"Showtunes",
                                                     u"Trailer",
                                                     u"Lo-Fi",
                                                     u"Tribal",
                                                     u"Acid Punk",
                                                     u"Acid Jazz",
                                                     u"Polka",
                                                     u"Retro",
                                                     u"Musical",
                                                     u"Rock & Roll",
                                                     u"Hard Rock",
                                                     u"Folk",
                                                     u"Folk-Rock",
                                                     u"National Folk",
                                                     u"Swing",
                                                     u"Fast Fusion",
                                                     u"Bebob",
                                                     u"Latin",
                                                     u"Revival",
                                                     u"Celtic",
                                                     u"Bluegrass",
                                                     u"Avantgarde",
                                                     u"Gothic Rock",
                                                     u"Progressive Rock",
                                                     u"Psychedelic Rock",
                                                     u"Symphonic Rock",
                                                     u"Slow Rock",
                                                     u"Big Band",
                                                     u"Chorus",
                                                     u"Easy Listening",
                                                     u"Acoustic",
                                                     u"Humor",
                                                     u"Speech",
                                                     u"Chanson",
                                                     u"Opera",
                                                     u"Chamber Music",
                                                     u"Sonata",
                                                     u"Symphony",
                                                     u"Booty Bass",
                                                     u"Primus",
                                                     u"Porn Groove",
                                                     u"Satire",
                                                     u"Slow Jam",
                                                     u"Club",
                                                     u"Tango",
                                                     u"Samba",
                                                     u"Folklore",
                                                     u"Ballad",
                                                     u"Power Ballad",
                                                     u"Rhythmic Soul",
                                                     u"Freestyle",
                                                     u"Duet",
                                                     u"Punk Rock",
                                                     u"Drum Solo",
                                                     u"A Cappella",
                                                     u"Euro-House",
                                                     u"Dance Hall",
                                                     u"Goa",
                                                     u"Drum & Bass",
                                                     u"Club-House",
                                                     u"Hardcore",
                                                     u"Terror",
                                                     u"Indie",
                                                     u"BritPop",
                                                     u"Negerpunk",
                                                     u"Polsk Punk",
                                                     u"Beat",
                                                     u"Christian Gangsta Rap",
                                                     u"Heavy Metal",
                                                     u"Black Metal",
                                                     u"Crossover",
                                                     u"Contemporary Christian",
                                                     u"Christian Rock",
                                                     u"Merengue",
                                                     u"Salsa",
                                                     u"Thrash Metal",
                                                     u"Anime",
                                                     u"JPop",
                                                     u"Synthpop"};

void RemoveAll(std::u16string& text, std::u16string_view what) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (text.compare(i, what.size(), what) == 0) {
      i += what.size();
    } else {
      out.push_back(text[i++]);
    }
  }
  text.swap(out);
}

// A genre number that names a genre rather than standing for none.
std::u16string_view NameOf(int32_t id) {
  return id == kNone ? std::u16string_view() : GenreName(id);
}

// "17" and "017", not "+17", " 17" or "17.0".
std::optional<int32_t> BareNumber(std::u16string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  int32_t value = 0;
  for (const char16_t c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + (c - u'0');
  }
  return value;
}

// A parenthesised genre number, "(RX)" or "(CR)" at the start of the text: its number, and the
// text after it.
std::optional<int32_t> Reference(std::u16string_view& text) {
  const size_t close = text.find(u')');
  if (text.empty() || text.front() != u'(' || close == std::u16string_view::npos) return {};
  const std::u16string_view inner = text.substr(1, close - 1);
  std::optional<int32_t> number = BareNumber(inner);
  if (inner == u"RX") number = kRemix;
  if (inner == u"CR") number = kCover;
  if (number) text.remove_prefix(close + 1);
  return number;
}

}  // namespace

std::u16string ShownName(std::u16string_view genre, int32_t id, std::u16string_view stored) {
  if (const std::optional<int32_t> number = BareNumber(genre)) {
    const std::u16string_view name = NameOf(*number);
    return std::u16string(name.empty() ? genre : name);
  }
  // Further numbers after the first, as in "(17)(18)" or "(17)(18)Eurotrance", name no genre
  // themselves: the name after them is shown, else the first number the table names.
  std::u16string_view rest = genre;
  std::u16string_view name = NameOf(id);
  while (const std::optional<int32_t> number = Reference(rest))
    if (name.empty()) name = NameOf(*number);
  if (!rest.empty()) return std::u16string(rest);
  return std::u16string(name.empty() ? stored : name);
}

std::u16string_view GenreName(int32_t id) {
  if (id >= 0 && id < static_cast<int32_t>(kNames.size())) return kNames[id];
  if (id == kNone) return u"Unknown";
  if (id == kRemix) return u"Remix";
  if (id == kCover) return u"Cover";
  return {};
}

std::u16string NormalizeGenreText(std::u16string_view text) {
  std::u16string key(text);
  for (std::u16string_view what : {u"/", u" and ", u"&", u"-", u"+", u" "}) RemoveAll(key, what);
  return LowerCaseUnits(key);
}

int32_t ToGenreID(std::u16string_view text) {
  if (text.find_first_not_of(u' ') == std::u16string_view::npos) return kNone;
  const std::u16string key = NormalizeGenreText(text);
  for (int32_t id = -2; id <= 147; ++id)
    if (NormalizeGenreText(GenreName(id)) == key) return id;
  if (NormalizeGenreText(GenreName(kNone)) == key) return kNone;
  return kOther;
}

}  // namespace Genres
