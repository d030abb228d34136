// The library report's rules, each on a crafted album and on its clean counterpart, which must
// stay silent; the statistics; the facts read from picture headers and the audio stream.
#include <gtest/gtest.h>

#include <QString>
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "batch/Audit.h"
#include "batch/AuditFacts.h"
#include "batch/AuditReport.h"
#include "tag/MpegAudio.h"
#include "tag/MultiFrameData.h"
#include "tools/samples/SampleBuilder.h"

namespace {

using Audit::Row;
using namespace SampleBuilder;

QString Q(const char* s) { return QString::fromUtf8(s); }

// A clean album: ten tracks of one folder that agree on everything, each with the same cover.
std::vector<Row> CleanAlbum(const QString& folder = Q("/music/Band/Album"),
                            const QString& album = Q("Album"), int tracks = 10) {
  std::vector<Row> rows;
  for (int n = 1; n <= tracks; ++n) {
    Row r;
    r[Audit::kFolder] = folder;
    r[Audit::kFileName] = QStringLiteral("%1 Song.mp3").arg(n, 2, 10, QChar(u'0'));
    r[Audit::kFullPath] = folder + u'/' + r[Audit::kFileName];
    r[Audit::kAlbum] = album;
    r[Audit::kBand] = Q("Band");
    r[Audit::kArtist] = Q("Band");
    r[Audit::kTitle] = QStringLiteral("Song %1 of %2").arg(n).arg(album);
    r[Audit::kYear] = Q("1999");
    r[Audit::kGenre] = Q("Rock");
    r[Audit::kTrackNumber] = QString::number(n);
    r[Audit::kTracks] = QString::number(tracks);
    r[Audit::kDuration] = QStringLiteral("0:03:%1").arg(10 + n);
    r[Audit::kBitRate] = Q("192");
    r[Audit::kVbr] = Q("no");
    r[Audit::kSamplingRate] = Q("44100");
    r[Audit::kMpeg] = Q("MPEG-1 Layer III");
    r[Audit::kPictures] = Q("1");
    r[Audit::kStatus] = Q("read");
    r[Audit::kSize] = Q("4800000");
    r[Audit::kEncodedBy] = Q("LAME 3.100");
    r.cover = Audit::Cover{600, 600, 77};
    rows.push_back(r);
  }
  return rows;
}

std::multiset<std::string> Rules(const Audit::Report& report) {
  std::multiset<std::string> rules;
  for (const Audit::Finding& f : report.findings) rules.insert(f.rule.toStdString());
  return rules;
}

// A PNG's header for any size: the report reads no further.
std::string PngOfSize(uint32_t width, uint32_t height) {
  std::string png = TinyPng(1, 1, 0, 0, 0);
  png.replace(16, 8, BigEndian(width, 4) + BigEndian(height, 4));
  return png;
}

Audit::Report Report(const std::vector<Row>& rows, const Audit::Options& options = {}) {
  return Audit::Run(rows, options);
}

// The one finding expected, by value: reports are temporaries here.
Audit::Finding Only(const Audit::Report& report) {
  EXPECT_EQ(report.findings.size(), 1u)
      << (report.findings.size() > 1 ? report.findings[1].rule.toStdString() : "");
  return report.findings.empty() ? Audit::Finding() : report.findings.front();
}

TEST(AuditRules, CleanAlbumsStaySilent) {
  std::vector<Row> rows = CleanAlbum();
  for (const Row& r : CleanAlbum(Q("/music/Other/Second"), Q("Second"), 12)) rows.push_back(r);
  // A compilation: track artists differ, the album artist does not.
  std::vector<Row> compilation = CleanAlbum(Q("/music/Various/Hits"), Q("Hits"), 5);
  for (size_t i = 0; i < compilation.size(); ++i) {
    compilation[i][Audit::kBand] = Q("Various Artists");
    compilation[i][Audit::kArtist] = QStringLiteral("Artist %1").arg(i);
  }
  rows.insert(rows.end(), compilation.begin(), compilation.end());
  // Two discs, each numbered from 1.
  std::vector<Row> two = CleanAlbum(Q("/music/Band/Double"), Q("Double"), 4);
  for (Row& r : CleanAlbum(Q("/music/Band/Double"), Q("Double"), 4)) {
    r[Audit::kDisc] = Q("2");
    r[Audit::kTitle] += Q(" (disc 2)");
    r[Audit::kFullPath] += Q(".2");
    two.push_back(r);
  }
  for (size_t i = 0; i < two.size(); ++i) {
    if (i < 4) two[i][Audit::kDisc] = Q("1");
    two[i][Audit::kDiscs] = Q("2");
  }
  rows.insert(rows.end(), two.begin(), two.end());
  // A lone file without album or number, in a folder of its own, is no album to judge.
  Row single = CleanAlbum(Q("/music/Singles"), Q(""), 1).front();
  single[Audit::kTrackNumber] = single[Audit::kTracks] = QString();
  rows.push_back(single);
  // Singles with their album's tags, one a folder's album: no gap, no album without a cover.
  for (const char* album : {"First", "Second Single"}) {
    Row lone = CleanAlbum(Q("/music/Singles"), Q(album), 12)[2];
    lone[Audit::kPictures] = Q("0");
    lone.cover.reset();
    rows.push_back(lone);
  }
  // Loose files of anything in one folder, without album titles or numbers.
  std::vector<Row> loose = CleanAlbum(Q("/music/Downloads"), Q(""), 4);
  for (size_t i = 0; i < loose.size(); ++i) {
    loose[i][Audit::kTrackNumber] = loose[i][Audit::kTracks] = QString();
    loose[i][Audit::kBand] = QStringLiteral("Band %1").arg(i);
    loose[i][Audit::kTitle] = QStringLiteral("Loose %1").arg(i);
    loose[i][Audit::kYear] = QString::number(1970 + i);
    loose[i][Audit::kSamplingRate] = i % 2 ? Q("48000") : Q("44100");
    loose[i][Audit::kPictures] = QString::number(i % 2);
    if (i % 2 == 0) loose[i].cover.reset();
  }
  rows.insert(rows.end(), loose.begin(), loose.end());
  Audit::Options options;
  options.require = {Q("Title"), Q("Artist")};
  const Audit::Report report = Report(rows, options);
  EXPECT_TRUE(report.findings.empty()) << report.findings.front().rule.toStdString() << ": "
                                       << report.findings.front().detail.toStdString();
  EXPECT_EQ(report.stats.files, static_cast<int64_t>(rows.size()));
}

TEST(AuditRules, AlbumFieldDiffersNamesTheOddFileOut) {
  for (const Audit::Cell cell : {Audit::kBand, Audit::kYear, Audit::kGenre, Audit::kDiscs}) {
    std::vector<Row> rows = CleanAlbum();
    rows[3][cell] = Q("2");
    const Audit::Finding f = Only(Report(rows));
    EXPECT_EQ(f.rule, Q("album-field-differs"));
    EXPECT_EQ(f.path, rows[3][Audit::kFullPath]);
    EXPECT_TRUE(f.detail.contains(Audit::ColumnHeaders()[cell])) << f.detail.toStdString();
  }
  // A year given with its date, a genre in another case: the same values.
  std::vector<Row> rows = CleanAlbum();
  rows[1][Audit::kYear] = Q("1999-05-01");
  rows[2][Audit::kGenre] = Q("ROCK");
  EXPECT_TRUE(Report(rows).findings.empty());
  // An album title spelled another way in one file.
  rows = CleanAlbum();
  rows[4][Audit::kAlbum] = Q("ALBUM");
  EXPECT_EQ(Only(Report(rows)).rule, Q("album-field-differs"));
  // Without a majority the album as a whole is named.
  rows = CleanAlbum(Q("/m/a"), Q("A"), 2);
  rows[1][Audit::kBand] = Q("Other");
  EXPECT_EQ(Only(Report(rows)).path, Q("/m/a"));
}

TEST(AuditRules, TrackNumbers) {
  std::vector<Row> rows = CleanAlbum();
  rows.erase(rows.begin() + 4);  // track 5 gone
  const Audit::Finding gap = Only(Report(rows));
  EXPECT_EQ(gap.rule, Q("track-number-gap"));
  EXPECT_TRUE(gap.detail.contains(Q("5 of 10"))) << gap.detail.toStdString();
  // The last tracks missing show through the total.
  rows = CleanAlbum();
  rows.resize(8);
  EXPECT_TRUE(Only(Report(rows)).detail.contains(Q("9, 10")))
      << Only(Report(rows)).detail.toStdString();

  rows = CleanAlbum();
  rows[6][Audit::kTrackNumber] = Q("6");
  EXPECT_EQ(Rules(Report(rows)),
            (std::multiset<std::string>{"track-number-duplicate", "track-number-gap"}));

  rows = CleanAlbum();
  rows[2][Audit::kTracks] = Q("11");
  EXPECT_EQ(Rules(Report(rows)), (std::multiset<std::string>{"track-total-mismatch"}));
  rows = CleanAlbum(Q("/m/a"), Q("A"), 3);
  rows[2][Audit::kTrackNumber] = Q("4");
  for (Row& r : rows) r[Audit::kTracks] = Q("3");
  const auto rules = Rules(Report(rows));
  EXPECT_EQ(rules.count("track-total-mismatch"), 1u);
}

TEST(AuditRules, MissingFieldAndTheRequiredList) {
  std::vector<Row> rows = CleanAlbum();
  rows[0][Audit::kTitle] = Q("  ");
  rows[0][Audit::kArtist].clear();
  const Audit::Finding f = Only(Report(rows));
  EXPECT_EQ(f.rule, Q("missing-field"));
  EXPECT_EQ(f.detail, Q("empty: Title, Artist"));
  Audit::Options options;
  options.require = {Q("Genre"), Q("Year")};
  EXPECT_TRUE(Report(rows, options).findings.empty());
  QStringList require{Q("title"), Q("bit RATE")};
  QString problem;
  ASSERT_TRUE(Audit::ResolveRequired(require, problem));
  EXPECT_EQ(require, (QStringList{Q("Title"), Q("Bit rate")}));
  // A field beyond the report's own columns travels in the row's extra cells.
  rows = CleanAlbum();
  for (Row& r : rows) r.extra = {Q("Bach")};
  rows[2].extra = {Q("")};
  options.require = {Q("Title"), Q("Composer")};
  EXPECT_EQ(Audit::ExtraHeaders(options.require), QStringList{Q("Composer")});
  EXPECT_EQ(Only(Report(rows, options)).detail, Q("empty: Composer"));
  require = {Q("Mood")};
  EXPECT_FALSE(Audit::ResolveRequired(require, problem));
  EXPECT_TRUE(problem.contains(Q("Mood")));
}

TEST(AuditRules, Covers) {
  std::vector<Row> rows = CleanAlbum();
  rows[5][Audit::kPictures] = Q("0");
  rows[5].cover.reset();
  const Audit::Finding f = Only(Report(rows));
  EXPECT_EQ(f.rule, Q("no-cover"));
  EXPECT_EQ(f.path, rows[5][Audit::kFullPath]);

  for (Row& r : rows) {
    r[Audit::kPictures] = Q("0");
    r.cover.reset();
  }
  EXPECT_EQ(Only(Report(rows)).path, Q("/music/Band/Album"));

  // A table without the Pictures column has no counts: nothing is said about covers.
  for (Row& r : rows) r[Audit::kPictures].clear();
  EXPECT_TRUE(Report(rows).findings.empty());

  rows = CleanAlbum();
  for (Row& r : rows) r.cover = Audit::Cover{200, 640, 77};
  Audit::Report small = Report(rows);
  EXPECT_EQ(small.findings.size(), rows.size());
  EXPECT_EQ(Rules(small).count("cover-too-small"), rows.size());
  Audit::Options options;
  options.min_cover = 200;
  EXPECT_TRUE(Report(rows, options).findings.empty());

  rows = CleanAlbum();
  rows[9].cover->hash = 78;
  EXPECT_EQ(Only(Report(rows)).rule, Q("covers-differ"));
}

TEST(AuditRules, AudioProperties) {
  std::vector<Row> rows = CleanAlbum();
  rows[2][Audit::kBitRate] = Q("96");
  const Audit::Finding f = Only(Report(rows));
  EXPECT_EQ(f.rule, Q("low-bitrate"));
  EXPECT_TRUE(f.detail.contains(Q("96 kbit/s")));
  Audit::Options options;
  options.min_bitrate = 96;
  EXPECT_TRUE(Report(rows, options).findings.empty());

  rows = CleanAlbum();
  rows[7][Audit::kSamplingRate] = Q("48000");
  const Audit::Finding rate = Only(Report(rows));
  EXPECT_EQ(rate.rule, Q("mixed-sample-rates"));
  EXPECT_EQ(rate.path, rows[7][Audit::kFullPath]);
  // The same rates in two albums are no mix.
  std::vector<Row> other = CleanAlbum(Q("/m/b"), Q("B"));
  for (Row& r : other) r[Audit::kSamplingRate] = Q("48000");
  const std::vector<Row> clean = CleanAlbum();
  other.insert(other.end(), clean.begin(), clean.end());
  EXPECT_TRUE(Report(other).findings.empty());
}

TEST(AuditRules, DuplicatesAcrossFolders) {
  std::vector<Row> rows = CleanAlbum();
  std::vector<Row> copy = CleanAlbum(Q("/music/Best of"), Q("Best of"), 2);
  copy[0][Audit::kTitle] = Q("SONG 3, of  Album!");  // folded: "song3ofalbum"
  copy[0][Audit::kDuration] = Q("0:03:14");          // 1 s longer than track 3
  copy[0][Audit::kBitRate] = Q("320");
  copy[1][Audit::kTitle] = Q("Sóng 4 of Album");
  copy[1][Audit::kDuration] = Q("0:03:40");  // 26 s longer: another take
  rows.insert(rows.end(), copy.begin(), copy.end());
  const Audit::Finding f = Only(Report(rows));
  EXPECT_EQ(f.rule, Q("duplicate-track"));
  EXPECT_TRUE(f.detail.contains(Q("320 kbit/s")) && f.detail.contains(Q("/music/Best of/01")))
      << f.detail.toStdString();
  EXPECT_TRUE(f.detail.contains(rows[2][Audit::kFullPath])) << f.detail.toStdString();

  // The same audio under other tags, with hashes; without them nothing is said.
  rows = CleanAlbum();
  for (size_t i = 0; i < rows.size(); ++i) rows[i].audio_hash = 1000 + i;
  EXPECT_TRUE(Report(rows).findings.empty());
  rows[8].audio_hash = 1003;
  const Audit::Finding same = Only(Report(rows));
  EXPECT_EQ(same.rule, Q("duplicate-audio"));
  EXPECT_TRUE(same.detail.contains(rows[8][Audit::kFullPath]));
}

TEST(AuditRules, StatusFindingIsAFilesOnlyFinding) {
  std::vector<Row> rows = CleanAlbum();
  rows[1][Audit::kStatus] = Q("truncated");
  rows[2][Audit::kStatus] = Q("not MPEG audio");
  rows[3][Audit::kStatus] = Q("unreadable: Permission denied");
  for (const int i : {1, 2, 3}) {
    // Whatever else is wrong with them is not told.
    rows[static_cast<size_t>(i)][Audit::kBitRate] = Q("32");
    rows[static_cast<size_t>(i)][Audit::kTitle].clear();
    rows[static_cast<size_t>(i)][Audit::kBand] = Q("Else");
  }
  const Audit::Report report = Report(rows);
  EXPECT_EQ(Rules(report), (std::multiset<std::string>{"truncated", "not-audio", "unreadable"}));
  EXPECT_EQ(report.errors, 3);
  EXPECT_TRUE(report.findings.back().detail.contains(Q("Permission denied")) ||
              report.findings.front().detail.contains(Q("Permission denied")));

  rows = CleanAlbum();
  rows[4][Audit::kConflicts] = Q("Title: 'Song' in ID3v1");
  EXPECT_EQ(Only(Report(rows)).rule, Q("v1-v2-conflict"));
  rows = CleanAlbum();
  rows[4].damage = std::vector<Audit::Damage>{};
  EXPECT_TRUE(Report(rows).findings.empty());
  rows[4].damage->push_back({4096, Q("lost sync")});
  const Audit::Finding damaged = Only(Report(rows));
  EXPECT_EQ(damaged.rule, Q("damaged-audio"));
  EXPECT_TRUE(damaged.detail.contains(Q("4096")));
}

TEST(AuditStatistics, SharesAndTotals) {
  std::vector<Row> rows = CleanAlbum();
  rows[0][Audit::kVbr] = Q("yes");
  rows[0][Audit::kBitRate] = Q("245");
  rows[1][Audit::kYear] = Q("2003");
  rows[1][Audit::kDuration] = Q("1:00:00");
  const Audit::Report report = Report(rows);
  const Audit::Statistics& s = report.stats;
  EXPECT_EQ(s.files, 10);
  EXPECT_EQ(s.bytes, 48000000);
  EXPECT_EQ(static_cast<long long>(s.seconds), 1955 - 192 + 3600);
  const auto share = [&](const char* name) {
    for (const Audit::Share& sh : s.shares)
      if (sh.name.startsWith(Q(name))) return sh.counts;
    return std::vector<std::pair<QString, int64_t>>{};
  };
  EXPECT_EQ(share("profile"),
            (std::vector<std::pair<QString, int64_t>>{{Q("CBR"), 9}, {Q("VBR"), 1}}));
  EXPECT_EQ(share("bit rate"), (std::vector<std::pair<QString, int64_t>>{{Q("192-255"), 10}}));
  rows[2][Audit::kBitRate] = Q("64");
  rows[3][Audit::kBitRate] = Q("320");
  rows[4][Audit::kBitRate] = Q("128");
  Audit::Options low;
  low.min_bitrate = 0;
  EXPECT_EQ(Report(rows, low).stats.shares[3].counts,
            (std::vector<std::pair<QString, int64_t>>{
                {Q("<96"), 1}, {Q("128-159"), 1}, {Q("192-255"), 7}, {Q("320+"), 1}}));
  EXPECT_EQ(share("decade"),
            (std::vector<std::pair<QString, int64_t>>{{Q("1990s"), 9}, {Q("2000s"), 1}}));
  EXPECT_EQ(share("encoder").front(), std::make_pair(Q("LAME 3.100"), int64_t{10}));
}

TEST(AuditReport, EveryWriterEscapesTagText) {
  std::vector<Row> rows = CleanAlbum();
  const QString hostile = Q("<script>alert(1)</script>\"><img src=x onerror=alert(2)>,\n\"");
  rows[0][Audit::kBand] = hostile;
  const Audit::Report report = Report(rows);
  ASSERT_EQ(report.findings.size(), 1u);
  const std::string html = AuditReport::Html(report);
  EXPECT_EQ(html.find("<img"), std::string::npos);
  EXPECT_EQ(html.find("<script>alert"), std::string::npos);
  EXPECT_NE(html.find("&lt;script&gt;alert(1)&lt;/script&gt;&quot;&gt;&lt;img"), std::string::npos);
  EXPECT_NE(html.find("default-src 'none'"), std::string::npos);
  const std::string json = AuditReport::JsonLines(report);
  EXPECT_NE(json.find("\\\"><img src=x onerror=alert(2)>,\\u000a\\\""), std::string::npos);
  EXPECT_EQ(json.substr(0, 39), "{\"rule\":\"album-field-differs\",\"severity");
  const std::string csv = AuditReport::Csv(report);
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3);  // the header, a row, its quoted LF
}

