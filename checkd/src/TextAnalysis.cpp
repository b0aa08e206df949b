#include "TextAnalysis.h"

#include <libstemmer.h>

#include <QHash>
#include <QSet>
#include <QVarLengthArray>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace aimset::checkd {

namespace {

constexpr qsizetype kRememberedPerThread = 2000;

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
    sb_stemmer* stemmer;
    explicit Stemmer(const char* language = "english")
        : stemmer(sb_stemmer_new(language, "UTF_8")) {}
    Stemmer(const Stemmer&) = delete;
    Stemmer& operator=(const Stemmer&) = delete;
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
    if (!word.endsWith(QLatin1Char('n'))) { // as every ending does
        return word;
    }
    for (const QLatin1StringView ending : endings) {
        if (word.size() > ending.size() + 2 && word.endsWith(ending)) {
            return word.chopped(2);
        }
    }
    return word;
}

bool isAscii(QStringView word) {
    for (const QChar c : word) {
        if (c.unicode() > 0x7f) {
            return false;
        }
    }
    return true;
}

QString stem(const QString& word, sb_stemmer* stemmer) {
    if (!stemmer || word.size() < 4) {
        return word;
    }
    // Most words are ASCII: their UTF-8 is written on the stack.
    QVarLengthArray<char, 64> utf8;
    if (isAscii(word)) {
        utf8.resize(word.size());
        std::transform(word.begin(), word.end(), utf8.begin(),
                       [](QChar c) { return static_cast<char>(c.unicode()); });
    } else {
        const QByteArray bytes = word.toUtf8();
        utf8.append(bytes.constData(), bytes.size());
    }
    const sb_symbol* stemmed =
        sb_stemmer_stem(stemmer, reinterpret_cast<const sb_symbol*>(utf8.constData()),
                        static_cast<int>(utf8.size()));
    if (!stemmed) {
        return word;
    }
    const int length = sb_stemmer_length(stemmer);
    // Many words are their own stem: they keep sharing the word's characters.
    if (length == utf8.size() && std::memcmp(stemmed, utf8.constData(), utf8.size()) == 0) {
        return word;
    }
    return QString::fromUtf8(reinterpret_cast<const char*>(stemmed), length);
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
            // Turkish "İ" has no simple case folding: it decomposes to "I".
            folded.append(c.toCaseFolded());
        }
    }
    return folded;
}

// The comparable term of one case-folded word, each distinct word reduced
// once; the lookup borrows the word's characters.
QString termOf(QStringView word, WordMemory& memory) {
    TermHash<QString>& known = memory.known;
    if (const auto found = known.constFind(QString::fromRawData(word.data(), word.size()));
        found != known.constEnd()) {
        return *found;
    }
    if (memory.limit > 0 && known.size() > memory.limit) {
        known.clear();
    }
    const QString key = word.toString();
    thread_local Stemmer english;
    // A word its accents tell from another: French "même" (same) is no meme,
    // and "thèse" (a thesis) no English "these".
    static const QSet<QString> accentsTell{QStringLiteral("même"), QStringLiteral("mêmes"),
                                           QStringLiteral("thèse"), QStringLiteral("thèses")};
    const QString term = stem(
        singularOfGerman(accentsTell.contains(key) ? key : withoutAccents(key)), english.stemmer);
    known.insert(key, term);
    return term;
}

void addWord(QStringList& out, QStringView word, WordMemory& memory) {
    bool hasDigit = false;
    for (const QChar c : word) {
        if (c.isDigit()) {
            hasDigit = true;
            break;
        }
    }
    if (hasDigit) {
        out.append(word.toString());
        // "Lecture08" and "CHEM2310" also speak through their letters.
        qsizetype run = 0;
        for (qsizetype i = 0; i <= word.size(); ++i) {
            if (i < word.size() && word.at(i).isLetter()) {
                ++run;
                continue;
            }
            if (run >= 3 && run < word.size()) {
                out.append(termOf(word.sliced(i - run, run), memory));
            }
            run = 0;
        }
    } else if (word.size() >= 2) {
        out.append(termOf(word, memory));
    }
}

// Ideographs carry meaning in pairs more often than alone; kana between them
// is mostly grammar and only separates.
void addIdeographRun(QStringList& out, QStringView run) {
    const qsizetype n = run.size();
    if (n == 1) {
        out.append(run.toString());
        return;
    }
    for (qsizetype i = 0; i + 1 < n; ++i) {
        out.append(run.sliced(i, 2).toString());
    }
}

// A lone letter hyphenated to a word is part of it ("x-ray", "e-mail",
// "U-value"): alone, the letter would be dropped and the word mean another.
void joinLetterPrefixes(QString& text) {
    qsizetype to = 0;
    for (qsizetype from = 0; from < text.size(); ++from) {
        // What comes before is read from what is kept so far.
        const bool joining = text.at(from) == QLatin1Char('-') && to >= 1 &&
                             from + 1 < text.size() && text.at(to - 1).isLetter() &&
                             text.at(from + 1).isLetter() &&
                             (to == 1 || !text.at(to - 2).isLetterOrNumber());
        if (!joining) {
            text[to++] = text.at(from);
        }
    }
    text.truncate(to);
}

