#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

namespace aimset::checkd {

// The specifics an aimset or a window names, by kind: numbered items
// ("#482", "BILL-882"), course codes ("CHEM 2211"), school years ("Year 9",
// "2º de ESO", "6. Klasse", "havo 4"), numbered parts of a course, plan or show ("week
// 4", "Kapitel 3", "episode 12", "Übungsblatt 8"), a hospital's wards and beds ("ward 7",
// "bed 12"), projects ("payments-service"), months, a job's seniority
// ("junior"), a system's environment ("staging"), firms ("Delgado Bakery"),
// the repository whose pull requests a window lists, seasons, the
// numbered records of a business ("account 44-1093", "Bestellung 55120"),
// a language's level ("B1"), a language by its name in the languages the
// judge reads ("alemán", "Französisch") and a museum, project, client or street called
// by its name ("musée d'Orsay", "Larch Mews").
struct Specific {
    enum class Kind : quint8 {
        item,
        record,
        course,
        year,
        part,
        project,
        month,
        rank,
        stage,
        firm,
        repository,
        season,
        level,
        language,
        called,
        subject
    };
    Kind kind;
    QString key; // the same item however written
    QString shown;
};

// Letters and digits of a text, lower-cased: "PAY-2231" as "pay2231".
QString compact(const QString& text);

// A bill in the languages the judge reads.
extern const QString kBillWords;

// Everything a text names, kind by kind. A window's title (asTitle) is read
// as titles are written: a firm's name capitalised, a project only as a
// part of its own, a repository by the pull requests it lists.
QList<Specific> specificsNamed(const QString& text, bool asTitle);

// The subjects of school and university a text names ("Organische Chemie",
// "droit constitutionnel"), keyed so that a branch's key starts with its
// subject's and "/" ("chemistry/organic").
QList<Specific> subjectsNamed(const QString& text);

} // namespace aimset::checkd
