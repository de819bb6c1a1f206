// SPDX-License-Identifier: MIT
#pragma once

#include "host/hostapplication.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace erp::client {

struct Options {
    host::HostSettings settings;
    QString open;       // screen code to open at start
    QString page;       // a page of that screen to bring forward as the user would (by its name)
    QString action;     // then an entry of the screen's Operação menu to run (by its text)
    QString choice;     // in an unattended run, the row the action's list is answered with
    QString screenshot; // PNG to write once the screen is open, then quit
};

// Reads the command line (without the program's name and Qt's own
// options); on a bad value returns nothing and puts a Portuguese message in
// `error`.
std::optional<Options> parseOptions(const QStringList& arguments, QString& error);

// Whether the command line asks for the help, which needs no display.
bool asksForHelp(int argc, char** argv);
// The help --help prints: every option, in Portuguese.
QString helpText();

// The folder of the screen packages: ERP_PACKAGE_DIR when set; the build's
// library folder when the program runs from its build folder; otherwise
// lib/erp-client beside the installed program's bin/, wherever that is.
QString packageDir();

} // namespace erp::client