// The LAME header's method, bit rate and preset as the profile statistic names them: the V
// levels, the ABR and CBR rates, the named presets of LAME before 3.100, and nothing where the
// header tells nothing.
TEST(AuditFacts, ProfileFromTheLameHeader) {
  const auto profile = [](int method, int kbps, int preset) {
    MpegAudioState s;
    s.LameMethod = static_cast<uint8_t>(method);
    s.LameBitRate = static_cast<uint8_t>(kbps);
    s.LamePreset = static_cast<uint16_t>(preset);
    return AuditFacts::Profile(s).toStdString();
  };
  EXPECT_EQ(profile(4, 32, 500), "VBR V0");
  EXPECT_EQ(profile(4, 32, 480), "VBR V2");
  EXPECT_EQ(profile(3, 32, 410), "VBR V9");
  EXPECT_EQ(profile(4, 32, 485), "VBR");  // no level of LAME's
  EXPECT_EQ(profile(4, 32, 0), "VBR");
  EXPECT_EQ(profile(1, 192, 192), "CBR 192");
  EXPECT_EQ(profile(8, 128, 0), "CBR 128");
  EXPECT_EQ(profile(1, 255, 320), "CBR 320");  // byte 20 saturates; the preset says the rate
  EXPECT_EQ(profile(1, 255, 0), "CBR");
  EXPECT_EQ(profile(2, 160, 160), "ABR 160");
  EXPECT_EQ(profile(9, 96, 0), "ABR 96");
  EXPECT_EQ(profile(3, 0, 1001), "VBR standard");
  EXPECT_EQ(profile(4, 0, 1005), "VBR fast extreme");
  EXPECT_EQ(profile(0, 0, 1003), "insane");
  EXPECT_EQ(profile(0, 0, 0), "");
  EXPECT_EQ(profile(7, 128, 128), "");  // a method LAME never wrote
  EXPECT_EQ(profile(1, 0, 1200), "CBR");

  // Rows that carry a profile count under it; the others under the Vbr cell's.
  std::vector<Audit::Row> rows(3);
  rows[0].profile = QStringLiteral("VBR V0");
  rows[1].profile = QStringLiteral("VBR V0");
  rows[2][Audit::kVbr] = QStringLiteral("yes");
  for (Audit::Row& row : rows) row[Audit::kMpeg] = QStringLiteral("MPEG-1 Layer 3");
  const Audit::Report report = Audit::Run(rows, {});
  const auto share = std::find_if(report.stats.shares.begin(), report.stats.shares.end(),
                                  [](const Audit::Share& s) { return s.name == "profile"; });
  ASSERT_NE(share, report.stats.shares.end());
  EXPECT_EQ(share->counts, (std::vector<std::pair<QString, int64_t>>{{"VBR V0", 2}, {"VBR", 1}}));
}

