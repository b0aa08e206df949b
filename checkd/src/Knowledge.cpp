#include "Knowledge.h"

#include "Runtime/Log.h"
#include "TextAnalysis.h"

#include <QFile>
#include <QHash>
#include <QResource>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <future>
#include <numeric>

// Resources of a static library are registered by hand, outside any namespace.
static void registerKnowledgeResource() {
    Q_INIT_RESOURCE(knowledge);
}

namespace aimset::checkd {

namespace {

struct Section {
    QString header; // between the brackets, trimmed
    int line = 0;
    QStringList entries;
};

// Reads one file into its sections; any line that is neither a comment, a
// header nor phrases under a header is an error naming file and line.
std::optional<QString> readText(const QString& directory, const QString& fileName, QString* error) {
    QFile file(directory + QLatin1Char('/') + fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = fileName + QStringLiteral(": cannot read: ") + file.errorString();
        return std::nullopt;
    }
    return QString::fromUtf8(file.readAll());
}

std::optional<QList<Section>> parseSections(const QString& fileName, const QString& content,
                                            QString* error) {
    QList<Section> sections;
    // A section's phrases are kept until a judge is built: without the room
    // they grew into.
    const auto fitLast = [&sections] {
        if (!sections.isEmpty()) {
            sections.last().entries.squeeze();
        }
    };
    int lineNumber = 0;
    // Lines and phrases are views into the text; only phrases are copied
    // out. Each line is walked once, as the knowledge has tens of thousands.
    const QStringView text(content);
    for (qsizetype lineStart = 0; lineStart <= text.size();) {
        qsizetype lineEnd = text.indexOf(u'\n', lineStart);
        if (lineEnd < 0) {
            lineEnd = text.size();
        }
        ++lineNumber;
        const QStringView line = text.sliced(lineStart, lineEnd - lineStart).trimmed();
        lineStart = lineEnd + 1;
        const auto fail = [&](const QString& why) {
            *error = fileName + QLatin1Char(':') + QString::number(lineNumber) +
                     QStringLiteral(": ") + why;
            return std::nullopt;
        };
        if (line.isEmpty() || line.startsWith(u'#')) {
            continue;
        }
        if (line.startsWith(u'[')) {
            if (!line.endsWith(u']') || line.size() < 3) {
                return fail(QStringLiteral("a section header is written [name]"));
            }
            fitLast();
            sections.append({line.sliced(1, line.size() - 2).trimmed().toString(), lineNumber, {}});
            continue;
        }
        if (sections.isEmpty()) {
            return fail(QStringLiteral("phrases before the first [section]"));
        }
        QStringList& entries = sections.last().entries;
        for (qsizetype from = 0; from <= line.size();) {
            bool bracket = false;
            bool names = false;
            qsizetype to = from;
            for (; to < line.size() && line[to] != u','; ++to) {
                const char16_t c = line[to].unicode();
                bracket = bracket || c == u'[' || c == u']';
                names = names || c == u'=';
            }
            const QStringView phrase = line.sliced(from, to - from).trimmed();
            from = to + 1;
            if (phrase.isEmpty()) {
                return fail(QStringLiteral("an empty phrase (two commas in a row?)"));
            }
            if (bracket) {
                return fail(QStringLiteral("a bracket inside a phrase: ") + phrase.toString());
            }
            // "twitter = x" names one site twice; neither name may be empty.
            if (names) {
                for (const QStringView name : phrase.tokenize(u'=')) {
                    if (name.trimmed().isEmpty()) {
                        return fail(QStringLiteral("an empty name of a site: ") +
                                    phrase.toString());
                    }
                }
            }
            entries.append(phrase.toString());
        }
    }
    fitLast();
    return sections;
}

std::optional<QList<Section>> readSections(const QString& directory, const QString& fileName,
                                           QString* error) {
    const std::optional<QString> text = readText(directory, fileName, error);
    return text ? parseSections(fileName, *text, error) : std::nullopt;
}

QString locate(const QString& fileName, const Section& section) {
    return fileName + QLatin1Char(':') + QString::number(section.line) + QStringLiteral(": ");
}

// "name: value" or "name > a, b" headers.
std::pair<QString, QString> splitHeader(const QString& header, QChar separator) {
    const qsizetype at = header.indexOf(separator);
    if (at < 0) {
        return {header.trimmed(), {}};
    }
    return {header.left(at).trimmed(), header.mid(at + 1).trimmed()};
}

std::optional<Leaning> leaningNamed(const QString& name) {
    static const QHash<QString, Leaning> names{{QStringLiteral("work"), Leaning::work},
                                               {QStringLiteral("reference"), Leaning::reference},
                                               {QStringLiteral("neutral"), Leaning::neutral},
                                               {QStringLiteral("mixed"), Leaning::mixed},
                                               {QStringLiteral("leisure"), Leaning::leisure},
                                               {QStringLiteral("background"), Leaning::background},
                                               {QStringLiteral("messages"), Leaning::messages},
                                               {QStringLiteral("forum"), Leaning::forum},
                                               {QStringLiteral("errand"), Leaning::errand}};
    const auto found = names.constFind(name);
    return found == names.constEnd() ? std::nullopt : std::optional<Leaning>(*found);
}

// "name = number" lines: a weight for each piece of evidence, the bias and
// the two thresholds.
bool readWeights(const QString& directory, Knowledge* knowledge, QString* error) {
    const QString fileName = QStringLiteral("weights.txt");
    QFile file(directory + QLatin1Char('/') + fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = fileName + QStringLiteral(": cannot read: ") + file.errorString();
        return false;
    }
    const QStringList& names = Knowledge::evidenceNames();
    Knowledge::Weights weights{QList<double>(names.size(), 0.0)};
    std::optional<double> alignedFrom;
    std::optional<double> closedBelow;
    int lineNumber = 0;
    for (const QString& rawLine : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        ++lineNumber;
        const QString line = rawLine.trimmed();
        const auto fail = [&](const QString& why) {
            *error = fileName + QLatin1Char(':') + QString::number(lineNumber) +
                     QStringLiteral(": ") + why;
            return false;
        };
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        const auto [name, valueText] = splitHeader(line, QLatin1Char('='));
        bool ok = false;
        const double value = valueText.toDouble(&ok);
        if (!line.contains(QLatin1Char('=')) || name.isEmpty() || !ok || !std::isfinite(value)) {
            return fail(QStringLiteral("a weight is written name = number, not ") + line);
        }
        if (name == QStringLiteral("bias")) {
            weights.bias = value;
        } else if (name == QStringLiteral("aligned from")) {
            alignedFrom = value;
        } else if (name == QStringLiteral("closed below")) {
            closedBelow = value;
        } else if (const qsizetype at = names.indexOf(name); at >= 0) {
            weights.byEvidence[at] = value;
        } else {
            return fail(QStringLiteral("unknown evidence ") + name + QStringLiteral(" (known: ") +
                        names.join(QStringLiteral(", ")) + QLatin1Char(')'));
        }
    }
    if (!alignedFrom || !closedBelow || *closedBelow > *alignedFrom) {
        *error = fileName + QStringLiteral(": needs \"aligned from\" and a lower \"closed below\"");
        return false;
    }
    weights.alignedFrom = *alignedFrom;
    weights.closedBelow = *closedBelow;
    knowledge->weights = weights;
    return true;
}

// "name = value" settings, then "term = weight" lines under "[terms]".
// The file is optional: a knowledge without it scores no window. Its tens
// of thousands of terms are read as bytes and kept as hashes, so that they
// cost little at start and in memory.
bool readWindowWords(const QString& directory, Knowledge* knowledge, QString* error) {
    const QString fileName = QStringLiteral("window-words.txt");
    const QString path = directory + QLatin1Char('/') + fileName;
    QFile file(path);
    if (!file.exists()) {
        return true;
    }
    // Stored uncompressed in the program, it is read where the program holds it.
    QByteArray content;
    if (const QResource stored(path);
        stored.isValid() && stored.compressionAlgorithm() == QResource::NoCompression) {
        content = QByteArray::fromRawData(reinterpret_cast<const char*>(stored.data()),
                                          static_cast<qsizetype>(stored.size()));
    } else if (file.open(QIODevice::ReadOnly)) {
        content = file.readAll();
    } else {
        *error = fileName + QStringLiteral(": cannot read: ") + file.errorString();
        return false;
    }
    Knowledge::WindowWords model;
    std::optional<double> bias;
    std::optional<double> askedFrom;
    std::optional<double> closedFrom;
    std::optional<double> titleKeptBelow;
    std::optional<double> mixedClosedFromLikely;
    std::optional<double> textKeptBelow;
    bool inTerms = false;
    int lineNumber = 0;
    for (qsizetype at = 0; at < content.size();) {
        const qsizetype next = content.indexOf('\n', at);
        const QByteArrayView line =
            QByteArrayView(content).sliced(at, (next < 0 ? content.size() : next) - at).trimmed();
        at = next < 0 ? content.size() : next + 1;
        ++lineNumber;
        const auto fail = [&](const QString& why) {
            *error = fileName + QLatin1Char(':') + QString::number(lineNumber) +
                     QStringLiteral(": ") + why;
            return false;
        };
        if (line.isEmpty() || line.startsWith('#')) {
            continue;
        }
        if (line == "[terms]") {
            inTerms = true;
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        const QByteArrayView name = equals < 0 ? line : line.first(equals).trimmed();
        const QByteArrayView valueText =
            equals < 0 ? QByteArrayView() : line.sliced(equals + 1).trimmed();
        if (equals < 0 || name.isEmpty()) {
            return fail(QStringLiteral("a line is written name = value, not ") +
                        QString::fromUtf8(line));
        }
        if (!inTerms && name == "ignored") {
            for (const QString& phrase :
                 QString::fromUtf8(valueText).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                model.ignored.append(phrase.simplified().split(QLatin1Char(' ')));
            }
            continue;
        }
        double value = 0;
        const auto [end, failed] =
            std::from_chars(valueText.data(), valueText.data() + valueText.size(), value);
        if (failed != std::errc() || end != valueText.data() + valueText.size() ||
            !std::isfinite(value)) {
            return fail(QStringLiteral("not a number: ") + QString::fromUtf8(valueText));
        }
        if (inTerms) {
            model.weights.push_back(
                {Knowledge::WindowWords::hashOf(name), static_cast<float>(value)});
        } else if (name == "bias") {
            bias = value;
        } else if (name == "asked from") {
            askedFrom = value;
        } else if (name == "closed from") {
            closedFrom = value;
        } else if (name.startsWith("likely ")) {
            const QString what = QString::fromUtf8(name.sliced(7)).trimmed();
            const qsizetype evidenceAt = Knowledge::evidenceNames().indexOf(what);
            if (what != QStringLiteral("bias") && what != QStringLiteral("score") &&
                evidenceAt < 0) {
                return fail(QStringLiteral("unknown evidence ") + what +
                            QStringLiteral(" (known: bias, score, ") +
                            Knowledge::evidenceNames().join(QStringLiteral(", ")) +
                            QLatin1Char(')'));
            }
            if (model.likelyByEvidence.isEmpty()) {
                model.likelyByEvidence = QList<double>(Knowledge::evidenceNames().size(), 0.0);
            }
            (what == QStringLiteral("bias")    ? model.likelyBias
             : what == QStringLiteral("score") ? model.likelyScore
                                               : model.likelyByEvidence[evidenceAt]) = value;
        } else if (name == "title kept below") {
            titleKeptBelow = value;
        } else if (name == "text kept below") {
            textKeptBelow = value;
        } else if (name == "shared kept below") {
            model.sharedKeptBelow = value;
        } else if (name == "asked from likely") {
            model.askedFromLikely = value;
        } else if (name == "closed from likely") {
            model.closedFromLikely = value;
        } else if (name == "mixed closed from likely") {
            mixedClosedFromLikely = value;
        } else if (name == "question closed from likely") {
            model.questionClosedFromLikely = value;
        } else if (name == "words") {
            if (value < 1 || value > 1000 || value != std::floor(value)) {
                return fail(QStringLiteral("words is a whole number from 1 to 1000, not ") +
                            QString::fromUtf8(valueText));
            }
            model.words = static_cast<int>(value);
        } else {
            return fail(
                QStringLiteral("unknown setting ") + QString::fromUtf8(name) +
                QStringLiteral(" (known: bias, asked from, closed from, words, "
                               "ignored, likely <evidence>, title kept below, text kept below, "
                               "shared kept below, asked from likely, closed from likely, "
                               "mixed closed from likely, question closed from likely)"));
        }
    }
    if (!bias || !askedFrom || !closedFrom || model.words == 0) {
        *error = fileName +
                 QStringLiteral(": needs \"bias\", \"asked from\", \"closed from\" and \"words\"");
        return false;
    }
    if (!model.likelyByEvidence.isEmpty() && (!titleKeptBelow || !textKeptBelow)) {
        *error = fileName + QStringLiteral(": the likely weights need \"title kept below\" and "
                                           "\"text kept below\"");
        return false;
    }
    model.mixedClosedFromLikely = mixedClosedFromLikely.value_or(model.closedFromLikely);
    model.titleKeptBelow = titleKeptBelow.value_or(0);
    model.textKeptBelow = textKeptBelow.value_or(0);
    model.bias = *bias;
    model.askedFrom = *askedFrom;
    model.closedFrom = *closedFrom;
    std::sort(model.weights.begin(), model.weights.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    model.weights.shrink_to_fit();
    knowledge->windowWords = std::move(model);
    return true;
}

// FNV-1a over a text's UTF-8, without writing it out: the score hashes
// every window's terms.
quint64 feedUtf8(quint64 hash, QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i].unicode(), text[i + 1].unicode());
            ++i;
        }
        if (c < 0x80) {
            hash = fnvMix(hash, static_cast<quint8>(c));
        } else if (c < 0x800) {
            hash = fnvMix(fnvMix(hash, static_cast<quint8>(0xC0 | (c >> 6))),
                          static_cast<quint8>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            hash = fnvMix(fnvMix(fnvMix(hash, static_cast<quint8>(0xE0 | (c >> 12))),
                                 static_cast<quint8>(0x80 | ((c >> 6) & 0x3F))),
                          static_cast<quint8>(0x80 | (c & 0x3F)));
        } else {
            hash = fnvMix(fnvMix(fnvMix(fnvMix(hash, static_cast<quint8>(0xF0 | (c >> 18))),
                                        static_cast<quint8>(0x80 | ((c >> 12) & 0x3F))),
                                 static_cast<quint8>(0x80 | ((c >> 6) & 0x3F))),
                          static_cast<quint8>(0x80 | (c & 0x3F)));
        }
    }
    return hash;
}

} // namespace

