// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QAbstractItemModel;

namespace erp::host {

// Writes what a table model shows (its header titles, then every row's
// display texts, in the model's order) as a CSV file that Brazilian
// spreadsheets open as they are: UTF-8 with a byte-order mark, fields
// separated by semicolons, quoted where needed, lines ending in CRLF. The
// file is replaced whole or not at all; a failure throws erp::Error with a
// Portuguese sentence.
void writeCsv(const QAbstractItemModel& model, const QString& path);

// One field as the file holds it: quoted when it holds a separator, a quote,
// a line break or blanks at its ends, with quotes doubled.
QString csvField(const QString& text);

} // namespace erp::host
