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
// error throws PacketError naming the byte offset; nesting deeper than
// allowed throws JsonTooDeep where it passes the bound.
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
    // Any value as a tree, nested at most maxDepth levels.
    QJsonValue readValue(int maxDepth = 32);
    // Checks a value against the grammar without building anything.
    void skipValue(int maxDepth = 32);
    // The same, also noting objects that name a member twice.
    void checkValue(int maxDepth = 32);
    bool repeatedMember() const { return repeatedMember_; }

    qsizetype offset() const { return p_ - begin_; }
    const char* position() const { return p_; }
    void seek(const char* position) { p_ = position; }
    [[noreturn]] void fail(const char* what) const;
    [[noreturn]] void tooDeep() const;

private:
    void skipBlanks();
    void readLiteral(const char* word);
    void skipString();
    void scan(int maxDepth, bool members);

    const char* begin_;
    const char* p_;
    const char* end_;
    bool repeatedMember_ = false;
};

} // namespace erp