TEST(AuditFacts, ImageSizes) {
  EXPECT_EQ(AuditFacts::ImageSize(PngOfSize(640, 480)), std::make_pair(640, 480));
  const std::string jpeg = std::string("\xFF\xD8\xFF\xE0\x00\x04\x00\x00", 8) +
                           std::string("\xFF\xC2\x00\x0B\x08\x01\x2C\x02\x58\x01\x00", 11);
  EXPECT_EQ(AuditFacts::ImageSize(jpeg), std::make_pair(600, 300));
  EXPECT_EQ(AuditFacts::ImageSize(std::string("GIF89a\x20\x03\x58\x02", 10)),
            std::make_pair(800, 600));
  std::string webp = std::string("RIFF\0\0\0\0WEBPVP8X", 16) + std::string(8, '\0') +
                     std::string("\xFF\x01\x00\x2B\x01\x00", 6);
  EXPECT_EQ(AuditFacts::ImageSize(webp), std::make_pair(512, 300));
  // Cut short or unknown: no size, and no read past the end.
  EXPECT_FALSE(AuditFacts::ImageSize(jpeg.substr(0, 12)));
  EXPECT_FALSE(AuditFacts::ImageSize(webp.substr(0, 20)));
  EXPECT_FALSE(AuditFacts::ImageSize("BM\x36\x00"));
}

