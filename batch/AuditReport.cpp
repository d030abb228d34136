#include "batch/AuditReport.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <algorithm>
#include <cstdio>
#include <map>

namespace AuditReport {

namespace {

using Audit::Finding;
using Audit::Report;
using Audit::Severity;

std::string Utf8(const QString& text) { return text.toStdString(); }

std::string Size(int64_t bytes) {
  char text[32];
  if (bytes >= int64_t{1} << 30)
    std::snprintf(text, sizeof text, "%.1f GiB", static_cast<double>(bytes) / (1 << 30));
  else if (bytes >= int64_t{1} << 20)
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1 << 20));
  else
    std::snprintf(text, sizeof text, "%lld bytes", static_cast<long long>(bytes));
  return text;
}

std::string Clock(double seconds) {
  const auto whole = static_cast<long long>(seconds);
  char text[40];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
  return text;
}

// "1 error", "2 warnings", "3 notes".
std::string Counted(Severity severity, int64_t n) {
  const std::string name = severity == Severity::kInfo ? "note" : Audit::SeverityName(severity);
  return n == 1 ? name : name + "s";
}

std::string Summary(const Report& r) {
  const Audit::Statistics& s = r.stats;
  return std::to_string(s.files) + " files, " + Size(s.bytes) + ", " + Clock(s.seconds) + "; " +
         std::to_string(r.findings.size()) + " findings: " + std::to_string(r.errors) +
         " errors, " + std::to_string(r.warnings) + " warnings, " + std::to_string(r.infos) +
         " notes";
}

// Findings per album, in report order: the report keeps an album's findings together.
template <class Visit>
void ForEachAlbum(const Report& r, Visit visit) {
  size_t from = 0;
  while (from < r.findings.size()) {
    size_t to = from + 1;
    while (to < r.findings.size() && r.findings[to].folder == r.findings[from].folder &&
           r.findings[to].album == r.findings[from].album)
      ++to;
    visit(from, to);
    from = to;
  }
}

void AppendJson(std::string& out, const QString& text) {
  out += '"';
  for (const char c : text.toStdString()) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", u);
      out += escape;
    } else {
      out += c;
    }
  }
  out += '"';
}

