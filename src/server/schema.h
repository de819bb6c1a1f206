// SPDX-License-Identifier: MIT
#pragma once

#include "storage.h"

namespace erp::server {

// Brings the database to the current schema version, one migration per
// version, each in its own transaction. Returns the version reached.
int migrate(Db& db);
int schemaVersion();

enum class Series { Param, InfCtb };
// Issues the next number of a series (its own short transaction on SQLite,
// a SEQUENCE on PostgreSQL, so numbers stay unique across processes).
long long nextSequence(Db& db, Series s);
// The highest number the series has issued so far (0 before the first).
long long lastIssued(Db& db, Series s);

// Fills an empty database with a small, realistic data set. Returns false
// (and writes nothing) when the database already holds companies.
bool fillDemo(Db& db);

} // namespace erp::server