TEST(AuditFacts, FrontCoverIsTypeThreeElseTheFirst) {
  MultiFrameData pictures;
  pictures.AddBytes(std::string("image/png\0\x04", 11) + "back\0" + TinyPng(100, 100, 0, 0, 0));
  pictures.AddBytes(std::string("image/png\0\x03", 11) + std::string("\0", 1) +
                    PngOfSize(320, 200));
  auto cover = AuditFacts::FrontCover(pictures);
  ASSERT_TRUE(cover);
  EXPECT_EQ(std::make_pair(cover->width, cover->height), std::make_pair(320, 200));
  MultiFrameData old;
  old.AddBytes(std::string("PNG\x00", 4) + "x\0" + TinyPng(50, 60, 9, 9, 9));
  cover = AuditFacts::FrontCover(old);
  ASSERT_TRUE(cover);
  EXPECT_EQ(cover->width, 50);
  EXPECT_FALSE(AuditFacts::FrontCover(MultiFrameData()));
}

TEST(AuditFacts, AudioSpanHashAndFrameWalk) {
  const std::string audio = SilentFrames(kMpeg1, 40);
  const std::string tagged = Id3v2Tag(3, Frame(3, "TIT2", TextBody(Encoding::Latin1, u"A"))) +
                             audio + Lyrics3v2({{"IND", "00"}}) +
                             Id3v1({"B", "", "", "", "", 1, 0});
  const AuditFacts::Span span = AuditFacts::AudioSpan(tagged);
  EXPECT_EQ(tagged.substr(span.first, span.last - span.first), audio);
  EXPECT_EQ(AuditFacts::AudioHash(tagged, span),
            AuditFacts::AudioHash(audio, AuditFacts::AudioSpan(audio)));
  for (const Audit::Damage& d : AuditFacts::WalkFrames(tagged, span))
    ADD_FAILURE() << d.offset << " " << d.what.toStdString();

  const std::string head = SilentFrames(kMpeg1, 10);
  const std::string damaged = head + "garbage!" + SilentFrames(kMpeg1, 30);
  auto found = AuditFacts::WalkFrames(damaged, AuditFacts::AudioSpan(damaged));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].offset, static_cast<int64_t>(head.size()));
  EXPECT_TRUE(found[0].what.contains(Q("8 bytes"))) << found[0].what.toStdString();

  const std::string cut = audio.substr(0, audio.size() - 100);
  found = AuditFacts::WalkFrames(cut, AuditFacts::AudioSpan(cut));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_TRUE(found[0].what.contains(Q("cut short")));
  // Zeros after the last frame are padding, not damage; bytes without any frame say nothing.
  const std::string padded = audio + std::string(500, '\0');
  EXPECT_TRUE(AuditFacts::WalkFrames(padded, AuditFacts::AudioSpan(padded)).empty());
  const std::string noise(3000, 'x');
  EXPECT_TRUE(AuditFacts::WalkFrames(noise, AuditFacts::AudioSpan(noise)).empty());
  // Many faults are capped.
  std::string many;
  for (int i = 0; i < 50; ++i) many += SilentFrames(kMpeg1, 3) + "junk";
  found = AuditFacts::WalkFrames(many, AuditFacts::AudioSpan(many), 5);
  ASSERT_EQ(found.size(), 6u);
  EXPECT_EQ(found.back().what, Q("and 45 more"));
}

