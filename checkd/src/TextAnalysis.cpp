#include "TextAnalysis.h"

#include <libstemmer.h>

#include <QHash>

#include <memory>

namespace aimset::checkd {

namespace {

enum class CharClass { separator, word, ideograph, kana, katakana };

CharClass classify(char32_t c) {
    switch (QChar::script(c)) {
    case QChar::Script_Han:
        return CharClass::ideograph;
    case QChar::Script_Hiragana:
        return CharClass::kana;
    case QChar::Script_Katakana:
        return CharClass::katakana;
    default:
        break;
    }
    if (c == U'ー') { // the long-vowel mark belongs to katakana words
        return CharClass::katakana;
    }
    if (QChar::isLetterOrNumber(c) || QChar::category(c) == QChar::Mark_NonSpacing) {
        return CharClass::word;
    }
    return CharClass::separator;
}

// Snowball stemmers keep state, so every thread gets its own.
struct Stemmer {
    sb_stemmer* stemmer = sb_stemmer_new("english", "UTF_8");
    ~Stemmer() {
        if (stemmer) {
            sb_stemmer_delete(stemmer);
        }
    }
};

// The English stemmer leaves German plurals alone; those of the commonest
// noun endings ("Rechnungen", "Informationen", "Universitäten") meet their
// singulars here.
QString singularOfGerman(const QString& word) {
    static const QLatin1StringView endings[] = {
        QLatin1StringView("ungen"),    QLatin1StringView("heiten"), QLatin1StringView("keiten"),
        QLatin1StringView("schaften"), QLatin1StringView("ionen"),  QLatin1StringView("taten")};
    for (const QLatin1StringView ending : endings) {
        if (word.size() > ending.size() + 2 && word.endsWith(ending)) {
            return word.chopped(2);
        }
    }
    return word;
}

QString stem(const QString& input) {
    const QString word = singularOfGerman(input);
    thread_local Stemmer english;
    // Windows repeat their words; most stems are looked up, not computed.
    thread_local QHash<QString, QString> known;
    if (!english.stemmer || word.size() < 4) {
        return word;
    }
    if (const auto found = known.constFind(word); found != known.constEnd()) {
        return *found;
    }
    if (known.size() > 20000) {
        known.clear();
    }
    const QByteArray utf8 = word.toUtf8();
    const sb_symbol* stemmed =
        sb_stemmer_stem(english.stemmer, reinterpret_cast<const sb_symbol*>(utf8.constData()),
                        static_cast<int>(utf8.size()));
    if (!stemmed) {
        return word;
    }
    const QString result = QString::fromUtf8(reinterpret_cast<const char*>(stemmed),
                                             sb_stemmer_length(english.stemmer));
    known.insert(word, result);
    return result;
}

bool isAscii(const QString& word) {
    for (const QChar c : word) {
        if (c.unicode() > 0x7f) {
            return false;
        }
    }
    return true;
}

QString withoutAccents(const QString& word) {
    if (isAscii(word)) {
        return word;
    }
    QString folded;
    const QString decomposed = word.normalized(QString::NormalizationForm_KD);
    folded.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        if (c.category() != QChar::Mark_NonSpacing) {
            folded.append(c);
        }
    }
    return folded;
}

void addWord(QStringList& out, const QString& word) {
    bool hasDigit = false;
    for (const QChar c : word) {
        if (c.isDigit()) {
            hasDigit = true;
            break;
        }
    }
    if (hasDigit) {
        out.append(word);
        // "Lecture08" and "CHEM2310" also speak through their letters.
        QString run;
        for (qsizetype i = 0; i <= word.size(); ++i) {
            if (i < word.size() && word.at(i).isLetter()) {
                run.append(word.at(i));
                continue;
            }
            if (run.size() >= 3 && run.size() < word.size()) {
                out.append(stem(withoutAccents(run)));
            }
            run.clear();
        }
    } else if (word.size() >= 2) {
        out.append(stem(withoutAccents(word)));
    }
}

// Ideographs carry meaning in pairs more often than alone; kana between them
// is mostly grammar and only separates.
void addIdeographRun(QStringList& out, const QString& run) {
    const qsizetype n = run.size();
    if (n == 1) {
        out.append(run);
        return;
    }
    for (qsizetype i = 0; i + 1 < n; ++i) {
        out.append(run.mid(i, 2));
    }
}

} // namespace

QStringList analyzeTerms(const QString& text) {
    QStringList out;
    const QString folded = text.toCaseFolded();
    QString current;
    CharClass currentClass = CharClass::separator;
    auto flush = [&] {
        if (current.isEmpty()) {
            return;
        }
        switch (currentClass) {
        case CharClass::word:
            addWord(out, current);
            break;
        case CharClass::ideograph:
            addIdeographRun(out, current);
            break;
        case CharClass::katakana:
            if (current.size() >= 2) {
                out.append(current);
            }
            break;
        default:
            break;
        }
        current.clear();
    };
    const qsizetype size = folded.size();
    for (qsizetype i = 0; i < size;) {
        char32_t c = folded.at(i).unicode();
        qsizetype width = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < size && folded.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(folded.at(i), folded.at(i + 1));
            width = 2;
        }
        CharClass cls = classify(c);
        if (cls == CharClass::kana) {
            cls = CharClass::separator;
        }
        if (cls != currentClass) {
            flush();
            currentClass = cls;
        }
        if (cls != CharClass::separator) {
            current.append(folded.mid(i, width));
        }
        i += width;
    }
    flush();
    return out;
}

TermBag::TermBag(const QString& text)
    : sequence(analyzeTerms(text)) {
    terms = QSet<QString>(sequence.begin(), sequence.end());
}

} // namespace aimset::checkd
