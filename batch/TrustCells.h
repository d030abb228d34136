#pragma once

#include <QString>

#include "batch/CellText.h"
#include "tag/FieldSources.h"

class clsID3;

/// The cells that say how far to trust the others: where each value came from, which ID3v1
/// values disagree with the shown ones, the code page of the legacy text, and the duration
/// counted in samples with where its frame count came from.
namespace TrustCells {

/// The field's name as the result table's columns call it ("Title", "TrackNumber", "Genre").
QString FieldName(FieldId field);

/// Each appends its cell to `out`, where the row's cells are made one after another.
/// "Title v2.4 TIT2; Artist Lyrics3v2 EAR; Year v1": every field some tag gave a value, in the
/// order of the columns.
void AppendSources(CellText& out, const clsID3& tag);
/// "Title; Year": the fields whose ID3v1 value differs from the one shown.
void AppendConflicts(CellText& out, const clsID3& tag);
/// The Conflicts cell's tooltip: a line a field, with both values, as in
/// `Title: "Long title" in the tag, "Long ti" in ID3v1`; an added tag's field as the cell lists
/// it. Empty where the cell is.
QString ConflictsTip(const clsID3& tag);
/// The code page legacy text was read with ("windows-1252", "windows-1251"); empty for a file
/// without legacy text.
void AppendDecodedAs(CellText& out, const clsID3& tag);
/// Seconds with milliseconds ("3.000"); empty without audio.
void AppendExactDuration(CellText& out, const clsID3& tag);
/// The number with three decimals, as QString::number(value, 'f', 3) writes it.
void AppendThousandths(CellText& out, double value);
/// "LAME header", "Xing", "VBRI" or "bit-rate estimate"; empty without audio.
void AppendDurationSource(CellText& out, const clsID3& tag);

}  // namespace TrustCells
