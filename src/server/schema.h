// SPDX-License-Identifier: MIT
#pragma once

#include "storage.h"

#include <QString>

#include <vector>

namespace erp::server {

// Brings the database to the current schema version, one migration per
// version, each in its own transaction. Returns the version reached.
int migrate(Db& db);
int schemaVersion();

// The form of a name or code in the unique indexes: duplicates are refused
// ignoring letter case, accents included, on both engines.
inline QString caseKey(const QString& s)
{
    return s.toUpper();
}

enum class Series { Param, InfCtb };
// Issues the next number of a series (its own short transaction on SQLite,
// a SEQUENCE on PostgreSQL, so numbers stay unique across processes).
long long nextSequence(Db& db, Series s);
// The same inside the caller's write transaction.
long long takeSequence(Db& db, Series s);
// `count` numbers at once, inside the caller's write transaction (one
// statement whatever the count, for copies of whole companies).
std::vector<long long> takeSequences(Db& db, Series s, long long count);
// The highest number the series has issued so far (0 before the first).
long long lastIssued(Db& db, Series s);
// The query lastIssued runs, for statements that compare with it.
std::string lastIssuedSql(Dialect d, Series s);

// Fills an empty database with a small, realistic data set. Returns false
// (and writes nothing) when the database already holds companies.
bool fillDemo(Db& db);

} // namespace erp::server
