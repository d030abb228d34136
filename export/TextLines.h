#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <span>
#include <string>
#include <vector>

/// Pure builders of the exports' lines. Lengths and widths count 16-bit code units, as the list
/// does; the files and the clipboard then carry the lines as UTF-8.
namespace TextLines {

/// Appends the text, spaces up to the width (none when the text is as wide or wider), then a tab.
void AppendPaddedField(QString& line, QStringView text, int width);

/// Appends the text as UTF-8; a lone surrogate, which UTF-8 cannot carry, becomes U+FFFD.
void AppendUtf8(std::string& out, QStringView text);

/// AppendPaddedField straight into UTF-8: the width still counts 16-bit code units.
void AppendPaddedFieldUtf8(std::string& out, QStringView text, int width);

/// A line of the aligned text file, without its line end: every field padded and closed by a tab.
QString AlignedLine(const QStringList& cells, const std::vector<int>& widths);

/// A line of the clipboard text with its CR LF: padded fields, the last one without its tab and
/// without the spaces that then end the line.
QString ClipboardLine(const QStringList& cells, const std::vector<int>& widths);

/// The longest a clipboard line of these widths can be, CR LF included.
qsizetype ClipboardLineBound(const std::vector<int>& widths);

/// A CSV record in UTF-8 (comma separated, fields quoted when they hold a comma, quote, CR or LF)
/// with its CR LF; a lone surrogate becomes "?". With `formula_safe`, a field starting with "=",
/// "+", "-", "@", a tab or a CR gets a "'" in front, so a spreadsheet that opens the file shows
/// it as text, never runs it.
void AppendCsvLineUtf8(std::string& out, std::span<const QStringView> cells,
                       bool formula_safe = false);

/// The keys of a JSON line, once per table: each header as a JSON string with its colon.
std::vector<std::string> JsonKeys(const QStringList& headers);

/// One JSON object in UTF-8 with the keys JsonKeys made and the cells as values, and a LF;
/// cells past the last are empty. Code units that cannot stand in JSON text (lone surrogates)
/// become U+FFFD, so every line is valid UTF-8 JSON.
void AppendJsonLineUtf8(std::string& out, const std::vector<std::string>& keys,
                        std::span<const QStringView> cells);

/// The most characters one workbook cell holds.
inline constexpr qsizetype kWorkbookCellLimit = 32767;

/// The cell text a workbook can hold: NUL, which would end the text early, becomes U+FFFD, and a
/// text over the cell limit is cut to it (never between the halves of a surrogate pair). `cut`
/// tells whether it was cut.
QString WorkbookCellText(const QString& text, bool& cut);

/// The text with every "=" removed, as the workbook export writes tag cells.
QString WithoutEquals(const QString& text);

}  // namespace TextLines
