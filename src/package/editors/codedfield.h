// SPDX-License-Identifier: MIT
#pragma once

#include <QChar>
#include <QList>
#include <QString>
#include <QStringList>

namespace erp {
class DataSource;
class Field;
namespace host {
class TMessages;
}
} // namespace erp

namespace erp::par47300 {

// A one-letter field shown as a catalogue text: each stored letter with the
// catalogue key of its text, in the order the texts are tried on entry and
// offered in the field's grid column.
struct CodedField {
    struct Code {
        char letter; // from contract::letter
        const char* key;
    };
    QList<Code> codes;

    // The text of the stored letter; any other value (empty included) shows empty.
    QString text(const Field& f, const host::TMessages& msg) const;
    // The text of a stored value; any other value shows empty.
    QString textOf(QStringView stored, const host::TMessages& msg) const;
    // Stores the letter whose text is exactly `entered`; any other text changes nothing.
    void setText(Field& f, const QString& entered, const host::TMessages& msg) const;
    // A character typed in the field's grid column, compared in upper case:
    // when it is one of the letters the row enters edit (a new row on an
    // empty grid) and stores it, and the character goes on (upper-cased
    // unless `asTyped`); every other character is discarded (made null).
    void keyPress(Field& f, const DataSource& source, QChar& ch, bool asTyped = false) const;
    // Every text, in order: the choices of the field's grid column.
    QStringList texts(const host::TMessages& msg) const;
};

// The screen's coded fields.
namespace coded {
extern const CodedField tipo;     // IDPARAMAPU
extern const CodedField origem;   // IDINFCTBIRPJ
extern const CodedField apuracao; // IDFORMAPURITEM
extern const CodedField recDesp;  // IDRECDESPIRPJ
extern const CodedField simNao;   // IDRECDESPIRPJOP, IDCONSVRDEB
// The coded field of that name, or null for a field that is not coded.
const CodedField* byField(QStringView name);
} // namespace coded

} // namespace erp::par47300
