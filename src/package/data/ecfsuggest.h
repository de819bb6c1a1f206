// SPDX-License-Identifier: MIT
#pragma once

#include "ecftable.h"

#include <QHash>
#include <QList>
#include <QStringList>

namespace erp::par47300 {

// Ranks the lines of one dynamic table of the ECF by how well their
// description matches the name of an additions row. Both are reduced to
// words: accents and case dropped, stop words left out, plurals brought to
// the singular ("provisões" → "provisao", "fiscais" → "fiscal"), "não
// dedutível" read as "indedutível"; the row's name also goes through a short
// table of the accountants' names for lines the Receita words otherwise
// ("equivalência patrimonial" → "investimento avaliado pelo valor de
// patrimônio líquido"). A word weighs its idf over the table's descriptions
// (rarer words weigh more); two words match when equal (1) or when they share
// a prefix of five letters or more that leaves at most three letters of the
// shorter one (0.7: "patrimonial" and "patrimonio"). The score is the cosine
// of the two weighted word sets. The weights are computed once per table.
class EcfSuggester {
public:
    explicit EcfSuggester(QList<EcfLine> lines);

    const QList<EcfLine>& lines() const { return lines_; }

    // The lines that fit a row of that kind (IDPARAMAPU) and are valid in the
    // year, sharing at least one word with the name: their indexes, best
    // first (ties in the table's order), at most `limit`.
    QList<int> suggest(const QString& name, QStringView kind, int year, int limit) const;

    // The words of an official description, and of a row's name (which also
    // goes through the table of customary names), as they are compared.
    static QStringList words(const QString& text);
    static QStringList nameWords(const QString& name);

private:
    double idf(const QString& word) const;
    double score(const QStringList& query, double queryNorm, int line) const;

    QList<EcfLine> lines_;
    QList<QStringList> words_; // of each line's description, without repeats
    QList<double> norms_;
    QHash<QString, int> documentFrequency_;
};

} // namespace erp::par47300
