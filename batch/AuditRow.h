#pragma once

#include <QString>
#include <QStringList>

#include "batch/Audit.h"

class clsID3;

/// A report row made from the tag object just after it read a file: the catalogue's cells for
/// the report's columns and, when the read kept the pictures, the front cover.
namespace AuditRow {

/// `extra`: the headers of required fields beyond the report's columns (Audit::ExtraHeaders).
Audit::Row Make(const clsID3& tag, const QString& path, const QStringList& extra = {});

}  // namespace AuditRow
