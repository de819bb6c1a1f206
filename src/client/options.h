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
    QString screenshot; // PNG to write once the screen is open, then quit
};

// Reads the command line; on a bad value returns nothing and puts a
// Portuguese message in `error`.
std::optional<Options> parseOptions(const QStringList& arguments, QString& error);

} // namespace erp::client
