// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <functional>

namespace erp::host {

// What the running host application is working with (HostApplication):
// the company, and the application server's address, port and token.
QString EmprProc();
QString WebURL();
int WebPort();
QString WebToken();

// Shows the text as an error, then (with abort) ends the running operation
// by throwing erp::Abort: nothing after the call runs.
void MensErro(const QString& text, bool abort = true);

// True when the text is empty or holds only blanks: a name of spaces is no name.
bool EmptyString(const QString& text);

// The text trimmed of blanks and brought to the width: a shorter code is
// filled with zeros on the left ("1" -> "01"), a longer one keeps its first
// characters. An empty text stays empty, so it is still seen as missing.
QString Ajusta(const QString& text, int width);

// Edit masks by picture kind. Kind 2 is the ledger-account code: digits shown
// as 9.9.9.99.9999, the dots not stored, so a stored code comes back unchanged
// and an item key keeps its type in characters 1-2 and its item in 3-6.
QString DBPict(int kind);

// Runs a piece of work from the event loop: an abort ends it silently, any
// other failure is shown in one error dialog. Nothing escapes to Qt. True
// when the work went through; false when it was refused or failed.
bool guarded(const std::function<void()>& work) noexcept;
// Shows the current exception as guarded() would; for use in a catch block.
void reportCurrentException() noexcept;

} // namespace erp::host
