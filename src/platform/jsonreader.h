// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArrayView>
#include <QJsonValue>
#include <QString>

namespace erp {

// A forward reader over JSON text (RFC 8259), for decoders that turn large
// documents straight into their own structures instead of building a tree
// first. Every error throws PacketError naming the byte offset.
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
    void skipValue(int maxDepth = 32);

    qsizetype offset() const { return p_ - begin_; }
    const char* position() const { return p_; }
    void seek(const char* position) { p_ = position; }
    [[noreturn]] void fail(const char* what) const;

private:
    void skipBlanks();
    void readLiteral(const char* word);

    const char* begin_;
    const char* p_;
    const char* end_;
};

} // namespace erp