void AppendCsv(std::string& out, const QString& text) {
  const std::string bytes = text.toStdString();
  if (bytes.find_first_of(",\"\r\n") == std::string::npos) {
    out += bytes;
    return;
  }
  out += '"';
  for (const char c : bytes) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

std::map<QString, std::pair<Severity, int64_t>> RuleCounts(const Report& r) {
  std::map<QString, std::pair<Severity, int64_t>> counts;
  for (const Finding& f : r.findings) {
    auto& entry = counts.try_emplace(f.rule, f.severity, 0).first->second;
    ++entry.second;
  }
  return counts;
}

std::string Sha256(const std::string& text) {
  return QCryptographicHash::hash(QByteArray::fromStdString(text), QCryptographicHash::Sha256)
      .toBase64()
      .toStdString();
}

constexpr const char* kStyle =
    "body{font:14px/1.4 sans-serif;margin:1.5em;color:#222;background:#fff}"
    "h1{font-size:1.5em;margin:0 0 .3em}h2{font-size:1.2em;margin:1.5em 0 .5em}"
    ".summary{font-size:1.1em}table{border-collapse:collapse}"
    "td,th{padding:2px 8px;text-align:left;vertical-align:top;border-bottom:1px solid #ddd}"
    "td.n,th.n{text-align:right}.charts{display:flex;flex-wrap:wrap;gap:1em}"
    "figure{margin:0;border:1px solid #ddd;padding:.5em}figcaption{font-weight:bold}"
    "details{margin:.2em 0;border-left:3px solid #ccc;padding-left:.5em}"
    "summary{cursor:pointer}.error{color:#a00}.warning{color:#a60}.info{color:#06a}"
    "td.p{word-break:break-all;max-width:40em}#filter label{margin-right:1em;white-space:nowrap}"
    "[hidden]{display:none!important}";

// Hides the findings whose rule or severity is unchecked, and the albums left without any.
constexpr const char* kScript =
    "(function(){var f=document.getElementById('filter');"
    "function apply(){var on={};var boxes=f.querySelectorAll('input');"
    "for(var i=0;i<boxes.length;i++)on[boxes[i].value]=boxes[i].checked;"
    "var groups=document.querySelectorAll('details.g');"
    "for(var g=0;g<groups.length;g++){var rows=groups[g].querySelectorAll('tr[data-r]'),n=0;"
    "for(var j=0;j<rows.length;j++){var v=on[rows[j].dataset.r]&&on[rows[j].dataset.s];"
    "rows[j].hidden=!v;if(v)n++;}groups[g].hidden=n===0;}}"
    "f.addEventListener('change',apply);apply();"
    "document.documentElement.setAttribute('data-ready','1');})();";

void AppendBars(std::string& out, const QString& title,
                const std::vector<std::pair<QString, int64_t>>& counts) {
  constexpr size_t kMost = 12;
  std::vector<std::pair<QString, int64_t>> shown(counts.begin(),
                                                 counts.begin() + std::min(kMost, counts.size()));
  if (counts.size() > kMost) {
    int64_t rest = 0;
    for (size_t i = kMost; i < counts.size(); ++i) rest += counts[i].second;
    shown.emplace_back(QStringLiteral("(%1 others)").arg(counts.size() - kMost), rest);
  }
  int64_t top = 1;
  for (const auto& [name, count] : shown) top = std::max(top, count);
  constexpr int kLabel = 170, kBar = 220, kRow = 18, kWidth = kLabel + kBar + 60;
  const int height = static_cast<int>(shown.size()) * kRow + 4;
  out += "<figure><figcaption>" + Escaped(title) +
         "</figcaption><svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
         std::to_string(kWidth) + "\" height=\"" + std::to_string(height) +
         "\" role=\"img\" font-family=\"sans-serif\" font-size=\"12\">";
  for (size_t i = 0; i < shown.size(); ++i) {
    const int y = static_cast<int>(i) * kRow + 2;
    const auto width = static_cast<int>(static_cast<double>(shown[i].second) * kBar / top);
    QString label = shown[i].first;
    if (label.size() > 26) label = label.left(25) + QChar(0x2026);
    out += "<text x=\"" + std::to_string(kLabel - 4) + "\" y=\"" + std::to_string(y + 12) +
           "\" text-anchor=\"end\"><title>" + Escaped(shown[i].first) + "</title>" +
           Escaped(label) + "</text><rect x=\"" + std::to_string(kLabel) + "\" y=\"" +
           std::to_string(y + 2) + "\" width=\"" + std::to_string(std::max(width, 1)) +
           "\" height=\"" + std::to_string(kRow - 4) + "\" fill=\"#4a7ab5\"/><text x=\"" +
           std::to_string(kLabel + std::max(width, 1) + 4) + "\" y=\"" + std::to_string(y + 12) +
           "\">" + std::to_string(shown[i].second) + "</text>";
  }
  out += "</svg></figure>";
}

}  // namespace

