// SPDX-License-Identifier: MIT
#include "codedfield.h"

#include "data/fields.h"
#include "host/messages.h"
#include "platform/dataset.h"
#include "platform/datasource.h"

namespace erp::par47300 {

namespace coded {
const CodedField tipo{{{letter::tipo::Adicao, "A"}, {letter::tipo::Exclusao, "E"}, {letter::tipo::Compensacao, "C"}}};
const CodedField origem{{{letter::origem::Conta, "CONTCTBL"}, {letter::origem::Item, "I"}}};
const CodedField apuracao{{{letter::apuracao::Competencia, "Comp"}, {letter::apuracao::Pagamento, "Pag"}}};
const CodedField recDesp{{{letter::recDesp::Receita, "R"}, {letter::recDesp::Despesa, "D"}}};
const CodedField simNao{{{letter::simNao::Sim, "SIM"}, {letter::simNao::Nao, "NAO"}}};

const CodedField* byField(QStringView name)
{
    static const std::pair<const char*, const CodedField*> fields[] = {
        {f::IDPARAMAPU, &tipo},         {f::IDINFCTBIRPJ, &origem},     {f::IDFORMAPURITEM, &apuracao},
        {f::IDRECDESPIRPJ, &recDesp},   {f::IDRECDESPIRPJOP, &simNao}, {f::IDCONSVRDEB, &simNao}};
    for (const auto& [fieldName, codedField] : fields)
        if (name == QLatin1String(fieldName))
            return codedField;
    return nullptr;
}
} // namespace coded

QString CodedField::text(const Field& f, const host::TMessages& msg) const
{
    return textOf(f.asString(), msg);
}

QString CodedField::textOf(QStringView stored, const host::TMessages& msg) const
{
    for (const Code& c : codes)
        if (isLetter(stored, c.letter))
            return msg.Msg(QString::fromLatin1(c.key));
    return {};
}

void CodedField::setText(Field& f, const QString& entered, const host::TMessages& msg) const
{
    for (const Code& c : codes) {
        if (entered == msg.Msg(QString::fromLatin1(c.key))) {
            f.setAsString(letterText(c.letter));
            return;
        }
    }
}

void CodedField::keyPress(Field& f, const DataSource& source, QChar& ch, bool asTyped) const
{
    // Only a to z are upper-cased; accented letters stay as typed and are refused.
    const QChar upper = (ch >= u'a' && ch <= u'z') ? QChar(ch.unicode() - (u'a' - u'A')) : ch;
    for (const Code& c : codes) {
        if (upper == QLatin1Char(c.letter)) {
            const DataSet* shown = source.dataSet();
            if (!shown || !shown->isEditing())
                f.dataSet().edit();
            f.setAsString(letterText(c.letter));
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
