#pragma once

#include <QString>
#include <QStringList>

// The CSV and JSON lines built the plain way, as QString, one character at a time: what the
// exports' UTF-8 writers must give, byte for byte, once encoded.
namespace ReferenceLines {

/// A CSV record with its CR LF, fields quoted where RFC 4180 needs it; with `formula_safe`, a
/// field starting with "=", "+", "-", "@", a tab or a CR gets a "'" in front.
QString CsvLine(const QStringList& cells, bool formula_safe = false);

/// One JSON object with the headers as keys and the cells as values, and a LF; lone surrogates
/// become U+FFFD.
QString JsonLine(const QStringList& headers, const QStringList& cells);

}  // namespace ReferenceLines
