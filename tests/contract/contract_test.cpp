// SPDX-License-Identifier: MIT
#include "contract/paramirpj.h"

#include <QSet>

#include <gtest/gtest.h>

using namespace erp;
using namespace erp::contract;

TEST(Contract, EveryLayoutResolvesEachFieldOnceWithItsOneDefinition)
{
    for (const FieldDefs& l : {paramApuLayout(), infCtbLayout(), recDespLayout(), itensDRELayout(), aliquotasLayout(), empresaLayout(),
                               contCtblLayout()}) {
        QSet<QString> seen;
        for (const FieldDef& d : l) {
            EXPECT_FALSE(seen.contains(d.name)) << d.name.toStdString();
            seen.insert(d.name);
            EXPECT_EQ(d, fieldDef(d.name.toLatin1().constData()));
            EXPECT_EQ(d.type == FieldType::String, d.size > 0) << d.name.toStdString();
        }
    }
    // A field shared by two layouts is the same field in both.
    EXPECT_EQ(paramApuLayout().at(0), infCtbLayout().at(1));
    EXPECT_THROW(fieldDef("NRSEQPARAMAPUX"), std::logic_error);
}

TEST(Contract, LetterDomainsHoldExactlyOneOfTheirLetters)
{
    struct Case {
        const char* value;
        const char* letters;
        bool held;
    };
    const Case cases[] = {
        {"A", letter::tipo::all, true},      {"C", letter::tipo::all, true},       {"a", letter::tipo::all, false},
        {"", letter::tipo::all, false},      {"AE", letter::tipo::all, false},     {"I", letter::tipo::all, false},
        {"P", letter::apuracao::all, true},  {"I", letter::origem::all, true},     {"S", letter::simNao::all, true},
        {"D", letter::recDesp::all, true},   {"C", letter::imposto::all, true},    {"A", letter::imposto::all, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(holdsLetter(QString::fromLatin1(c.value), c.letters), c.held) << c.value << " in " << c.letters;
    EXPECT_STREQ(letter::tipo::all, "AEC");
}

TEST(Contract, FieldListJoinsNamesAsKeyListsAreWritten)
{
    EXPECT_EQ(fieldList({f::NMPARAMAPU, f::IDPARAMAPU, f::IDIMPOSTO}), QStringLiteral("NMPARAMAPU;IDPARAMAPU;IDIMPOSTO"));
    EXPECT_EQ(fieldList({f::CHAVE}), QStringLiteral("CHAVE"));
}