quint64 Knowledge::WindowWords::hashOf(QByteArrayView utf8) {
    quint64 hash = kFnvOffset;
    for (const char c : utf8) {
        hash = fnvMix(hash, static_cast<quint8>(c));
    }
    return hash;
}

QStringList Knowledge::WindowWords::firstWords(const QString& text) const {
    // Lower-case runs of letters and digits, read only as far as the kept
    // words need and never past the first 4 * words + 16 (as the fitter reads).
    QStringList seen;
    const qsizetype most = 4 * static_cast<qsizetype>(words) + 16;
    qsizetype at = 0;
    const auto readTo = [&](qsizetype count) {
        while (seen.size() < std::min(count, most) && at < text.size()) {
            if (!text.at(at).isLetterOrNumber()) {
                ++at;
                continue;
            }
            const qsizetype start = at;
            while (at < text.size() && text.at(at).isLetterOrNumber()) {
                ++at;
            }
            seen.append(text.mid(start, at - start).toLower());
        }
    };
    const qsizetype longestIgnored =
        std::accumulate(ignored.begin(), ignored.end(), qsizetype(1),
                        [](qsizetype m, const QStringList& p) { return std::max(m, p.size()); });
    QStringList kept;
    for (qsizetype i = 0; kept.size() < words;) {
        readTo(i + longestIgnored);
        if (i >= seen.size()) {
            break;
        }
        const auto phrase = std::find_if(ignored.begin(), ignored.end(), [&](const QStringList& p) {
            return i + p.size() <= seen.size() && std::equal(p.begin(), p.end(), seen.begin() + i);
        });
        if (phrase != ignored.end()) {
            i += phrase->size();
            continue;
        }
        const QString& word = seen.at(i++);
        const bool number =
            std::all_of(word.begin(), word.end(), [](QChar c) { return c.isDigit(); });
        if (word.size() >= 2 && !number) {
            kept.append(word);
        }
    }
    return kept;
}

