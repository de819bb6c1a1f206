// SPDX-License-Identifier: MIT
#include "codedfield.h"

#include "host/messages.h"
#include "platform/dataset.h"
#include "platform/datasource.h"

namespace erp::par47300 {

namespace coded {
const CodedField tipo{{{u'A', "A"}, {u'E', "E"}, {u'C', "C"}}};
const CodedField origem{{{u'C', "CONTCTBL"}, {u'I', "I"}}};
const CodedField apuracao{{{u'C', "Comp"}, {u'P', "Pag"}}};
const CodedField recDesp{{{u'R', "R"}, {u'D', "D"}}};
const CodedField simNao{{{u'S', "SIM"}, {u'N', "NAO"}}};
} // namespace coded

QString CodedField::text(const Field& f, const host::TMessages& msg) const
{
    const QString stored = f.asString();
    for (const Code& c : codes)
        if (stored == QString(c.letter))
            return msg.Msg(QString::fromLatin1(c.key));
    return {};
}

void CodedField::setText(Field& f, const QString& entered, const host::TMessages& msg) const
{
    for (const Code& c : codes) {
        if (entered == msg.Msg(QString::fromLatin1(c.key))) {
            f.setAsString(QString(c.letter));
            return;
        }
    }
}

void CodedField::keyPress(Field& f, const DataSource& source, QChar& ch, bool asTyped) const
{
    // Only a to z are upper-cased; accented letters stay as typed and are refused.
    const QChar upper = (ch >= u'a' && ch <= u'z') ? QChar(ch.unicode() - (u'a' - u'A')) : ch;
    for (const Code& c : codes) {
        if (upper == c.letter) {
            const DataSet* shown = source.dataSet();
            if (!shown || !shown->isEditing())
                f.dataSet().edit();
            f.setAsString(QString(c.letter));
            if (!asTyped)
                ch = upper;
            return;
        }
    }
    ch = QChar();
}

QStringList CodedField::texts(const host::TMessages& msg) const
{
    QStringList out;
    for (const Code& c : codes)
        out << msg.Msg(QString::fromLatin1(c.key));
    return out;
}

} // namespace erp::par47300
