// SPDX-License-Identifier: MIT
#pragma once

#include "errors.h"

#include <QByteArrayView>
#include <QJsonValue>
#include <QString>

namespace erp {

// Thrown where arrays and objects nest deeper than the reader was allowed to go.
class JsonTooDeep : public PacketError {
public:
    using PacketError::PacketError;
};

// A forward reader over JSON text (RFC 8259), for decoders that turn large
// documents straight into their own structures instead of building a tree
// first. It is strict: whatever RFC 8259 does not define is refused. Every
// error throws PacketError naming the byte offset.
class JsonReader {
public:
    explicit JsonReader(QByteArrayView text) : begin_(text.data()), p_(text.data()), end_(text.data() + text.size()) {}

    // Skips blanks and consumes c if it is next; true when it was.
    bool consume(char c);
    void expect(char c);
    // Next non-blank character without consuming it ('\0' at the end).
    char peek();
    bool atEnd();

    QString readString();
    // A number; false (nothing consumed) when the next value is not a number.
    bool readNumber(double& value);
    // null; false (nothing consumed) when the next value is not null.
    bool readNull();
    // Any value as a tree, nested at most maxDepth levels (JsonTooDeep
    // otherwise). Whole numbers that fit 64 bits keep every digit.
    QJsonValue readValue(int maxDepth = 32);
    void skipValue(int maxDepth = 32);

    // True once readValue met an object naming a member twice (the tree keeps the last).
    bool repeatedMember() const { return repeatedMember_; }

    qsizetype offset() const { return p_ - begin_; }
    const char* position() const { return p_; }
    void seek(const char* position) { p_ = position; }
    [[noreturn]] void fail(const char* what) const;
    [[noreturn]] void tooDeep() const;

private:
    void skipBlanks();
    void readLiteral(const char* word);
    // End of the number that starts here (after blanks), checked against the
    // grammar; nullptr when no number starts here.
    const char* scanNumber(bool& whole);

    const char* begin_;
    const char* p_;
    const char* end_;
    bool repeatedMember_ = false;
};

} // namespace erp
