#include "Specifics.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <tuple>
#include <utility>

namespace aimset::checkd {

using Kind = Specific::Kind;

QString compact(const QString& text) {
    QString out;
    for (const QChar c : text) {
        if (c.isLetterOrNumber()) {
            out.append(c.toLower());
        }
    }
    return out;
}

// A bill in the languages the judge reads.
const QString kBillWords =
    QStringLiteral("invoice|rechnung|factura|factuur|fattura|facture|faktura");

QList<Specific> specificsNamed(const QString& text, bool asTitle) {
    // A file's name joins its words with underscores ("FOI_2198_response.docx"):
    // its numbers and codes are read as if spaced. Months and firms read the
    // joins themselves.
    const QString spaced = QString(text).replace(QLatin1Char('_'), QLatin1Char(' '));
    // A tracker's key may carry its year ("KH-2026-7731" is claim KH-7731);
    // one that runs on from another code ("LT-FIN-088") names a machine.
    static const QRegularExpression item(QStringLiteral(
        "(?<![\\w/&])#\\d{1,7}\\b|"
        "(?<![A-Za-z0-9]-)\\b([A-Z][A-Z0-9]{1,9}-)(?:(?:19|20)\\d\\d-)?(\\d{1,6})(?!-\\d)\\b"));
    // Letters and a number that is no year: a course.
    static const QRegularExpression course(QStringLiteral(
        "(?<![A-Za-z0-9-])([A-Z]{2,5}) ?((?!19\\d\\d|20\\d\\d)\\d{3,4})(?![A-Za-z0-9-])"));
    static const QRegularExpression year(
        QStringLiteral(
            "\\b(year|grade|klasse|groep|klas|havo|vwo|vmbo|mavo|jahrgang(?:sstufe)?) "
            "?(\\d{1,2}(?:[/\u2013-]\\d{1,2})?)\\b|"
            "\\b(\\d{1,2})(?:st|nd|rd|th)? grade\\b|\\b(\\d{1,2})\\. ?(klasse|jahrgang)\\b|"
            "\\b(\\d)\\s?[ºo°]\\s?(?:de )?(eso|bachillerato|primaria)\\b"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    // Lower-case words joined by hyphens, each with a letter: a repository,
    // a service, a project ("ws-14" is a host, "e-mail" a word).
    static const QRegularExpression project(QStringLiteral(
        "(?<![\\w@.-])[a-z][a-z0-9]+(?:-[a-z][a-z0-9]*|-[0-9]+[a-z][a-z0-9]*)+(?![\\w@-])"));
    QList<Specific> found;
    const auto add = [&](Kind kind, const QString& key, const QString& shown) {
        found.append({kind, key, shown});
    };
    for (auto it = item.globalMatch(spaced); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        add(Kind::item, m.captured(1).isEmpty() ? m.captured() : m.captured(1) + m.captured(2),
            m.captured());
    }
    // "PR 482", "pull request 482" and GitLab's "!482" are #482 as the code
    // host shows it, and so are an issue's, a ticket's, a bug's or an
    // incident's number ("PR 2026" is a year of public relations).
    static const QRegularExpression request(
        QStringLiteral("\\b(?:PR|MR|(?i:pull|merge) (?i:request)|(?i:issue|ticket|bug|incident)) "
                       "?!?(?!(?:19|20)\\d\\d\\b)(\\d{1,7})\\b|"
                       "(?<![\\w/&!])!(\\d{1,7})\\b"));
    for (auto it = request.globalMatch(spaced); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString number = m.captured(1).isEmpty() ? m.captured(2) : m.captured(1);
        add(Kind::item, QLatin1Char('#') + number, m.captured());
    }
    // A record keyed by its kind and number: another customer's account is
    // another task, an order of the same number in a mail the same one.
    static const QList<QStringList> records = [] {
        QList<QStringList> kinds;
        for (const char* family :
             {"account acct konto kundenkonto cuenta compte conta conto rekening",
              "policy póliza polizza apólice polizze",
              "claim siniestro sinistre sinistro schadenfall",
              "order bestellung pedido commande ordine encomenda bestelling",
              "case dossier expediente aktenzeichen"}) {
            kinds.append(QString::fromUtf8(family).split(QLatin1Char(' ')));
        }
        return kinds;
    }();
    static const QRegularExpression record(
        QStringLiteral("\\b(\\p{L}+) (?:no\\.? |nr\\.? |number |n[º°o]\\.? |#)?"
                       "(?!(?:19|20)\\d\\d\\b(?!-\\d))(\\d{2,}(?:-\\d+)*)\\b(?![.,/]\\d)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    for (auto it = record.globalMatch(spaced); it.hasNext();) {
        const auto m = it.next();
        const QString w = m.captured(1).toLower();
        for (const QStringList& kind : records) {
            if (kind.contains(w)) {
                add(Kind::record, kind.first() + QLatin1Char(':') + compact(m.captured(2)),
                    m.captured());
            }
        }
    }
    for (auto it = course.globalMatch(spaced); it.hasNext();) {
        const auto m = it.next();
        add(Kind::course, m.captured(1) + m.captured(2), m.captured());
    }
    for (auto it = year.globalMatch(spaced); it.hasNext();) {
        const auto m = it.next();
        const QString system = (m.captured(1) + m.captured(5) + m.captured(7)).toLower();
        const QString numbers = m.captured(2) + m.captured(3) + m.captured(4) + m.captured(6);
        // "Klasse 5/6" is either year, "Year 7-9" each of them.
        static const QRegularExpression between(QStringLiteral("[/\u2013-]"));
        const QStringList ends = numbers.split(between);
        QList<int> years{ends.first().toInt()};
        for (int n = years.first() + 1; n <= ends.last().toInt(); ++n) {
            if (n == ends.last().toInt() || !numbers.contains(QLatin1Char('/'))) {
                years.append(n);
            }
        }
        const QString prefix = system.isEmpty() ? QStringLiteral("grade") : system.left(6);
        for (const int n : years) {
            if (n <= 13) {
                add(Kind::year, prefix + QString::number(n), m.captured());
            }
        }
    }
    // "Y9" is Year 9; a French class is its year and a section ("4e B",
    // "3eB"; in a title also "6A"), not an ordinal ("2e trimestre").
    static const QRegularExpression shortYear(QStringLiteral("(?<![\\w-])Y(\\d{1,2})(?![\\w-])"));
    static const QRegularExpression classe(
        QStringLiteral("(?<![\\w-])([1-6])(?:e|ème) ?([A-H])?(?![\\w-])(?! (?:trimestre|semestre|"
                       "année|an|étage|siècle|arrondissement|édition|fois|place|partie|jour|mois|"
                       "semaine|classe|main)\\b)"),
        QRegularExpression::UseUnicodePropertiesOption);
    static const QRegularExpression section(
        QStringLiteral("(?<![\\w-])(1[0-3]|[1-9])([A-H]|[a-d])(?![\\w-])"));
    for (auto it = shortYear.globalMatch(spaced); it.hasNext();) {
        const auto m = it.next();
        add(Kind::year, QStringLiteral("year") + QString::number(m.captured(1).toInt()),
            m.captured());
    }
    for (const QRegularExpression* form : {&classe, &section}) {
        for (auto it = form->globalMatch(spaced); it.hasNext();) {
            const auto m = it.next();
            add(Kind::year, QStringLiteral("classe") + m.captured(1), m.captured());
        }
    }
    // France's primary years (CP to CM2) and its university's (L1 to M2)
    // are school years too, counted from the first.
    static const QRegularExpression frenchYear(
        QStringLiteral("(?<![\\w-])(CP|CE1|CE2|CM1|CM2|L1|L2|L3|M1|M2)(?![\\w-])"));
    for (auto it = frenchYear.globalMatch(spaced); it.hasNext();) {
        const auto m = it.next();
        static const QStringList codes{QStringLiteral("CP"),  QStringLiteral("CE1"),
                                       QStringLiteral("CE2"), QStringLiteral("CM1"),
                                       QStringLiteral("CM2"), QStringLiteral("L1"),
                                       QStringLiteral("L2"),  QStringLiteral("L3"),
                                       QStringLiteral("M1"),  QStringLiteral("M2")};
        const auto n = codes.indexOf(m.captured(1));
        add(Kind::year,
            n < 5 ? QStringLiteral("primaire%1").arg(n + 1) : QStringLiteral("univ%1").arg(n - 4),
            m.captured());
    }
    // A language's level on the common European scale.
    static const QRegularExpression level(QStringLiteral("(?<![\\w-])([ABC][12])(?![\\w-])"));
    for (auto it = level.globalMatch(spaced); it.hasNext();) {
        const auto m = it.next();
        add(Kind::level, m.captured(1), m.captured());
    }
    // A museum, project, client or street called by its name ("musée
    // d'Orsay", "Projet Orion", "Client-Duval", "Science Museum", "Larch
    // Mews", "Stationsstraat", "Calle Colón"), keyed by its kind and the
    // name's longer words.
    static const QRegularExpression calledAfter(
        QStringLiteral(
            "(?<!\\p{L})((?i:project|projet|projekt|proyecto|progetto|projeto|museum|musée|museo|"
            "client|"
            "kunde|kundin|cliente|klant)|Calle|Via|Rue|Rua|Avenida|Piazza|Plaza)[ -](?:d['’]|du "
            "|de "
            "la |des |de |del |della |of the |of |van |von )?(\\p{Lu}[\\p{L}\\p{N}-]*(?: "
            "\\p{Lu}[\\p{L}\\p{N}-]*)?)"),
        QRegularExpression::UseUnicodePropertiesOption);
    static const QRegularExpression calledBefore(
        QStringLiteral("(\\p{Lu}[\\p{L}-]*(?:[ _]\\p{Lu}[\\p{L}-]*)?)[ _](?i:(museum|road|street|"
                       "lane|close|mews|avenue|crescent|terrace|grove))(?!\\p{L})"),
        QRegularExpression::UseUnicodePropertiesOption);
    static const QRegularExpression calledJoined(
        QStringLiteral("(?<!\\p{L})(\\p{Lu}\\p{Ll}+(straße|strasse|straat|gasse|laan|gracht|weg))"
                       "(?!\\p{L})"),
        QRegularExpression::UseUnicodePropertiesOption);
    for (const auto& [form, kindAt, nameAt] :
         {std::tuple{&calledAfter, 1, 2}, std::tuple{&calledBefore, 2, 1},
          std::tuple{&calledJoined, 2, 1}}) {
        for (auto it = form->globalMatch(text); it.hasNext();) {
            const auto m = it.next();
            // One key per kind in every language.
            const QString word = m.captured(kindAt).toLower();
            const QString kind = word.startsWith(QStringLiteral("pro")) ? QStringLiteral("project")
                                 : word.startsWith(QStringLiteral("mus")) ? QStringLiteral("museum")
                                 : word.startsWith(QStringLiteral("cli")) || word.startsWith(u'k')
                                     ? QStringLiteral("client")
                                     : QStringLiteral("street");
            QStringList words;
            static const QRegularExpression apart(QStringLiteral("[ _]"));
            for (const QString& w : m.captured(nameAt).split(apart)) {
                if (compact(w).size() >= 4) {
                    words.append(compact(w));
                }
            }
            if (!words.isEmpty()) {
                add(Kind::called, kind + QLatin1Char(':') + words.join(QLatin1Char(' ')),
                    m.captured(nameAt));
            }
        }
    }
    static const QRegularExpression rank(QStringLiteral("\\b(junior|senior)\\b"),
                                         QRegularExpression::CaseInsensitiveOption);
    for (auto it = rank.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        add(Kind::rank, m.captured(1).toLower(), m.captured());
    }
    // "Production" is an environment only among systems' words or joined to
    // a name ("terraform-production"): a film's or a factory's is none.
    static const QRegularExpression stage(
        QStringLiteral("(?:^|([-_./])|\\b)(staging|prod|production)\\b(?=([-_./])?)(?:\\W+(\\w+))?"
                       "(?:\\W+(\\w+))?"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression systems(
        QStringLiteral("^(?:cluster|clusters|server|servers|environment|env|database|db|deploy|"
                       "deployment|ingress|namespace|instance|branch|config|kubernetes|k8s|api|"
                       "stack|bucket|infra|release|build|pipeline)$"),
        QRegularExpression::CaseInsensitiveOption);
    for (auto it = stage.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        const QString name = m.captured(2).toLower();
        const bool joined = !m.captured(1).isEmpty() || !m.captured(3).isEmpty();
        if (name != QStringLiteral("production") || joined ||
            systems.match(m.captured(4)).hasMatch() || systems.match(m.captured(5)).hasMatch()) {
            add(Kind::stage,
                name == QStringLiteral("staging") ? name : QStringLiteral("production"),
                m.captured(2));
        }
    }
    // A firm is the capitalised name before its trade or legal form ("Delgado
    // Bakery", "Ortega Plumbing & Heating", "Van Dijk Bouw"), keyed by that
    // name. A firm's own clients ("Halden & Co's clients") are other firms.
    static const QSet<QString> firmWords{QStringLiteral("bakery"),
                                         QStringLiteral("dental"),
                                         QStringLiteral("logistics"),
                                         QStringLiteral("freight"),
                                         QStringLiteral("plumbing"),
                                         QStringLiteral("heating"),
                                         QStringLiteral("builders"),
                                         QStringLiteral("construction"),
                                         QStringLiteral("traders"),
                                         QStringLiteral("holdings"),
                                         QStringLiteral("partners"),
                                         QStringLiteral("associates"),
                                         QStringLiteral("consulting"),
                                         QStringLiteral("consultants"),
                                         QStringLiteral("estates"),
                                         QStringLiteral("bouw"),
                                         QStringLiteral("installatie"),
                                         QStringLiteral("installaties"),
                                         QStringLiteral("ltd"),
                                         QStringLiteral("limited"),
                                         QStringLiteral("inc"),
                                         QStringLiteral("llc"),
                                         QStringLiteral("llp"),
                                         QStringLiteral("plc"),
                                         QStringLiteral("gmbh"),
                                         QStringLiteral("ag"),
                                         QStringLiteral("kg"),
                                         QStringLiteral("co"),
                                         QStringLiteral("sarl"),
                                         QStringLiteral("srl"),
                                         QStringLiteral("bv"),
                                         QStringLiteral("pty"),
                                         QStringLiteral("solicitors"),
                                         QStringLiteral("accountants"),
                                         QStringLiteral("architects"),
                                         QStringLiteral("abogados"),
                                         QStringLiteral("asesores"),
                                         QStringLiteral("avocats"),
                                         QStringLiteral("advocaten"),
                                         QStringLiteral("rechtsanwälte"),
                                         QStringLiteral("steuerberater"),
                                         QStringLiteral("roofing"),
                                         QStringLiteral("landscaping"),
                                         QStringLiteral("electrical")};
    static const QRegularExpression token(QStringLiteral("\\p{L}[\\p{L}\\p{N}]*(?:['’]s)?|&"),
                                          QRegularExpression::UseUnicodePropertiesOption);
    // A name and its trade stand side by side ("Mueller_GmbH" is a file's name).
    static const QRegularExpression anyFirmWord = [] {
        QStringList words(firmWords.begin(), firmWords.end());
        return QRegularExpression(QStringLiteral("\\b(?:") + words.join(QLatin1Char('|')) +
                                      QStringLiteral(")\\b"),
                                  QRegularExpression::CaseInsensitiveOption |
                                      QRegularExpression::UseUnicodePropertiesOption);
    }();
    QList<QRegularExpressionMatch> tokens;
    for (auto it = anyFirmWord.match(text).hasMatch() ? token.globalMatch(text)
                                                      : QRegularExpressionMatchIterator();
         it.hasNext();) {
        tokens.append(it.next());
    }
    const auto possessive = [](const QString& w) {
        return w.endsWith(QStringLiteral("'s")) || w.endsWith(QStringLiteral("\u2019s"));
    };
    const auto bare = [&](qsizetype at) {
        const QString w = tokens.at(at).captured();
        return (possessive(w) ? w.chopped(2) : w).toLower();
    };
    const auto beside = [&](qsizetype at) {
        const qsizetype end = tokens.at(at - 1).capturedEnd();
        return text.mid(end, tokens.at(at).capturedStart() - end) == QStringLiteral(" ");
    };
    const auto trade = [&](qsizetype at) {
        return firmWords.contains(bare(at)) || tokens.at(at).captured() == QStringLiteral("&");
    };
    for (qsizetype i = 1; i < tokens.size(); ++i) {
        const QString w = tokens.at(i).captured();
        qsizetype name = i - 1;
        // A leading "&" has no name before it.
        if (name > 0 && tokens.at(name).captured() == QStringLiteral("&") && beside(name)) {
            --name;
        }
        const QString n = tokens.at(name).captured();
        if (!firmWords.contains(bare(i)) || (asTitle && !w.at(0).isUpper()) ||
            name < (asTitle ? 0 : 1) || !beside(name + 1) || trade(name) || !n.at(0).isUpper() ||
            possessive(n)) {
            continue;
        }
        qsizetype last = i;
        while (last + 1 < tokens.size() && trade(last + 1) && beside(last + 1)) {
            ++last;
        }
        if (!possessive(tokens.at(last).captured())) {
            // "Müller" and "Mueller" are one name.
            QString key = n.toLower();
            key.replace(QStringLiteral("ä"), QStringLiteral("ae"))
                .replace(QStringLiteral("ö"), QStringLiteral("oe"))
                .replace(QStringLiteral("ü"), QStringLiteral("ue"));
            add(Kind::firm, key, n + QLatin1Char(' ') + w);
        }
    }
    // An aimset names its code by "the payments service"; a window listing
    // pull requests shows whose ("Pull requests · kovacs-dev/dotfiles").
    static const QRegularExpression ownCode(
        QStringLiteral("\\b(?:the|our|my) ([a-z][a-z0-9-]+) (?:service|repo|repository)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression requests(
        QStringLiteral("\\b(?:pull|merge) requests?\\b.*?[\\w.-]+/([\\w.-]+)"),
        QRegularExpression::CaseInsensitiveOption);
    if (const auto m = (asTitle ? requests : ownCode).match(text); m.hasMatch()) {
        add(Kind::repository, m.captured(1).toLower(), m.captured(1));
    }
    // A season of a campaign, a menu or a collection; German and Dutch join
    // it to the thing ("Herbstkarte"). Christmas falls in winter.
    static const QStringList seasonKeys{QStringLiteral("spring"), QStringLiteral("summer"),
                                        QStringLiteral("autumn"), QStringLiteral("winter"),
                                        QStringLiteral("christmas")};
    static const QRegularExpression season = [] {
        QStringList groups;
        for (const auto& [words, joined] :
             {std::pair{"spring|primavera|printemps", "frühling|frühjahr"},
              std::pair{"summer|verano|verão", "sommer|zomer"},
              std::pair{"autumn|otoño|automne|autunno|outono", "herbst|herfst"},
              std::pair{"invierno|hiver|inverno", "winter"},
              std::pair{"christmas|xmas|navidad|noël|noel|natale", "weihnacht|kerst"}}) {
            groups.append(QStringLiteral("((?:%1)(?!\\p{L})|%2)")
                              .arg(QString::fromUtf8(words), QString::fromUtf8(joined)));
        }
        return QRegularExpression(QStringLiteral("(?<!\\p{L})(?:") + groups.join(QLatin1Char('|')) +
                                      QLatin1Char(')'),
                                  QRegularExpression::CaseInsensitiveOption |
                                      QRegularExpression::UseUnicodePropertiesOption);
    }();
    for (auto it = season.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        for (qsizetype k = 0; k < seasonKeys.size(); ++k) {
            if (m.capturedLength(static_cast<int>(k) + 1) > 0) {
                add(Kind::season, seasonKeys.at(k), m.captured());
                if (k + 1 == seasonKeys.size()) {
                    add(Kind::season, QStringLiteral("winter"), m.captured());
                }
            }
        }
    }
    // Keyed by the kind of part, so that "week 4" and "lesson 12" do not meet.
    static const QList<QStringList> parts = [] {
        QList<QStringList> names;
        for (const char* family :
             {"week woche semana semaine settimana",
              "chapter kapitel capítulo chapitre capitolo hoofdstuk", "module modul módulo modulo",
              "lecture vorlesung", "ward", "bed bett cama letto", "übungsblatt pset td tp",
              "lesson lektion lección leçon lezione", "unit unidad unité unità einheit", "sprint",
              "episode épisode episodio episódio folge aflevering ep"}) {
            names.append(QString::fromUtf8(family).split(QLatin1Char(' ')));
        }
        return names;
    }();
    static const QRegularExpression numberedPart(
        QStringLiteral("\\b(\\p{L}+) ?(\\d{1,3})\\b(?![.,:/]\\d)"),
        QRegularExpression::UseUnicodePropertiesOption);
    for (auto it = numberedPart.globalMatch(spaced); it.hasNext();) {
        const auto m = it.next();
        const QString w = m.captured(1).toLower();
        for (qsizetype n = 0; n < parts.size(); ++n) {
            if (parts.at(n).contains(w)) {
                add(Kind::part,
                    parts.at(n).first() + QLatin1Char(':') + QString::number(m.captured(2).toInt()),
                    m.captured());
            }
        }
    }
    for (auto it = project.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        // In a title, only a part of its own or a folder names a project;
        // in a sentence it is as often a word ("cookie-banner").
        qsizetype before = m.capturedStart() - 1;
        const bool folder = before >= 0 && (text.at(before) == QLatin1Char('/') ||
                                            text.at(before) == QLatin1Char('~'));
        while (before >= 0 && text.at(before).isSpace()) {
            --before;
        }
        static const QString separators = QStringLiteral("-\u2013\u2014|\u00B7:");
        const bool alone = !asTitle || folder || before < 0 || separators.contains(text.at(before));
        if (alone) {
            add(Kind::project, m.captured(), m.captured());
        }
    }
    // Months in the languages the knowledge reads: whole, or short where a
    // file name joins them to a word or a number ("stock_count_oct", "Sep2026").
    // "May", "March" and "Mars" only as names.
    static const QList<QStringList> months{
        {QStringLiteral("january"), QStringLiteral("januar"), QStringLiteral("enero"),
         QStringLiteral("janvier"), QStringLiteral("januari"), QStringLiteral("jan")},
        {QStringLiteral("february"), QStringLiteral("februar"), QStringLiteral("febrero"),
         QStringLiteral("février"), QStringLiteral("fevrier"), QStringLiteral("februari"),
         QStringLiteral("feb")},
        {QStringLiteral("march"), QStringLiteral("märz"), QStringLiteral("maerz"),
         QStringLiteral("marzo"), QStringLiteral("mars"), QStringLiteral("maart"),
         QStringLiteral("mar")},
        {QStringLiteral("april"), QStringLiteral("abril"), QStringLiteral("avril"),
         QStringLiteral("apr")},
        {QStringLiteral("may"), QStringLiteral("mai"), QStringLiteral("mayo"),
         QStringLiteral("mei")},
        {QStringLiteral("june"), QStringLiteral("juni"), QStringLiteral("junio"),
         QStringLiteral("juin"), QStringLiteral("jun")},
        {QStringLiteral("july"), QStringLiteral("juli"), QStringLiteral("julio"),
         QStringLiteral("juillet"), QStringLiteral("jul")},
        {QStringLiteral("august"), QStringLiteral("agosto"), QStringLiteral("août"),
         QStringLiteral("aout"), QStringLiteral("augustus"), QStringLiteral("aug")},
        {QStringLiteral("september"), QStringLiteral("septiembre"), QStringLiteral("septembre"),
         QStringLiteral("sept"), QStringLiteral("sep")},
        {QStringLiteral("october"), QStringLiteral("oktober"), QStringLiteral("octubre"),
         QStringLiteral("octobre"), QStringLiteral("oct")},
        {QStringLiteral("november"), QStringLiteral("noviembre"), QStringLiteral("novembre"),
         QStringLiteral("nov")},
        {QStringLiteral("december"), QStringLiteral("dezember"), QStringLiteral("diciembre"),
         QStringLiteral("décembre"), QStringLiteral("decembre"), QStringLiteral("dec")}};
    static const QSet<QString> shortForms{
        QStringLiteral("jan"),  QStringLiteral("feb"), QStringLiteral("mar"), QStringLiteral("apr"),
        QStringLiteral("jun"),  QStringLiteral("jul"), QStringLiteral("aug"), QStringLiteral("sep"),
        QStringLiteral("sept"), QStringLiteral("oct"), QStringLiteral("nov"), QStringLiteral("dec"),
        QStringLiteral("may")};
    static const QSet<QString> namesOnly{QStringLiteral("march"), QStringLiteral("mars")};
    static const QRegularExpression word(QStringLiteral("\\p{L}+"),
                                         QRegularExpression::UseUnicodePropertiesOption);
    const auto joined = [&text](qsizetype at) {
        return at >= 0 && at < text.size() &&
               (text.at(at) == QLatin1Char('_') || text.at(at).isDigit());
    };
    static const QRegularExpression between(
        QStringLiteral("^\\s*(?:to|through|until|till|bis|a|al|au|à|t/m|-|–)\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    qsizetype lastMonth = -1;
    qsizetype lastEnd = 0;
    for (auto it = word.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        const QString w = m.captured().toLower();
        const bool name = m.captured().at(0).isUpper();
        if ((shortForms.contains(w) && !joined(m.capturedStart() - 1) && !joined(m.capturedEnd()) &&
             !(w == QStringLiteral("may") && name)) ||
            (namesOnly.contains(w) && !name)) {
            continue;
        }
        for (qsizetype n = 0; n < months.size(); ++n) {
            if (months.at(n).contains(w)) {
                // "October to December" names November too.
                if (lastMonth >= 0 &&
                    between.match(text.mid(lastEnd, m.capturedStart() - lastEnd)).hasMatch()) {
                    for (qsizetype k = (lastMonth + 1) % 12; k != n; k = (k + 1) % 12) {
                        add(Kind::month, QStringLiteral("month") + QString::number(k + 1),
                            m.captured());
                    }
                }
                add(Kind::month, QStringLiteral("month") + QString::number(n + 1), m.captured());
                lastMonth = n;
                lastEnd = m.capturedEnd();
            }
        }
    }
    // A language by its name, as its speakers and others write it. "Polish"
    // only as a name: polish is also something to shine shoes with.
    static const QHash<QString, QString> languages = [] {
        // A line a language: its key, then its names.
        static const char* const table =
            "spanish español española espanol castellano spanisch espagnol spagnolo espanhol "
            "spaans hiszpański\n"
            "french français française francais französisch francés francesa francese francês "
            "frans franse francuski\n"
            "german deutsch alemán alemana alemanes allemand allemande tedesco tedesca "
            "alemão alemã duits duitse niemiecki\n"
            "english inglés inglesa anglais anglaise englisch inglese inglês engels engelse "
            "angielski\n"
            "italian italiano italiana italienisch italien italienne italiaans włoski\n"
            "portuguese portugués portuguesa português portugiesisch portugais portoghese "
            "portugees\n"
            "dutch nederlands niederländisch néerlandais neerlandés holandés olandese holandês\n"
            "japanese japonés japonais japanisch giapponese japonês japans\n"
            "chinese mandarin chinois chinesisch chino cinese chinês\n"
            "korean coréen koreanisch coreano\n"
            "russian russe russisch ruso russo\n"
            "arabic arabe arabisch árabe arabo\n"
            "polish polnisch polonais polaco polacco polski";
        QHash<QString, QString> names;
        for (const QString& line : QString::fromUtf8(table).split(QLatin1Char('\n'))) {
            const QStringList spelt = line.split(QLatin1Char(' '));
            for (const QString& name : spelt) {
                names.insert(name, spelt.first());
            }
        }
        return names;
    }();
    for (auto it = word.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        const auto named = languages.constFind(m.captured().toLower());
        if (named != languages.constEnd() &&
            (*named != QStringLiteral("polish") || m.captured().at(0).isUpper())) {
            add(Kind::language, *named, m.captured());
        }
    }
    return found;
}

QList<Specific> subjectsNamed(const QString& text) {
    // A line a subject: its key, "/" before a branch of the subject before
    // it, then its names as courses are called in the languages the judge
    // reads. Only names a course goes by: "analysis" alone is as often a
    // report's as a course's.
    static const char* const table =
        "mathematics: mathematics, maths, math, mathematik, mathe, matemáticas, matemática, "
        "mathématiques, matematica, wiskunde\n"
        "mathematics/calculus: calculus, cálculo, analisi matematica, analyse mathématique\n"
        "mathematics/linear algebra: linear algebra, lineare algebra, álgebra lineal, algèbre "
        "linéaire, algebra lineare, álgebra linear, lineaire algebra\n"
        "mathematics/statistics: statistics, statistik, estadística, statistiques, statistica, "
        "estatística, statistiek\n"
        "physics: physics, physik, física, physique, fisica, natuurkunde\n"
        "physics/thermodynamics: thermodynamics, thermodynamik, termodinámica, thermodynamique, "
        "termodinamica, termodinâmica\n"
        "chemistry: chemistry, chemie, química, chimie, chimica, scheikunde\n"
        "chemistry/organic: organic chemistry, organische chemie, química orgánica, chimie "
        "organique, chimica organica, química orgânica, orgo\n"
        "chemistry/inorganic: inorganic chemistry, anorganische chemie, química inorgánica, "
        "chimie inorganique, chimica inorganica, química inorgânica\n"
        "chemistry/physical: physical chemistry, physikalische chemie, química física, chimie "
        "physique, chimica fisica, físico-química\n"
        "biochemistry: biochemistry, biochemie, bioquímica, biochimie, biochimica\n"
        "biology: biology, biologie, biología, biologia\n"
        "economics: economics, ökonomie, volkswirtschaftslehre, vwl, economía, économie, "
        "economia, economie\n"
        "economics/micro: microeconomics, mikroökonomie, mikroökonomik, microeconomía, "
        "microéconomie, microeconomia\n"
        "economics/macro: macroeconomics, makroökonomie, makroökonomik, macroeconomía, "
        "macroéconomie, macroeconomia\n"
        "accounting: accounting, rechnungswesen, buchführung, contabilidad, comptabilité, "
        "contabilità, contabilidade\n"
        "accounting/cost: cost accounting, kostenrechnung, contabilidad de costes, comptabilité "
        "analytique, contabilità analitica\n"
        "marketing: marketing\n"
        "law: law school, jura, rechtswissenschaft, derecho, droit, diritto, direito\n"
        "law/civil: civil law, zivilrecht, bürgerliches recht, derecho civil, droit civil, "
        "diritto civile, direito civil\n"
        "law/civil/contract: contract law, law of contract, vertragsrecht, derecho de contratos, "
        "droit des contrats, diritto dei contratti\n"
        "law/civil/tort: tort law, law of tort, torts, deliktsrecht\n"
        "law/criminal: criminal law, strafrecht, derecho penal, droit pénal, diritto penale, "
        "direito penal\n"
        "law/public: public law, öffentliches recht, derecho público, droit public, diritto "
        "pubblico, direito público\n"
        "law/public/constitutional: constitutional law, verfassungsrecht, staatsrecht, derecho "
        "constitucional, droit constitutionnel, diritto costituzionale, direito constitucional\n"
        "law/public/administrative: administrative law, verwaltungsrecht, derecho "
        "administrativo, droit administratif, diritto amministrativo, direito administrativo\n"
        "history: history, geschichte, historia, histoire, storia, história, geschiedenis\n"
        "geography: geography, geografie, erdkunde, geografía, géographie, geografia, "
        "aardrijkskunde\n"
        "philosophy: philosophy, philosophie, filosofía, filosofia\n"
        "psychology: psychology, psychologie, psicología, psicologia\n"
        "sociology: sociology, soziologie, sociología, sociologie, sociologia\n"
        "political science: political science, politikwissenschaft, ciencia política, science "
        "politique, scienze politiche, ciência política\n"
        "biology/genetics: genetics, genetik, genética, génétique, genetica\n"
        "biology/microbiology: microbiology, mikrobiologie, microbiología, microbiologie, "
        "microbiologia\n"
        "biology/ecology: ecology, ökologie, ecología, écologie, ecologia\n"
        "astronomy: astronomy, astronomie, astronomía, astronomia\n"
        "geology: geology, geologie, geología, géologie, geologia\n"
        "computer science: computer science, informatik, informática, informatique, informatica\n"
        "anatomy and physiology: anatomy, anatomie, anatomía, anatomia, physiology, "
        "physiologie, fisiología, fisiologia\n"
        "pharmacology: pharmacology, pharmakologie, farmacología, pharmacologie, farmacologia\n"
        "cardiology: cardiology, kardiologie, cardiología, cardiologie, cardiologia\n"
        "dermatology: dermatology, dermatologie, dermatología, dermatologia\n"
        "neurology: neurology, neurologie, neurología, neurologia\n"
        "pediatrics: pediatrics, paediatrics, pädiatrie, pediatría, pédiatrie, pediatria\n"
        "internal medicine: internal medicine, innere medizin, medicina interna, médecine "
        "interne";
    static const auto [names, form] = [] {
        QHash<QString, QString> keyOf;
        QStringList all;
        for (const QString& line : QString::fromUtf8(table).split(QLatin1Char('\n'))) {
            const QString key = line.section(QLatin1Char(':'), 0, 0);
            for (const QString& name :
                 line.section(QLatin1Char(':'), 1).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                keyOf.insert(name.trimmed(), key);
                all.append(QRegularExpression::escape(name.trimmed()));
            }
        }
        // The longest name first: "organic chemistry" before "chemistry".
        std::sort(all.begin(), all.end(),
                  [](const QString& a, const QString& b) { return a.size() > b.size(); });
        return std::pair{
            keyOf,
            QRegularExpression(
                QStringLiteral("(?<![\\p{L}-])(%1)(?![\\p{L}-])").arg(all.join(QLatin1Char('|'))),
                QRegularExpression::CaseInsensitiveOption |
                    QRegularExpression::UseUnicodePropertiesOption)};
    }();
    QList<Specific> found;
    for (auto it = form.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        found.append({Kind::subject, names.value(m.captured(1).toLower()), m.captured(1)});
    }
    return found;
}

} // namespace aimset::checkd
