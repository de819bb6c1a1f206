// SPDX-License-Identifier: MIT
#include "jsonreader.h"

#include "errors.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <vector>

namespace erp {

namespace {
QString malformed(const char* what, qsizetype at)
{
    return QStringLiteral("Pacote de dados inválido: JSON malformado (%1, posição %2).").arg(QString::fromUtf8(what)).arg(at);
}
} // namespace

void JsonReader::fail(const char* what) const
{
    throw PacketError(malformed(what, p_ - begin_));
}

void JsonReader::tooDeep() const
{
    throw JsonTooDeep(malformed("aninhamento excessivo", p_ - begin_));
}

void JsonReader::skipBlanks()
{
    while (p_ < end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t'))
        ++p_;
}

bool JsonReader::consume(char c)
{
    skipBlanks();
    if (p_ < end_ && *p_ == c) {
        ++p_;
        return true;
    }
    return false;
}

void JsonReader::expect(char c)
{
    if (!consume(c)) {
        const char what[] = {'e', 's', 'p', 'e', 'r', 'a', 'v', 'a', ' ', '\'', c, '\'', '\0'};
        fail(what);
    }
}

char JsonReader::peek()
{
    skipBlanks();
    return p_ < end_ ? *p_ : '\0';
}

bool JsonReader::atEnd()
{
    skipBlanks();
    return p_ == end_;
}

namespace {
int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

QString JsonReader::readString()
{
    expect('"');
    // Fast path: a run without escapes is decoded in one go.
    const char* start = p_;
    while (p_ < end_ && *p_ != '"' && *p_ != '\\') {
        if (static_cast<unsigned char>(*p_) < 0x20)
            fail("caractere de controle em um texto");
        ++p_;
    }
    if (p_ == end_)
        fail("texto sem fim");
    // Checked per raw run: an escaped U+FFFD is a valid character.
    auto raw = [this](const char* from) {
        const QByteArrayView bytes(from, p_ - from);
        if (!bytes.isValidUtf8())
            fail("texto com UTF-8 inválido");
        return QString::fromUtf8(bytes);
    };
    QString out = raw(start);
    while (*p_ != '"') {
        if (*p_ == '\\') {
            if (++p_ == end_)
                fail("texto sem fim");
            switch (*p_++) {
            case '"': out += u'"'; break;
            case '\\': out += u'\\'; break;
            case '/': out += u'/'; break;
            case 'b': out += u'\b'; break;
            case 'f': out += u'\f'; break;
            case 'n': out += u'\n'; break;
            case 'r': out += u'\r'; break;
            case 't': out += u'\t'; break;
            case 'u': {
                if (end_ - p_ < 4)
                    fail("escape \\u incompleto");
                char16_t unit = 0;
                for (int i = 0; i < 4; ++i) {
                    const int h = hexDigit(*p_++);
                    if (h < 0)
                        fail("escape \\u inválido");
                    unit = char16_t(unit * 16 + h);
                }
                out += QChar(unit);
                break;
            }
            default: fail("escape inválido");
            }
        } else {
            const char* run = p_;
            while (p_ < end_ && *p_ != '"' && *p_ != '\\') {
                if (static_cast<unsigned char>(*p_) < 0x20)
                    fail("caractere de controle em um texto");
                ++p_;
            }
            out += raw(run);
        }
        if (p_ == end_)
            fail("texto sem fim");
    }
    ++p_;
    return out;
}

bool JsonReader::readNumber(double& value)
{
    skipBlanks();
    const char* s = p_;
    if (s < end_ && *s == '-')
        ++s;
    if (s == end_ || *s < '0' || *s > '9')
        return false;
    // The JSON grammar: no leading zeros, digits after a point and in an exponent.
    if (*s == '0' && s + 1 < end_ && s[1] >= '0' && s[1] <= '9')
        fail("número com zero à esquerda");
    while (s < end_ && *s >= '0' && *s <= '9')
        ++s;
    if (s < end_ && *s == '.') {
        if (++s == end_ || *s < '0' || *s > '9')
            fail("número inválido");
        while (s < end_ && *s >= '0' && *s <= '9')
            ++s;
    }
    if (s < end_ && (*s == 'e' || *s == 'E')) {
        ++s;
        if (s < end_ && (*s == '+' || *s == '-'))
            ++s;
        if (s == end_ || *s < '0' || *s > '9')
            fail("número inválido");
        while (s < end_ && *s >= '0' && *s <= '9')
            ++s;
    }
    const auto [ptr, ec] = std::from_chars(p_, s, value);
    if (ec != std::errc() || ptr != s)
        fail("número fora da faixa");
    p_ = s;
    return true;
}

void JsonReader::readLiteral(const char* word)
{
    const std::size_t n = std::strlen(word);
    if (std::size_t(end_ - p_) < n || std::memcmp(p_, word, n) != 0)
        fail("valor inválido");
    p_ += n;
}

bool JsonReader::readNull()
{
    if (peek() != 'n')
        return false;
    readLiteral("null");
    return true;
}

QJsonValue JsonReader::readValue(int maxDepth)
{
    switch (peek()) {
    case '{': {
        if (maxDepth <= 0)
            tooDeep();
        ++p_;
        QJsonObject o;
        if (consume('}'))
            return o;
        do {
            if (peek() != '"')
                fail("esperava o nome de um membro");
            const QString key = readString();
            expect(':');
            o.insert(key, readValue(maxDepth - 1));
        } while (consume(','));
        expect('}');
        return o;
    }
    case '[': {
        if (maxDepth <= 0)
            tooDeep();
        ++p_;
        QJsonArray a;
        if (consume(']'))
            return a;
        do
            a.append(readValue(maxDepth - 1));
        while (consume(','));
        expect(']');
        return a;
    }
    case '"': return readString();
    case 't': readLiteral("true"); return true;
    case 'f': readLiteral("false"); return false;
    case 'n': readLiteral("null"); return QJsonValue::Null;
    default: {
        double d = 0;
        if (!readNumber(d))
            fail("valor inválido");
        return d;
    }
    }
}

// The checks of readString without building the text.
void JsonReader::skipString()
{
    expect('"');
    for (const char* run = p_;; run = p_) {
        while (p_ < end_ && *p_ != '"' && *p_ != '\\') {
            if (static_cast<unsigned char>(*p_) < 0x20)
                fail("caractere de controle em um texto");
            ++p_;
        }
        if (p_ == end_)
            fail("texto sem fim");
        if (!QByteArrayView(run, p_ - run).isValidUtf8())
            fail("texto com UTF-8 inválido");
        if (*p_++ == '"')
            return;
        if (p_ == end_)
            fail("texto sem fim");
        switch (*p_++) {
        case '"':
        case '\\':
        case '/':
        case 'b':
        case 'f':
        case 'n':
        case 'r':
        case 't': break;
        case 'u':
            if (end_ - p_ < 4)
                fail("escape \\u incompleto");
            for (int i = 0; i < 4; ++i)
                if (hexDigit(*p_++) < 0)
                    fail("escape \\u inválido");
            break;
        default: fail("escape inválido");
        }
    }
}

void JsonReader::scan(int maxDepth, bool members)
{
    switch (peek()) {
    case '{': {
        if (maxDepth <= 0)
            tooDeep();
        ++p_;
        if (consume('}'))
            return;
        // Member names as read (escapes resolved): searched in a list while
        // few, in a hash once many, so a huge object stays linear.
        std::vector<QString> names;
        QSet<QString> manyNames;
        do {
            if (peek() != '"')
                fail("esperava o nome de um membro");
            if (members) {
                QString name = readString();
                if (manyNames.isEmpty() && names.size() < 16) {
                    repeatedMember_ = repeatedMember_ || std::find(names.begin(), names.end(), name) != names.end();
                    names.push_back(std::move(name));
                } else {
                    if (manyNames.isEmpty())
                        manyNames = QSet<QString>(names.begin(), names.end());
                    repeatedMember_ = repeatedMember_ || manyNames.contains(name);
                    manyNames.insert(std::move(name));
                }
            } else {
                skipString();
            }
            expect(':');
            scan(maxDepth - 1, members);
        } while (consume(','));
        expect('}');
        return;
    }
    case '[':
        if (maxDepth <= 0)
            tooDeep();
        ++p_;
        if (consume(']'))
            return;
        do
            scan(maxDepth - 1, members);
        while (consume(','));
        expect(']');
        return;
    case '"': skipString(); return;
    case 't': readLiteral("true"); return;
    case 'f': readLiteral("false"); return;
    case 'n': readLiteral("null"); return;
    default: {
        double d = 0;
        if (!readNumber(d))
            fail("valor inválido");
        return;
    }
    }
}

void JsonReader::skipValue(int maxDepth)
{
    scan(maxDepth, false);
}

void JsonReader::checkValue(int maxDepth)
{
    scan(maxDepth, true);
}

} // namespace erp