QStringList Knowledge::WindowWords::termsOf(const QString& text) const {
    const QStringList kept = firstWords(text);
    QStringList terms;
    for (qsizetype i = 0; i < kept.size(); ++i) {
        for (const QString& term :
             {kept.at(i), i > 0 ? kept.at(i - 1) + QLatin1Char(' ') + kept.at(i) : QString()}) {
            if (!term.isEmpty() && !terms.contains(term)) {
                terms.append(term);
            }
        }
    }
    return terms;
}

double Knowledge::WindowWords::score(const QString& text, const QStringList& context,
                                     QStringList* telling) const {
    const QStringList kept = firstWords(text);
    // Each term by its hash and the words it spans (first, last), each once.
    struct Term {
        quint64 hash;
        qsizetype first;
        qsizetype last;
        float weight = 0;
    };
    std::vector<Term> terms;
    terms.reserve(static_cast<size_t>(2 * kept.size()));
    quint64 previous = 0;
    for (qsizetype i = 0; i < kept.size(); ++i) {
        const quint64 word = feedUtf8(kFnvOffset, kept.at(i));
        for (const Term& term :
             {Term{word, i, i},
              Term{i > 0 ? feedUtf8(fnvMix(previous, ' '), kept.at(i)) : 0, i - 1, i}}) {
            if (term.first >= 0 && std::none_of(terms.begin(), terms.end(), [&](const Term& t) {
                    return t.hash == term.hash;
                })) {
                terms.push_back(term);
            }
        }
        previous = word;
    }
    if (terms.empty() && context.isEmpty()) {
        return bias;
    }
    const auto weightOf = [this](quint64 hash) {
        const auto found =
            std::lower_bound(weights.begin(), weights.end(), hash,
                             [](const auto& entry, quint64 h) { return entry.first < h; });
        return found != weights.end() && found->first == hash ? found->second : 0.0F;
    };
    double sum = 0;
    for (Term& term : terms) {
        term.weight = weightOf(term.hash);
        sum += term.weight;
    }
    // A place's terms ("@shop", "topic:x @shop") are told as the kind of place.
    std::vector<std::pair<QStringView, float>> places;
    for (const QString& term : context) {
        const float weight = weightOf(feedUtf8(kFnvOffset, term));
        sum += weight;
        const QStringView kind = QStringView(term).sliced(term.lastIndexOf(QLatin1Char('@')) + 1);
        const auto same = std::find_if(places.begin(), places.end(),
                                       [&](const auto& place) { return place.first == kind; });
        (same == places.end() ? places.emplace_back(kind, 0.0F) : *same).second += weight;
    }
    if (telling) {
        // The two that count most toward a distraction, words before places
        // and the earlier first on a tie.
        std::vector<std::pair<QString, float>> told;
        for (const Term& term : terms) {
            if (term.weight > 0) {
                told.emplace_back(
                    kept.mid(term.first, term.last - term.first + 1).join(QLatin1Char(' ')),
                    term.weight);
            }
        }
        for (const auto& [kind, weight] : places) {
            if (weight > 0 && !quietKinds.contains(kind)) {
                told.emplace_back(kind.toString(), weight);
            }
        }
        std::stable_sort(told.begin(), told.end(),
                         [](const auto& a, const auto& b) { return a.second > b.second; });
        telling->clear();
        // A word that names its kind of place ("news") is told once.
        for (size_t i = 0; i < told.size() && telling->size() < 2; ++i) {
            if (!telling->contains(told[i].first)) {
                telling->append(told[i].first);
            }
        }
    }
    return bias + sum / std::sqrt(static_cast<double>(terms.size() + context.size()));
}

