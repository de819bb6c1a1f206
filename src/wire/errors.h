// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <stdexcept>

namespace erp {

// Base of every failure meant for the user: the message is Portuguese and fit to show.
class Error : public std::runtime_error {
public:
    explicit Error(const QString& message) : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const noexcept { return message_; }

private:
    QString message_;
};

// A refusal whose message was already shown: ends the running operation silently.
class Abort : public std::exception {
public:
    const char* what() const noexcept override { return "operation aborted"; }
};

// Misuse of a dataset (wrong state, unknown field, empty dataset).
class DataSetError : public Error {
public:
    using Error::Error;
};

// A text that does not convert to the field's type.
class ConversionError : public Error {
public:
    using Error::Error;
};

// A data or change packet that is malformed or does not fit its layout.
class PacketError : public Error {
public:
    using Error::Error;
};

} // namespace erp
