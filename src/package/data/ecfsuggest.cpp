// SPDX-License-Identifier: MIT
#include "ecfsuggest.h"

#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace erp::par47300 {

namespace {

// Accents and case dropped; anything but letters and digits becomes a blank.
QString folded(const QString& text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString out;
    out.reserve(decomposed.size());
    for (const QChar ch : decomposed) {
        if (ch.category() == QChar::Mark_NonSpacing)
            continue;
        out += ch.isLetterOrNumber() ? ch.toLower() : QChar(u' ');
    }
    return out;
}

bool isStopWord(const QString& w)
{
    static const QSet<QString> stop = [] {
        QSet<QString> s;
        for (const char* word : {"a", "o", "as", "os", "e", "de", "da", "do", "das", "dos", "em", "no", "na", "nos", "nas", "num", "numa",
                                 "por", "pelo", "pela", "pelos", "pelas", "para", "com", "sem", "ou", "ao", "aos", "que", "se", "sua",
                                 "seu", "suas", "seus", "sobre", "entre", "ate", "apos", "como", "mais", "menos", "outro", "outros",
                                 "outra", "outras", "nº", "art", "arts", "lei", "inciso", "caso"})
            s.insert(QString::fromUtf8(word));
        return s;
    }();
    return stop.contains(w);
}

// The singular of a Portuguese plural, by its ending; a word of three
// letters or fewer is left as it is.
QString singular(const QString& w)
{
    static const std::pair<const char*, const char*> endings[] = {{"oes", "ao"}, {"aes", "ao"}, {"ais", "al"}, {"eis", "el"}, {"ois", "ol"},
                                                                  {"ns", "m"},   {"res", "r"},  {"zes", "z"},  {"ses", "s"}};
    for (const auto& [plural, single] : endings) {
        const QLatin1String ending(plural);
        if (w.size() >= ending.size() + 2 && w.endsWith(ending))
            return w.chopped(ending.size()) + QLatin1String(single);
    }
    if (w.size() > 3 && w.endsWith(u's') && !w.endsWith(QLatin1String("ss")))
        return w.chopped(1);
    return w;
}

// The accountants' names for lines the Receita words otherwise, as folded texts.
QString customaryNames(QString text)
{
    static const std::pair<QRegularExpression, QString> names[] = {
        {QRegularExpression(QStringLiteral("\\b(equivalencia patrimonial|mep)\\b")), QStringLiteral("investimento avaliado valor patrimonio liquido")},
        {QRegularExpression(QStringLiteral("\\bbrindes?\\b")), QStringLiteral("bens nao intrinsecamente relacionados producao comercializacao")},
        {QRegularExpression(QStringLiteral("\\bjcp\\b")), QStringLiteral("juros capital proprio")},
        {QRegularExpression(QStringLiteral("\\bbase negativa\\b")), QStringLiteral("base calculo negativa")},
    };
    for (const auto& [pattern, official] : names)
        text.replace(pattern, official);
    return text;
}

QStringList wordsOf(const QString& foldedText)
{
    QStringList out;
    for (const QString& w : foldedText.split(u' ', Qt::SkipEmptyParts)) {
        bool number = false;
        (void)w.toLongLong(&number);
        if (w.size() < 2 || number || isStopWord(w))
            continue;
        const QString s = singular(w);
        // "não dedutível" is "indedutível"; any other "não" says nothing of the line.
        if (!out.isEmpty() && out.back() == QLatin1String("nao") && s.startsWith(QLatin1String("dedut")))
            out.back() = QLatin1String("in") + s;
        else
            out.append(s);
    }
    out.removeAll(QStringLiteral("nao"));
    out.removeDuplicates();
    return out;
}

double similarity(const QString& a, const QString& b)
{
    if (a == b)
        return 1.0;
    const qsizetype shorter = std::min(a.size(), b.size());
    qsizetype common = 0;
    while (common < shorter && a[common] == b[common])
        ++common;
    return common >= 5 && common >= shorter - 3 ? 0.7 : 0.0;
}

} // namespace

QStringList EcfSuggester::words(const QString& text)
{
    return wordsOf(folded(text));
}

QStringList EcfSuggester::nameWords(const QString& name)
{
    return wordsOf(customaryNames(folded(name)));
}

EcfSuggester::EcfSuggester(QList<EcfLine> lines) : lines_(std::move(lines))
{
    words_.reserve(lines_.size());
    for (const EcfLine& l : lines_) {
        words_.append(words(l.description));
        for (const QString& w : words_.back())
            ++documentFrequency_[w];
    }
    norms_.reserve(lines_.size());
    for (const QStringList& ws : words_) {
        double sum = 0;
        for (const QString& w : ws)
            sum += idf(w) * idf(w);
        norms_.append(std::sqrt(sum));
    }
}

double EcfSuggester::idf(const QString& word) const
{
    return std::log(double(lines_.size() + 1) / double(documentFrequency_.value(word) + 1)) + 1.0;
}

double EcfSuggester::score(const QStringList& query, double queryNorm, int line) const
{
    const QStringList& described = words_[line];
    if (described.isEmpty() || queryNorm <= 0)
        return 0;
    double sum = 0;
    for (const QString& q : query) {
        double best = 0;
        for (const QString& d : described)
            best = std::max(best, similarity(q, d) * idf(d));
        sum += idf(q) * best;
    }
    return sum / (queryNorm * norms_[line]);
}

QList<int> EcfSuggester::suggest(const QString& name, QStringView kind, int year, int limit) const
{
    const QStringList query = nameWords(name);
    double norm = 0;
    for (const QString& q : query)
        norm += idf(q) * idf(q);
    norm = std::sqrt(norm);

    QList<std::pair<double, int>> ranked;
    for (int i = 0; i < lines_.size(); ++i) {
        if (!ecf::fits(lines_[i], kind) || !ecf::validIn(lines_[i], year))
            continue;
        if (const double s = score(query, norm, i); s > 0)
            ranked.append({s, i});
    }
    std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    QList<int> best;
    for (qsizetype i = 0; i < ranked.size() && i < limit; ++i)
        best.append(ranked[i].second);
    return best;
}

} // namespace erp::par47300