const QStringList& Knowledge::evidenceNames() {
    // In the order OfflineJudge gathers them.
    static const QStringList names =
        QStringLiteral("page,direct,related,matched,leisure,cues,"
                       "leisure place,play place,mixed place,intended place,named place,"
                       "background place,message place,forum place,work place,reference place,"
                       "learning,in aimset language,telling,"
                       "foreign words,own words,unrelated words,about else,one weak word,"
                       "aimset about play,aimset known,rules aligned,rules closed")
            .split(QLatin1Char(','));
    return names;
}

std::optional<Knowledge> Knowledge::load(const QString& directory, QString* error) {
    Knowledge knowledge;
    // The topics are most of the text: they are read beside the other files
    // and looked at in their turn, so a broken file is named as before.
    // The file itself is opened here: the first thread to make a Qt object
    // is the one Qt takes for the main thread.
    const QString topicsFile = QStringLiteral("topics.txt");
    QString topicsError;
    const std::optional<QString> topicsText = readText(directory, topicsFile, &topicsError);
    std::future<std::optional<QList<Section>>> readingTopics =
        std::async(std::launch::async | std::launch::deferred, [&] {
            return topicsText ? parseSections(topicsFile, *topicsText, &topicsError) : std::nullopt;
        });

    const QString wordsFile = QStringLiteral("words.txt");
    const auto words = readSections(directory, wordsFile, error);
    if (!words) {
        return std::nullopt;
    }
    for (const Section& section : *words) {
        if (section.header == QStringLiteral("stopwords")) {
            knowledge.stopwords += section.entries;
        } else if (section.header == QStringLiteral("generic")) {
            knowledge.generic += section.entries;
        } else if (const auto [kind, language] = splitHeader(section.header, QLatin1Char(':'));
                   kind == QStringLiteral("language") && !language.isEmpty()) {
            knowledge.languages.append({language, section.entries});
        } else {
            *error = locate(wordsFile, section) + QStringLiteral("unknown section [") +
                     section.header +
                     QStringLiteral("] (use [stopwords], [generic] or [language: name])");
            return std::nullopt;
        }
    }

    const QString placesFile = QStringLiteral("places.txt");
    const auto places = readSections(directory, placesFile, error);
    if (!places) {
        return std::nullopt;
    }
    QHash<QString, qsizetype> categoryIndex;
    for (const Section& section : *places) {
        const auto [name, leaningName] = splitHeader(section.header, QLatin1Char(':'));
        const std::optional<Leaning> leaning = leaningNamed(leaningName);
        if (name.isEmpty() || !leaning) {
            *error = locate(placesFile, section) + QStringLiteral("a category is written ") +
                     QStringLiteral(
                         "[name: "
                         "work|reference|neutral|mixed|leisure|background|messages|forum|errand], "
                         "not [") +
                     section.header + QLatin1Char(']');
            return std::nullopt;
        }
        if (const auto found = categoryIndex.constFind(name); found != categoryIndex.constEnd()) {
            if (knowledge.categories[*found].leaning != *leaning) {
                *error = locate(placesFile, section) + QStringLiteral("category ") + name +
                         QStringLiteral(" was given another leaning before");
                return std::nullopt;
            }
            knowledge.categories[*found].places += section.entries;
            continue;
        }
        categoryIndex.insert(name, knowledge.categories.size());
        knowledge.categories.append({name, *leaning, section.entries});
    }

    const auto topics = readingTopics.get();
    if (!topics) {
        *error = topicsError;
        return std::nullopt;
    }
    for (const Section& section : *topics) {
        const auto [nameText, intendsText] = splitHeader(section.header, QLatin1Char('>'));
        const auto [name, flag] = splitHeader(nameText, QLatin1Char(':'));
        if (!flag.isEmpty() && flag != QStringLiteral("broad") && flag != QStringLiteral("play")) {
            *error = locate(topicsFile, section) + QStringLiteral("unknown topic flag ") + flag +
                     QStringLiteral(" (use broad or play)");
            return std::nullopt;
        }
        Topic topic{name,
                    flag == QStringLiteral("broad"),
                    flag == QStringLiteral("play"),
                    {},
                    section.entries};
        for (const QString& part : intendsText.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QString category = part.trimmed();
            if (!categoryIndex.contains(category)) {
                *error = locate(topicsFile, section) + QStringLiteral("unknown category ") +
                         category + QStringLiteral(" (not in ") + placesFile + QLatin1Char(')');
                return std::nullopt;
            }
            topic.intends.append(category);
        }
        if (name.isEmpty()) {
            *error = locate(topicsFile, section) + QStringLiteral("a topic needs a name");
            return std::nullopt;
        }
        knowledge.topics.append(topic);
    }

    const QString cuesFile = QStringLiteral("cues.txt");
    const auto cues = readSections(directory, cuesFile, error);
    if (!cues) {
        return std::nullopt;
    }
    for (const Section& section : *cues) {
        const auto [type, kind] = splitHeader(section.header, QLatin1Char(':'));
        const bool leisure = type == QStringLiteral("leisure");
        const bool aim = type == QStringLiteral("news aim");
        const bool news = aim || type == QStringLiteral("news");
        if (type == QStringLiteral("masthead") && !kind.isEmpty()) {
            knowledge.mastheads += section.entries;
            continue;
        }
        if ((!leisure && !news && type != QStringLiteral("learning")) || kind.isEmpty()) {
            *error = locate(cuesFile, section) +
                     QStringLiteral("a cue section is written [leisure: kind], [learning: kind], "
                                    "[news: kind], [news aim: kind] or [masthead: kind], not [") +
                     section.header + QLatin1Char(']');
            return std::nullopt;
        }
        knowledge.cues.append({kind, leisure, section.entries, news, aim});
    }
    if (!readWeights(directory, &knowledge, error) ||
        !readWindowWords(directory, &knowledge, error)) {
        return std::nullopt;
    }
    if (knowledge.windowWords) {
        for (const Category& category : knowledge.categories) {
            if (category.leaning == Leaning::neutral) {
                knowledge.windowWords->quietKinds.append(category.name);
            }
        }
    }
    return knowledge;
}

Knowledge Knowledge::builtIn() {
    static const bool registered = (registerKnowledgeResource(), true);
    Q_UNUSED(registered);
    QString error;
    std::optional<Knowledge> loaded = load(QStringLiteral(":/knowledge"), &error);
    if (!loaded) {
        // Only a broken build gets here; the judge then knows nothing and asks.
        Log(QStringLiteral("[checkd] Built-in knowledge unusable: ") + error);
        return Knowledge{};
    }
    // Stored uncompressed, they are read where the program holds them.
    if (const QResource reduced(QStringLiteral(":/knowledge/reduced-terms.bin"));
        reduced.isValid() && reduced.compressionAlgorithm() == QResource::NoCompression) {
        loaded->reducedTerms = QByteArray::fromRawData(
            reinterpret_cast<const char*>(reduced.data()), static_cast<qsizetype>(reduced.size()));
    }
    return *std::move(loaded);
}

} // namespace aimset::checkd