// Lower-case ASCII words between single spaces, as most of the knowledge's
// phrases are: nothing to fold, join or classify, and their count is known.
bool plainWords(const QString& text, qsizetype* words) {
    qsizetype count = 1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == u' ' && i > 0 && i + 1 < text.size() && text.at(i - 1) != u' ') {
            ++count;
        } else if (c < u'a' || c > u'z') {
            return false;
        }
    }
    *words = count;
    return !text.isEmpty();
}

} // namespace

QStringList analyzeTerms(const QString& text, WordMemory& memory) {
    QStringList out;
    if (qsizetype words = 0; plainWords(text, &words)) {
        out.reserve(words);
        for (const QStringView word : QStringView(text).tokenize(u' ')) {
            if (word.size() >= 2) {
                out.append(termOf(word, memory));
            }
        }
        return out;
    }
    QString folded = text.toCaseFolded();
    if (folded.contains(QLatin1Char('-'))) {
        joinLetterPrefixes(folded);
    }
    qsizetype start = 0; // of the current run of one class
    CharClass currentClass = CharClass::separator;
    auto flush = [&](qsizetype end) {
        const QStringView current = QStringView(folded).sliced(start, end - start);
        if (current.isEmpty()) {
            return;
        }
        switch (currentClass) {
        case CharClass::word:
            addWord(out, current, memory);
            break;
        case CharClass::ideograph:
            addIdeographRun(out, current);
            break;
        case CharClass::katakana:
            if (current.size() >= 2) {
                out.append(current.toString());
            }
            break;
        default:
            break;
        }
    };
    const qsizetype size = folded.size();
    for (qsizetype i = 0; i < size;) {
        char32_t c = folded.at(i).unicode();
        qsizetype width = 1;
        CharClass cls;
        if (c < 0x80) { // most text: no script or category tables needed
            cls = (c >= U'a' && c <= U'z') || (c >= U'0' && c <= U'9') || (c >= U'A' && c <= U'Z')
                      ? CharClass::word
                      : CharClass::separator;
        } else {
            if (QChar::isHighSurrogate(c) && i + 1 < size && folded.at(i + 1).isLowSurrogate()) {
                c = QChar::surrogateToUcs4(folded.at(i), folded.at(i + 1));
                width = 2;
            }
            cls = classify(c);
            if (cls == CharClass::kana) {
                cls = CharClass::separator;
            }
        }
        if (cls != currentClass) {
            flush(i);
            currentClass = cls;
            start = i;
        }
        i += width;
    }
    flush(size);
    return out;
}

size_t qHash(const TermKey& key, size_t seed) noexcept {
    const QStringView text = key.text;
    const char16_t* const chars = text.utf16();
    const qsizetype size = text.size();
    size_t hash = seed ^ static_cast<size_t>(size);
    qsizetype i = 0;
    for (; i + 4 <= size; i += 4) {
        quint64 chunk;
        std::memcpy(&chunk, chars + i, sizeof chunk);
        hash = ::qHash(chunk, hash);
    }
    // The last few characters are put together in a register: copied into
    // memory piecemeal and read back whole, they stall the processor.
    if (i < size) {
        quint64 chunk = 0;
        for (qsizetype k = 0; i + k < size; ++k) {
            chunk |= quint64(chars[i + k]) << (16 * k);
        }
        hash = ::qHash(chunk, hash);
    }
    return hash;
}

QStringList analyzeTerms(const QString& text) {
    // Windows repeat their words; each thread remembers a couple of
    // thousand of them, as a service runs dozens of threads and each word
    // remembered costs over a hundred bytes.
    thread_local WordMemory recent{{}, kRememberedPerThread};
    return analyzeTerms(text, recent);
}

QString formIn(const QString& term, const char* language) {
    struct Forms {
        Stemmer stemmer;
        TermHash<QString> known;
        explicit Forms(const char* name)
            : stemmer(name) {}
    };
    // Few languages per thread, each remembering a few thousand terms.
    thread_local std::map<std::string, Forms, std::less<>> languages;
    auto it = languages.find(std::string_view(language));
    if (it == languages.end()) {
        it = languages.try_emplace(language, language).first;
    }
    Forms& forms = it->second;
    if (const auto found = forms.known.constFind(term); found != forms.known.constEnd()) {
        return *found;
    }
    if (forms.known.size() > kRememberedPerThread) {
        forms.known.clear();
    }
    const QString form = stem(term, forms.stemmer.stemmer);
    forms.known.insert(term, form);
    return form;
}

TermBag::TermBag(const QString& text)
    : sequence(analyzeTerms(text)) {
    terms.reserve(sequence.size());
    for (const QString& term : sequence) {
        // One lookup a term: the set grows only by a term it lacked.
        const qsizetype before = terms.size();
        terms.insert(term);
        if (terms.size() != before) {
            distinct.append(term);
        }
    }
}

} // namespace aimset::checkd
