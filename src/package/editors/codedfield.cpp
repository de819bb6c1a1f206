// SPDX-License-Identifier: MIT
#include "codedfield.h"

#include "host/messages.h"
#include "platform/dataset.h"
#include "platform/datasource.h"

namespace erp::par47300 {

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
            const DataSet::State s = source.state();
            if (s != DataSet::State::Edit && s != DataSet::State::Insert)
                f.dataSet().edit();
            f.setAsString(QString(c.letter));
            if (!asTyped)
                ch = upper;
            return;
        }
    }
    ch = QChar();
}

} // namespace erp::par47300
