// SPDX-License-Identifier: MIT
#pragma once

#include "options.h"

// --setup-postgres: the shared database of an office in one step.
namespace erp::server {

// Connected to an existing PostgreSQL as a superuser through
// `opt.setupUrl`, makes sure that there are
//   - the login role NAME, owner of the database NAME and of its schema,
//     which the application servers use;
//   - the login role NAME_leitura, which the accountants' clients use: it
//     may connect to NAME, use the schema public and SELECT from EMPRESA and
//     CONTCTBL, nothing else, and its transactions are read-only;
//   - the schema at this program's version (and the demo data with --demo).
// The passwords are generated (or taken again from the files of an earlier
// run) and written, in the format of libpq's password file, to
// NAME.pgpass and NAME_leitura.pgpass in `opt.setupDir`, readable by their
// owner only; only their SCRAM verifiers reach PostgreSQL. Then it prints
// what to add to postgresql.conf and pg_hba.conf to open the database to the
// office. Running it again changes nothing but what is missing. Returns the
// exit status.
int setupPostgres(const Options& opt);

} // namespace erp::server