std::string Escaped(const QString& text) {
  std::string out;
  for (const char c : text.toStdString()) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Text(const Report& r) {
  // Appended piece by piece: GCC 12 at -O3 takes "literal" + string&& for an overlapping copy.
  std::string out = "Library report: ";
  out.append(Summary(r)).append("\n");
  ForEachAlbum(r, [&](size_t from, size_t to) {
    out.append("\n").append(Utf8(r.findings[from].album)).append(" (");
    out.append(Utf8(r.findings[from].folder)).append(")\n");
    for (size_t i = from; i < to; ++i) {
      const Finding& f = r.findings[i];
      out.append("  ").append(Audit::SeverityName(f.severity)).append("  ").append(Utf8(f.rule));
      out.append("  ").append(Utf8(f.path)).append(": ").append(Utf8(f.detail)).append("\n");
    }
  });
  out += "\nStatistics\n";
  for (const Audit::Share& share : r.stats.shares) {
    if (share.counts.empty()) continue;
    out.append("  ").append(Utf8(share.name)).append(":");
    for (const auto& [value, count] : share.counts)
      out.append(" ").append(Utf8(value)).append(" ").append(std::to_string(count)).append(";");
    out.back() = '\n';
  }
  return out;
}

std::string Csv(const Report& r) {
  std::string out = "rule,severity,album,path,detail\r\n";
  for (const Finding& f : r.findings) {
    AppendCsv(out, f.rule);
    out += ',';
    out += Audit::SeverityName(f.severity);
    out += ',';
    AppendCsv(out, f.album);
    out += ',';
    AppendCsv(out, f.path);
    out += ',';
    AppendCsv(out, f.detail);
    out += "\r\n";
  }
  return out;
}

std::string JsonLines(const Report& r) {
  std::string out;
  for (const Finding& f : r.findings) {
    out += "{\"rule\":";
    AppendJson(out, f.rule);
    out += std::string(",\"severity\":\"") + Audit::SeverityName(f.severity) + "\",\"album\":";
    AppendJson(out, f.album);
    out += ",\"path\":";
    AppendJson(out, f.path);
    out += ",\"detail\":";
    AppendJson(out, f.detail);
    out += "}\n";
  }
  const Audit::Statistics& s = r.stats;
  out += "{\"rule\":\"stat\",\"stat\":\"files\",\"count\":" + std::to_string(s.files) + "}\n";
  out += "{\"rule\":\"stat\",\"stat\":\"bytes\",\"count\":" + std::to_string(s.bytes) + "}\n";
  out += "{\"rule\":\"stat\",\"stat\":\"seconds\",\"count\":" +
         std::to_string(static_cast<long long>(s.seconds)) + "}\n";
  const auto lines = [&](const QString& name, const auto& counts) {
    for (const auto& [value, count] : counts) {
      out += "{\"rule\":\"stat\",\"stat\":";
      AppendJson(out, name);
      out += ",\"value\":";
      AppendJson(out, value);
      out += ",\"count\":" + std::to_string(count) + "}\n";
    }
  };
  for (const Audit::Share& share : s.shares) lines(share.name, share.counts);
  lines(QStringLiteral("findings per folder"), s.findings_per_folder);
  return out;
}

std::string Html(const Report& r) {
  const std::string style = kStyle, script = kScript;
  std::string out =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
      "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src "
      "'sha256-" +
      Sha256(style) + "'; script-src 'sha256-" + Sha256(script) +
      "'; base-uri 'none'; form-action 'none'\">\n"
      "<meta name=\"viewport\" content=\"width=device-width\">\n"
      "<title>Library report</title><style>" +
      style + "</style></head><body>\n<h1>Library report</h1>\n<p class=\"summary\">" +
      Escaped(QString::fromStdString(Summary(r))) + "</p>\n";

  const auto counts = RuleCounts(r);
  out += "<table><tr><th>rule</th><th>severity</th><th class=\"n\">findings</th></tr>";
  for (const auto& [rule, entry] : counts) {
    const char* severity = Audit::SeverityName(entry.first);
    out += "<tr><td>" + Escaped(rule) + "</td><td class=\"" + severity + "\">" + severity +
           "</td><td class=\"n\">" + std::to_string(entry.second) + "</td></tr>";
  }
  out += "</table>\n<h2>Library</h2>\n<div class=\"charts\">";
  for (const Audit::Share& share : r.stats.shares)
    if (!share.counts.empty()) AppendBars(out, share.name, share.counts);
  out += "</div>\n<h2>Findings</h2>\n<form id=\"filter\">";
  for (const Severity s : {Severity::kError, Severity::kWarning, Severity::kInfo}) {
    const std::string name = Audit::SeverityName(s);
    out += "<label><input type=\"checkbox\" value=\"" + name + "\" checked> " + name + "</label>";
  }
  out += "<br>";
  for (const auto& [rule, entry] : counts)
    out += "<label><input type=\"checkbox\" value=\"" + Escaped(rule) + "\" checked> " +
           Escaped(rule) + " (" + std::to_string(entry.second) + ")</label>";
  out += "</form>\n";
  ForEachAlbum(r, [&](size_t from, size_t to) {
    std::map<Severity, int64_t> by_severity;
    for (size_t i = from; i < to; ++i) ++by_severity[r.findings[i].severity];
    std::string counted;
    for (const auto& [s, n] : by_severity)
      counted += std::string(counted.empty() ? "" : ", ") + std::to_string(n) + " " + Counted(s, n);
    out += "<details class=\"g\"><summary>" + Escaped(r.findings[from].album) + " <small>" +
           Escaped(r.findings[from].folder) + "</small> &mdash; " + counted + "</summary><table>";
    for (size_t i = from; i < to; ++i) {
      const Finding& f = r.findings[i];
      const char* severity = Audit::SeverityName(f.severity);
      out += "<tr data-r=\"" + Escaped(f.rule) + "\" data-s=\"" + severity + "\"><td class=\"" +
             severity + "\">" + severity + "</td><td>" + Escaped(f.rule) + "</td><td class=\"p\">" +
             Escaped(f.path) + "</td><td>" + Escaped(f.detail) + "</td></tr>";
    }
    out += "</table></details>\n";
  });
  if (!r.stats.findings_per_folder.empty()) {
    out += "<h2>Findings per folder</h2>\n<table>";
    for (const auto& [folder, count] : r.stats.findings_per_folder)
      out += "<tr><td class=\"p\">" + Escaped(folder) + "</td><td class=\"n\">" +
             std::to_string(count) + "</td></tr>";
    out += "</table>\n";
  }
  out += "<script>" + script + "</script>\n</body></html>\n";
  return out;
}

}  // namespace AuditReport