TEST(AuditFacts, AnyBytesEndWithoutAFaultOrALoop) {
  // Pieces that steer the parsers, shuffled with noise and cut anywhere.
  const std::string pieces[] = {std::string("\xFF\xD8\xFF\xC0\x00\x11", 6),
                                std::string("\x89PNG\r\n\x1A\n", 8),
                                "GIF89a",
                                "RIFF\0\0\0\0WEBPVP8X",
                                "APETAGEX",
                                std::string("APETAGEX\xD0\x07\0\0\0\0\0\0", 16),
                                "000000LYRICS200",
                                "LYRICSBEGINLYRICSEND",
                                "TAG",
                                std::string("ID3\x03\0\0\0\0\0\x7F", 10),
                                SilentFrames(kMpeg1, 2),
                                std::string("\xFF\xFB\x90", 3),
                                std::string(1, '\0')};
  uint32_t seed = 12345;
  const auto next = [&] { return seed = seed * 1103515245 + 12345; };
  for (int round = 0; round < 3000; ++round) {
    std::string bytes;
    const int parts = static_cast<int>(next() % 8);
    for (int i = 0; i < parts; ++i) {
      if (next() % 3 == 0) {
        bytes += std::string(next() % 40, static_cast<char>(next() >> 8));
      } else {
        bytes += pieces[(next() >> 4) % std::size(pieces)];
      }
    }
    bytes.resize(std::min<size_t>(bytes.size(), next() % 3000));
    (void)AuditFacts::ImageSize(bytes);
    const AuditFacts::Span span = AuditFacts::AudioSpan(bytes);
    ASSERT_LE(span.first, span.last);
    ASSERT_LE(span.last, bytes.size());
    (void)AuditFacts::WalkFrames(bytes, span, round % 3);
    MultiFrameData pictures;
    pictures.AddBytes(bytes);
    (void)AuditFacts::FrontCover(pictures);
  }
}

}  // namespace

TEST(AuditKeptFacts, EachArrivalGetsItsOwnFactsBackWhateverTheOrderTheyCameIn) {
  Audit::KeptFacts kept;
  kept.Set(0, {std::nullopt, QStringLiteral("CBR 192")});
  kept.Set(5, {Audit::Cover{200, 100, 7}, QStringLiteral("VBR V0")});
  kept.Set(9, {std::nullopt, QStringLiteral("CBR 192")});
  // A row read again arrives late, out of order, and replaces what it had.
  kept.Set(2, {Audit::Cover{640, 640, 9}, QString()});
  kept.Set(5, {Audit::Cover{300, 300, 8}, QStringLiteral("VBR V0")});
  EXPECT_EQ(kept.At(0).profile, QStringLiteral("CBR 192"));
  EXPECT_FALSE(kept.At(0).cover);
  EXPECT_EQ(kept.At(9).profile, QStringLiteral("CBR 192"));
  EXPECT_TRUE(kept.At(2).profile.isEmpty());
  ASSERT_TRUE(kept.At(2).cover);
  EXPECT_EQ(kept.At(2).cover->hash, 9u);
  ASSERT_TRUE(kept.At(5).cover);
  EXPECT_EQ(kept.At(5).cover->width, 300);
  EXPECT_EQ(kept.At(5).profile, QStringLiteral("VBR V0"));
  EXPECT_FALSE(kept.At(1).cover);
  EXPECT_TRUE(kept.At(1000).profile.isEmpty());
  kept.Clear();
  EXPECT_TRUE(kept.At(0).profile.isEmpty());
  EXPECT_FALSE(kept.At(5).cover);
}
