#include "OfflineJudge.h"
#include "Knowledge.h"
#include "TextAnalysis.h"
#include "support/QtPrinters.h"
#include "support/SpinUntil.h"

#include <QFile>
#include <QHashFunctions>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>

using namespace aimset::checkd;
using namespace Qt::StringLiterals;
using Verdict = OfflineJudge::Verdict;

namespace {

constexpr auto kept = Verdict::aligned;
constexpr auto asked = Verdict::unclear;
constexpr auto closed = Verdict::misaligned;
constexpr const char* kGrant = "Draft the grant proposal for the wetland survey";
constexpr const char* kChemistry = "Study for my chemistry exam";
constexpr const char* kLogin = "Fix the login bug";

TEST(TextAnalysisTest, WordFormsCaseAccentsAndScriptsMeet) {
    EXPECT_EQ(analyzeTerms(u"Reports, REPORTING; report"_s),
              (QStringList{u"report"_s, u"report"_s, u"report"_s}));
    EXPECT_EQ(analyzeTerms(u"Café Übung İkamet"_s), analyzeTerms(u"cafe ubung ikamet"_s));
    EXPECT_NE(analyzeTerms(u"soi-même"_s), analyzeTerms(u"soi-meme"_s)); // "same", not a meme
    EXPECT_NE(analyzeTerms(u"thèse"_s), analyzeTerms(u"these"_s));       // a thesis, not a stopword
    EXPECT_EQ(analyzeTerms(u"Rechnungen Universitäten"_s), analyzeTerms(u"Rechnung Universität"_s));
    EXPECT_EQ(analyzeTerms(u"E-Mail to X-Ray - Lab"_s), analyzeTerms(u"email to xray lab"_s));
    // Digits stay whole (their letters speak too), single letters and symbols go.
    EXPECT_EQ(analyzeTerms(u"Q3 • a 2024 🚀 Lecture08"_s),
              (QStringList{u"q3"_s, u"2024"_s, u"lecture08"_s, u"lectur"_s}));
    // Japanese is cut into pairs at kana.
    EXPECT_EQ(analyzeTerms(u"卒業論文の序論を書く"_s),
              (QStringList{u"卒業"_s, u"業論"_s, u"論文"_s, u"序論"_s, u"書"_s}));
}

// Title checks, one row per kind of window the judge must tell apart: the
// aimset, the window (application name, " - ", title), the verdict. The
// windows are made up here; they are not taken from any labelled set.
const std::tuple<const char*, const char*, Verdict> kTitleCases[] = {
    // A feed with no word in common is play.
    {kGrant, "Firefox - Home / X — Mozilla Firefox", closed},
    // One's own file in a tool of work is work, whatever its name reads as.
    {kGrant, "LibreOffice Calc - boat_hire_quotes_2026.ods - LibreOffice Calc", kept},
    // Shared words do not beat obvious play: at most the user is asked.
    {kChemistry,
     "Google Chrome - Breaking Bad S02E04 - Chemistry of a lie - Netflix - Google Chrome", asked},
    {"Study for the bar exam", "Firefox - The 20 best cocktail bars in Lisbon — Mozilla Firefox",
     asked},
    {kChemistry, "Firefox - Best chemistry sets for kids 2026", asked},
    {kChemistry, "Firefox - Why ice floats: the chemistry explained - BBC News", asked},
    {"Grant report for Thornbury food bank", "Firefox - Thornbury Leisure Centre", asked},
    {"Bericht zum Streik in Bochum schreiben", "Firefox - Twitter / X – #Bochum", asked},
    {kChemistry,
     "Google Chrome - Chemistry memes for the night before the exam - Reddit - Google Chrome",
     asked},
    // A site of work is not work on any topic.
    {"Fix the login bug where sessions expire too early",
     "Firefox - c# - Rigidbody collision physics in Unity jumps - Stack Overflow — Mozilla "
     "Firefox",
     asked},
    {"Review PR #482 in acme/inventory-api",
     "Firefox - Bump eslint to 9.2 · Pull Request #479 · acme/inventory-api", asked},
    {"Fix the export test BILL-311", "Firefox - Pull Request #512: retry the export test", kept},
    {"Learn SQL window functions", "Firefox - SQL LAG vs LEAD window functions", kept},
    {"Revise enzyme kinetics for BIOL 2110", "Evince - CHEM1210_Lab_Report_4.pdf", asked},
    // A site named by a common phrase ("Built In") is not found inside other words.
    {"Retouch the shoe photos",
     "GIMP - [shoe_front] (imported)-1.0 (RGB color 8-bit gamma integer, GIMP built-in sRGB, 1 "
     "layer) 4000x3000 – GIMP",
     kept},
    // ... and as a whole part counts as any other name: a tool, one the aimset names.
    {"Log the plasmid preps", "Chrome - Notebook | Benchling", kept},
    {"Reply on our Mastodon account", "Firefox - Home | Mastodon", kept},
    {"Reply to comments on X", "Firefox - Notifications / X", asked},
    {"Reply to comments on Twitter", "Firefox - Notifications / X", asked}, // one site, two names
    {"Plan the Year 8 lessons on the Tudors", "Firefox - Year 10 Maths – Google Classroom", asked},
    {"Fix the retry test in billing-service", "Visual Studio Code - main.go - search-service",
     asked},
    {"Do the October to December VAT return", "Evince - Invoice_Nov_2026.pdf", kept},
    // A name is written as it is: "valor" (a value) only stems like Valorant;
    // the month's bill is kept by its likely look (a plain page, words of work).
    {"Pagar a conta da luz", "Firefox - Valor da fatura de outubro — Mozilla Firefox", kept},
    // A showcase's feed, tied to the aimset only by the site's own name.
    {"Design the checkout screens for the banking app in Figma",
     "Firefox - Dribbble - Popular shots — Mozilla Firefox", asked},
    // Music in front: a track that names nothing of the aimset is asked about,
    // as the bare app is; the song being learned is the work.
    {kLogin, "Spotify - Nils Frahm - Says", asked},
    {kLogin, "Spotify - Spotify Premium", asked},
    {"Practise scales on the piano", "Spotify - Nils Frahm - Says", asked},
    {"Edit episode 9 of our podcast", "Spotify - Spotify - Podcast Cozy Crimes", asked},
    {"Learn the Hotel California solo on guitar", "Spotify - Eagles - Hotel California", kept},
    // Related without a shared word, across languages too, and in other word forms.
    {kLogin, "Visual Studio Code - auth_middleware.py - webapp", kept},
    {"Für die Statistik-Klausur lernen",
     "Firefox - Hypothesis testing and p-values explained - Khan Academy — Mozilla Firefox", kept},
    {"Referat über Solaranlagen auf Flachdächern vorbereiten",
     "Firefox - Solaranlage auf dem Flachdach: Aufständerung und Statik — Mozilla Firefox", kept},
    {"Die Nebenkostenabrechnung für die Mieter erstellen",
     "Firefox - Betriebskosten: was darf in die Abrechnung? — Mozilla Firefox", kept},
    // A field's phrase with a word set into it still names the field.
    {"Close the March books for the cafe",
     "Firefox - Bank reconciliation checklist — Mozilla Firefox", kept},
    // A letter that is a little word ("o", "y") or elided ("d'") is read past in phrases.
    {"rozmowa o pracę w banku", "Firefox - 10 pytań na rozmowie kwalifikacyjnej", kept},
    {"szukanie pracy w banku", "Firefox - Rozmowa o pracę: jak się przygotować", kept},
    {"Réparer la chasse d'eau", "Firefox - Toilet cistern: replace the fill valve", kept},
    // What the aimset intends makes such places work.
    {"Answer my emails", "Thunderbird - Inbox - Mozilla Thunderbird", kept},
    {"Find new leads for the logistics pitch",
     "Google Chrome - Maria Lopez - Head of Logistics - Fastfreight | LinkedIn - Google Chrome",
     kept},
    // A map serves a trip or a visit the aimset plans; to other work, what
    // it shows decides (a street address is a job's, a cinema is not).
    {"Plan a week in Portugal: trains, hotels and a hire car",
     "Firefox - Tavira to Lagos - Google Maps — Mozilla Firefox", kept},
    {"Book Dad's cardiology follow-up",
     "Firefox - Google Maps - Glenfield Hospital — Mozilla Firefox", kept},
    {kGrant, "Firefox - Google Maps - Vue Cinema Leicester Square — Mozilla Firefox", asked},
    {"Invoice the Okafor job", "Google Chrome - 27 Acacia Avenue - Google Maps - Google Chrome",
     kept},
    // Real work in an unexpected place is kept or asked about, never closed.
    {"Learn to draw hands",
     "Google Chrome - How to draw hands: gesture tutorial for beginners - YouTube - Google Chrome",
     kept},
    {"Practise the flute every evening", "Firefox - Flute breathing exercises - YouTube", kept},
    {"Make the lanterns for the school fete",
     "Firefox - DIY paper lanterns with kids - YouTube — Mozilla Firefox", kept},
    {"Learn how Kubernetes networking works",
     "Firefox - Kubernetes Networking Explained: Services and Ingress | Amazon.com — Mozilla "
     "Firefox",
     asked},
    // Thin evidence: a blank tool is kept, an unknown page is asked about.
    {kGrant, "LibreOffice Writer - Untitled 1", kept},
    {kGrant, "Google Chrome - 25 Cutest Puppies of the Year - Google Chrome", closed},
    {kGrant, "Google Chrome - Sphagnum moss identification key - Google Chrome", asked},
    // A shared word among other things is a coincidence as often as a link:
    // one generic word among a page's many is asked about, as is a thread
    // with nothing else of the subject; one clearly on it is work.
    {"Write the incident report for last night's database outage",
     "Google Chrome - Report a lost or stolen card | Chase - Google Chrome", asked},
    {"Outline the plot of my fantasy novel",
     "Google Chrome - r/Fantasy - What are you reading this week? - Google Chrome", asked},
    // ... and so is a video sharing one word with the aimset, whose other
    // words have nothing to do with it.
    {"Upgrade the Falcon app from 3.1 to 4.0",
     "Chromium - Peregrine Falcon Dives Hunting Pigeons - YouTube - Chromium", asked},
    {"File my 2024 tax return",
     "Google Chrome - Where do I report capital gains on my tax return? : r/tax - Google Chrome",
     kept},
    // A word of the aimset and one specific word of its field are enough;
    // the aimset's word alone is not.
    {"File my 2024 tax return",
     "Google Chrome - Can I deduct my home office as a freelancer? : r/tax - Google Chrome", kept},
    {kChemistry,
     "Google Chrome - Finally passed the exam after three tries : r/college - Google Chrome",
     asked},
    // A thread in words of the trade the judge does not place is asked about, not closed.
    {"Roll out this month's Windows updates to the clinic laptops",
     "Microsoft Edge - r/sysadmin - Patch Tuesday megathread - Microsoft Edge", asked},
    // ... and one in two words of the aimset's field is work.
    {"Study the new asthma guideline for the journal club",
     "Google Chrome - r/medicine - Thoughts on the new inhaler dosing? - Google Chrome", kept},
    // A list of posts is a feed, whatever the forum's subject and however much the
    // aimset needs the site, unless the aimset names it.
    {"Fix the lifetime error in the Rust parser", "Firefox - r/rust - Hot — Mozilla Firefox",
     closed},
    {"Moderate r/rust after the release", "Firefox - r/rust - Hot — Mozilla Firefox", asked},
    {"Shortlist candidates for the backend role",
     "Google Chrome - (3) Feed | LinkedIn - Google Chrome", closed},
    // A shop may be what an aimset the judge cannot place needs.
    {"Finish the Henderson project",
     "Google Chrome - Amazon.com: archival storage boxes - Google Chrome", asked},
    // A needed shop's page tied by one word of the aimset may sell another thing of that word.
    {"Set up home Wi-Fi mesh", "Firefox - Mesh tote bags - Zara — Mozilla Firefox", asked},
    {"Buy a cable for the new monitor", "Firefox - Cable knit jumpers - Marks & Spencer", asked},
    {"Set up home Wi-Fi mesh", "Firefox - TP-Link Deco mesh Wi-Fi system - Amazon", kept},
    // A place the aimset's field names is, in a file's name, the document's subject.
    {"Préparer mon inscription au chômage", "Okular - attestation_employeur_France_Travail_dec.pdf",
     kept},
    // An aimset about play itself may need any place of play; selling needs a marketplace.
    {"Write the match report for the school newspaper",
     "Google Chrome - BBC Sport - Football - Google Chrome", asked},
    {"Sell my old bike", "Google Chrome - Kleinanzeigen - Fahrrad verkaufen - Google Chrome", kept},
    // A needed shop's page showing nothing of the aimset may sell anything.
    {"Sell my old bike", "Google Chrome - eBay - Märklin H0 3000 - Google Chrome", asked},
    // So may a needed place of play: a store of games, to one making a game.
    {"Tune the enemy AI in my Godot shooter", "Steam - Hades", asked},
    // A podcast or lesson that names the language the aimset practises is the practice.
    {"Improve my Italian listening", "Firefox - Podcast italiano, episodio 40 — Mozilla Firefox",
     kept},
    {"Improve my Spanish listening", "Firefox - Podcast italiano, episodio 40 — Mozilla Firefox",
     asked},
    // Japanese is told by its common words too, whatever its script.
    {"Learn hiragana this week", "Firefox - 今日の東京の天気 - NHK — Mozilla Firefox", kept},
    // English is practised too, by one who writes the aimset in another language.
    {"practicar inglés para el B2",
     "Firefox - How to order coffee like a local in London - YouTube — Mozilla Firefox", kept},
    {"Learn Portuguese for the move", "Firefox - Duolingo - German", asked},
    // A listing names its home's town: for an aimset of that field that
    // names another or none, it is another home.
    {"Find a flat in Bristol", "Firefox - Rightmove - 2 bed flats to rent in Bristol", kept},
    {"Read the lease before signing", "Firefox - Rightmove - 2 bed flats to rent in Bristol",
     asked},
    // A board of ideas is browsed, unless the aimset's field designs with it.
    {"Sew a lined tote bag", "Firefox - Pinterest - canvas tote bag ideas — Mozilla Firefox",
     asked},
    {"Learn to solder SMD parts", "Firefox - Pinterest - circuit board art ideas", asked},
    {"Design the bakery logo", "Firefox - Dribbble - bakery logo — Mozilla Firefox", kept},
    // A paper the aimset writes for or reads is still asked about for another story.
    {"Write the newsletter for the bookshop",
     "Firefox - BBC News - Storm Darragh closes schools — Mozilla Firefox", asked},
    // A course of many languages is another pastime for any other aimset.
    {"Spanisch Vokabeln B1 wiederholen", "Firefox - Duolingo – Spanisch — Mozilla Firefox", kept},
    {"Translate the user manual into German", "Firefox - Duolingo — Mozilla Firefox", asked},
    {"Prepare the maths lesson for 7b", "Firefox - Duolingo — Mozilla Firefox", asked},
    // Not so a page about something else that names it: a restaurant's menu.
    {"Improve my Spanish listening",
     "Firefox - Dinner menu - Casa Luna Spanish Restaurant — Mozilla Firefox", asked},
    // A firm's trade with no name before it is read past, where the aimset or title begins.
    {"& Partners: chase the unpaid invoices", "& Partners LLP - invoices overdue", kept},
    {"Upgrade to Django 5.2", "Firefox - Django 5.2 release notes", kept},
    {"Cost the autumn menu", "Firefox - Menu pricing: the rule of three", kept},
    // The subject in the news is read about, not worked on.
    {kChemistry, "Firefox - Chemistry exam results fall for a third year | The Guardian", asked},
    {kChemistry, "Firefox - Chemistry exam results fall for a third year | Wexford Courier", asked},
    // A forum or an office named after a paper's word is that place.
    {"Practise the Elgar cello concerto opening",
     "Firefox - Bowing the Elgar opening - Cello Herald Forum", kept},
    {"Practise the Elgar cello concerto opening",
     "Firefox - Bowing the Elgar opening - Cello Herald", asked},
    {kGrant, "Slack - #wetland - The Guardian - Slack", kept},
    // In a chat a name is someone's, not the streaming service's (Max).
    {kGrant, "Slack - Max - Fenland Trust grant - Slack", kept},
    // A chat's title that shares nothing is left to what the chat says.
    {kGrant, "Slack - Max - Fenland Trust - Slack", asked},
    {kGrant, "WhatsApp - WhatsApp", asked},
    {kChemistry, "Firefox - Redox equilibrium in water | Journal of Chemical Education", kept},
    {"Audit the sepsis screening on the ward", "Firefox - Early Warning Score (NEWS) and sepsis",
     kept},
    {"Learn Rust this month", "Firefox - Rust (fungus) - Wikipedia — Mozilla Firefox", asked},
    {"Learn Rust this month", "Firefox - Rust (programming language) - Wikipedia", kept},
    {"Learn the French subjunctive", "Firefox - Le Monde - Les actualités et les infos du jour",
     asked},
};

TEST(OfflineJudgeTitleTest, WeighsWhatTheWindowIsAndWhatItIsAbout) {
    const OfflineJudge judge;
    for (const auto& [aimset, window, expected] : kTitleCases) {
        const OfflineJudge::Decision decision =
            judge.decideTitle(QString::fromUtf8(aimset), QString::fromUtf8(window));
        EXPECT_EQ(decision.verdict, expected)
            << aimset << " | " << window << " | " << decision.reason.toStdString();
    }
}

// The aimset, the window's text, the verdict and its reason.
const char* const kTextCases[][4] = {
    {kGrant, "Section 2: the wetland survey covers six sites; the grant pays for boats.", "ALIGNED",
     "Mentions grant, wetland, survey"},
    {kGrant, "Continue watching: season 2, episode 4. Up next: the season finale", "MISALIGNED",
     "Looks like episodes (continue watching), unrelated to \u201CDraft the grant proposal for "
     "the wetland survey\u201D"},
    // With nothing of play, one word of the aimset's field keeps a page.
    {kChemistry,
     "When a system at equilibrium is disturbed, it shifts to counter the change.\n"
     "Worked through three of the problems at the end.",
     "ALIGNED", "Mentions equilibrium"},
    // Words of play in a chat are no reason to close it; only its channel's name is.
    {"Write my wedding speech", "Tom: don't forget the camping story from 2014 lol", "UNCLEAR",
     "No clear link to \u201CWrite my wedding speech\u201D"},
    {kLogin, "#frontend - Nimbus - Slack Ana: should the Black Friday banner go live first?",
     "UNCLEAR", "No clear link to \u201CFix the login bug\u201D"},
    // Memes are no less play for naming the exam's subject.
    {"Study for my chemistry exam",
     "Top 10 chemistry memes that will blow your mind. Funniest reactions compilation",
     "MISALIGNED", "Looks like a distraction (memes, top), though it mentions chemistry, reaction"},
    {kGrant, "  \n ", "UNCLEAR", "The window shows no readable text"},
    {"Finish week 3 of the statistics course", "Week 5 | Coursera\nStatistics quiz.", "UNCLEAR",
     "Shows Week 5, not week 3"},
    {"Préparer le conseil de classe du 2e trimestre des 4e B", "Firefox - Pronote - Notes 6A",
     "UNCLEAR", "Shows 6A, not 4e B"},
    {"Zeugnisbemerkungen 2c schreiben", "Firefox - Zeugnisse Klasse 4a", "UNCLEAR",
     "Shows 4a, not 2c"},
    {"Mark 9C's essays", "Firefox - Y9 essays tracker", "ALIGNED", "Mentions essays"},
    {"Update the falls log for ward 3", "LibreOffice Calc - Ward4_falls_log.ods - LibreOffice Calc",
     "UNCLEAR", "Shows Ward4, not ward 3"},
    {"Check chemo doses for bed 7", "Google Chrome - ChemoCare - Bed 12 - R-CHOP - Google Chrome",
     "UNCLEAR", "Shows Bed 12, not bed 7"},
    {"Löse Übungsblatt 5 in Analysis", "Okular - Uebung - Übungsblatt 6.pdf — Okular", "UNCLEAR",
     "Shows Übungsblatt 6, not Übungsblatt 5"},
    {"Call Mr Reyes about account 31-2207", "Firefox - CRM - Account 31-4410 - Ortiz", "UNCLEAR",
     "Shows Account 31-4410, not account 31-2207"},
    // The repository both name does not say which pull request in it.
    {"Review PR 482 in the payments repo",
     "Firefox - Add retry to webhook sender · Pull Request #519 · acme/payments", "UNCLEAR",
     "Shows #519, not PR 482"},
    {"Review PR 482 in the payments repo",
     "Firefox - Fix rounding in refunds · Pull Request #482 · acme/payments", "ALIGNED",
     "Mentions 482, payments, refund"},
    {"Review MR 482 in the payments repo",
     "Firefox - Add retry (!519) · Merge requests · acme / payments · GitLab", "UNCLEAR",
     "Shows !519, not MR 482"},
    {"Answer ticket 4411 from Mrs Patel", "Firefox - Ticket 4410 - Refund request - Zendesk",
     "UNCLEAR", "Shows Ticket 4410, not ticket 4411"},
    // The language practised, however named; a level shared does not say which language.
    {"Apprendre l'allemand niveau B1", "Firefox - Anglais B1 exercices", "UNCLEAR",
     "Shows Anglais, not allemand"},
    {"Apprendre l'allemand niveau B1", "Firefox - Deutsch lernen B1 - DW", "ALIGNED",
     "Mentions B1, deutsch lernen"},
    {"Translate the wine brochure into Spanish",
     "Firefox - Wine tasting terms in English - Wine Folly", "ALIGNED",
     "Mentions wine, wine tasting"},
    // A course on another subject, not on one that holds the aimset's.
    {"Revise organic chemistry for Friday",
     "Firefox - Physical Chemistry 2: entropy problems - Moodle", "UNCLEAR",
     "Shows Physical Chemistry, not organic chemistry"},
    {"Repasar derecho penal", "Firefox - Derecho civil: contratos - Moodle", "UNCLEAR",
     "Shows Derecho civil, not derecho penal"},
    {"Revise organic chemistry for Friday", "Firefox - Chemistry 2: alkenes and alcohols - Moodle",
     "ALIGNED", "Mentions chemistry, alkene, alcohols"},
    {"Revise contract law: consideration", "Firefox - Law of obligations revision notes - Quizlet",
     "ALIGNED", "Mentions law, law of obligations"},
    // A place of play that the aimset's field counts as its own, unless that field is play.
    {"Physio exercises and a 10k plan after knee surgery", "Firefox - Garmin Connect - Calendar",
     "ALIGNED", "Mentions garmin connect"},
    {"Research for a video about GTA 6", "Firefox - Minecraft speedrun world record explained",
     "UNCLEAR", "Mentions minecraft, speedrun, world record, but looks like game (minecraft)"},
    // A bill is accounts' work, except in the mail an aimset about its mail goes through.
    {"Plan the garden party", "Thunderbird - Invoice 2041 overdue - Thunderbird", "UNCLEAR",
     "Shows Invoice 2041 overdue, not \u201CPlan the garden party\u201D"},
    {"Get my inbox to zero",
     "Thunderbird - Invoice 3310 from Hartley Printing - Inbox - Thunderbird", "ALIGNED",
     "Mentions inbox, thunderbird"},
    // So is a rota the work of who is on when, unless the aimset plans or staffs something.
    {"Update the warfarin dosing protocol",
     "Google Chrome - Dispensary rota December - Google Sheets - Google Chrome", "UNCLEAR",
     "Shows Dispensary rota December, not \u201CUpdate the warfarin dosing protocol\u201D"},
    {"Midwifery essay on delayed cord clamping",
     "Chromium - Rota_December_Ward7.xlsx - Google Sheets - Chromium", "UNCLEAR",
     "Shows Rota_December_Ward7.xlsx, not \u201CMidwifery essay on delayed cord clamping\u201D"},
    {"Photosynthese Klasse 7 vorbereiten", "Firefox - WebUntis - Vertretungsplan — Mozilla Firefox",
     "UNCLEAR", "Shows Vertretungsplan, not \u201CPhotosynthese Klasse 7 vorbereiten\u201D"},
    {"Sort out the dispensary rota for December",
     "Google Chrome - Dispensary rota December - Google Sheets - Google Chrome", "ALIGNED",
     "Mentions dispensary, rota, December"},
    // A file's name joins its words with underscores.
    {"Answer FOI 3310 on bin collections",
     "LibreOffice Writer - FOI_3297_street_lighting_reply.docx - LibreOffice Writer", "UNCLEAR",
     "Shows FOI 3297, not FOI 3310"},
    // A tracker's key may carry its year.
    {"Settle claim KH-7731", "Firefox - Schadenfall KH-2026-7730 - Schadenbearbeitung", "UNCLEAR",
     "Shows KH-2026-7730, not KH-7731"},
    {"Settle claim KH-7731", "Firefox - Schadenfall KH-2026-7731 - Schadenbearbeitung", "ALIGNED",
     "Mentions KH-7731"},
    // A key that runs on from another code names a machine, not a ticket.
    {"Answer ticket OPS-4410 about the scanner", "Remmina - Remmina - WS-FIN-0193", "ALIGNED",
     "Fits \u201CAnswer ticket OPS-4410 about the scanner\u201D"},
    {"Prepare the PR 2026 campaign plan", "Firefox - Cision - Media list #12", "ALIGNED",
     "Fits \u201CPrepare the PR 2026 campaign plan\u201D"},
    // A how-to on the aimset's subject shows how its work is done, in any of the languages.
    {"Declarar la renta", "Firefox - Renta 2027 paso a paso - YouTube", "ALIGNED",
     "Mentions renta"},
    {"Mulch the raised bed", "Firefox - Mulch richtig ausbringen - YouTube", "ALIGNED",
     "Mentions Mulch"},
    {"Faire l'inventaire du magasin", "Firefox - Comment organiser un inventaire - YouTube",
     "ALIGNED", "Mentions l'inventaire"},
    {"Plan the sourdough bake", "Firefox - Sourdough in 10 minutes - YouTube", "ALIGNED",
     "Mentions sourdough"},
    // Why something is so is told for its own sake, not to do the work.
    {"Plan the sourdough bake", "Firefox - Why sourdough took over the internet - YouTube",
     "UNCLEAR", "Mentions sourdough, but looks like video (youtube)"},
    // A name the aimset gives, where the window means another thing by it.
    {"Write the grant report for the Thornbury food bank",
     "Firefox - Thornbury Castle – hotel rooms and dining", "UNCLEAR",
     "Mentions Thornbury, but looks like another thing of that name"},
    {"Mix the track Night Bus", "Firefox - N29 night bus timetable - Transport for London",
     "UNCLEAR", "Mentions Night Bus, but looks like another thing of that name"},
    {"Prepare the meeting with Fa. Brandner",
     "Firefox - Google Maps – Ulm → Brandner Maschinenbau, Neu-Ulm", "ALIGNED",
     "Mentions Brandner"},
    {"Prepare the meeting with Fa. Brandner", "Firefox - Brandner Castle – wedding venue",
     "UNCLEAR", "Mentions Brandner, but looks like another thing of that name"},
    {"Mix the track Night Bus", "Ableton Live 12 - Night Bus.als", "ALIGNED",
     "Mentions Night, Bus, ableton live"},
    {"Service the boiler before winter", "Firefox - Combi boilers sale – Heatwise", "UNCLEAR",
     "Mentions boiler, combi boiler, but looks like shopping (sale)"},
    {"Fare il pane in casa", "Firefox - Pane fatto in casa: quanto sale mettere nell'impasto",
     "ALIGNED", "Mentions pane, casa"},
    // A release of the aimset's tool is its news, not its work (unless it is an upgrade).
    {"Fix the flaky login test in the Django app", "Firefox - Django 5.2 release notes", "UNCLEAR",
     "Mentions Django, but looks like releases (release notes)"},
    // A window read without text is judged on its app and title: a game is
    // closed, an inbox alone is asked about.
    {kGrant, "Steam - Hollow Knight", "MISALIGNED",
     "Looks like game (hollow knight), unrelated to \u201CDraft the grant proposal for the "
     "wetland survey\u201D"},
    {"Write my wedding speech", "Thunderbird - Inbox - Mozilla Thunderbird", "ALIGNED",
     "Fits \u201CWrite my wedding speech\u201D"},
    {kGrant, "LibreOffice Writer - wetland_survey_budget.odt - LibreOffice Writer", "ALIGNED",
     "Mentions wetland, survey"},
    // A game the aimset names by the first words of its name is asked
    // about; a store's name that is a common word names no game.
    {"Write the Stardew guide to the new fish ponds", "Steam - Stardew Valley", "UNCLEAR",
     "Mentions Stardew, but looks like game (Steam)"},
    {"Descale the steam trap on boiler 2", "Firefox - Steam Store - Winter Sale", "MISALIGNED",
     "Looks like game (steam store), unrelated to \u201CDescale the steam trap on boiler 2\u201D"},
    // An aimset about one game may need another; one that names a site of
    // play is not about play.
    {"Write the Stardew guide to the new fish ponds", "Steam - Hollow Knight", "UNCLEAR",
     "No clear link to \u201CWrite the Stardew guide to the new fish ponds\u201D"},
    {"Answer the comments on the bakery's Instagram", "Steam - Hollow Knight", "MISALIGNED",
     "Looks like game (hollow knight), unrelated to \u201CAnswer the comments on the bakery's "
     "Instagram\u201D"},
    // A game named by its short name is the game under its full one, and
    // its short name in a window is the game the aimset names by its first
    // words.
    {"Practise SM64 16 star", "Project64 - SUPER MARIO 64", "UNCLEAR",
     "No clear link to \u201CPractise SM64 16 star\u201D"},
    {"Sew the Zelda cosplay cape", "Inkscape - totk_cape_pattern.svg - Inkscape", "ALIGNED",
     "Mentions cape, pattern"},
    // A shop the aimset needs is the errand itself, its cart no sign of play;
    // to another aimset it is a shop like any.
    {"Restock the lab's pipette tips",
     "Filter tips 200 µL, 10 racks of 96 | Fisher Scientific\nIn stock. Add to cart", "ALIGNED",
     "A lab shop page, which \u201CRestock the lab's pipette tips\u201D needs"},
    {"Design the bakery logo", "Pinterest\nHome Explore Create", "ALIGNED",
     "An inspiration page, which \u201CDesign the bakery logo\u201D needs"},
    {"Restock the lab's pipette tips", "Office chair with lumbar support | Fisher Scientific",
     "UNCLEAR", "No clear link to \u201CRestock the lab's pipette tips\u201D"},
    {"Write my thesis introduction",
     "Filter tips 200 µL, 10 racks of 96 | Fisher Scientific\nIn stock. Add to cart", "MISALIGNED",
     "Looks like lab shop (fisher scientific), unrelated to \u201CWrite my thesis "
     "introduction\u201D"},
    {"Surprise Nadia on her fortieth", "Firefox - Chez Paul – Réserver une table | TheFork",
     "UNCLEAR", "No clear link to \u201CSurprise Nadia on her fortieth\u201D"},
    // A page in the language the aimset practises is the practice.
    {"Improve my Italian listening",
     "Il governo ha approvato oggi la nuova legge sul lavoro. Secondo il ministro, tutti i "
     "cittadini avranno più tempo",
     "ALIGNED", "Mentions words in italian"},
    // A site's own front page (its feed) is play with nothing to ask about;
    // a video on it might be anything.
    {kGrant, "Firefox - YouTube — Mozilla Firefox", "MISALIGNED",
     "Looks like video (youtube), unrelated to \u201CDraft the grant proposal for the wetland "
     "survey\u201D"},
    {kGrant, "Firefox - How suspension bridges carry their load - YouTube — Mozilla Firefox",
     "UNCLEAR", "No clear link to \u201CDraft the grant proposal for the wetland survey\u201D"},
    // Where the rules are unsure the fitted score decides: a chat someone
    // writes in is kept (the rules alone would ask).
    {"Plan my daughter's 8th birthday party",
     "WhatsApp Tina: Is Max allowed to bring his little brother along?\nYou: sure, the more the "
     "merrier",
     "ALIGNED", "Fits \u201CPlan my daughter's 8th birthday party\u201D"},
};

TEST(OfflineJudgeTextTest, VerdictsCarryShortTrueReasons) {
    OfflineJudge judge;
    for (const auto& [aimset, text, expected, reason] : kTextCases) {
        const Judged<TextVerdict> answer =
            judge.judgeText(QString::fromUtf8(aimset), QString::fromUtf8(text));
        ASSERT_TRUE(std::holds_alternative<TextVerdict>(answer));
        const TextVerdict& verdict = std::get<TextVerdict>(answer);
        EXPECT_EQ(verdict.verdict, QString::fromUtf8(expected)) << text;
        EXPECT_EQ(verdict.reason, QString::fromUtf8(reason)) << text;
        EXPECT_EQ(verdict.question.isEmpty(), verdict.verdict != u"UNCLEAR"_s) << text;
    }
}

// A reason names the same words in the same order whatever seed the
// process's hashes drew: the same window reads the same each run.
TEST(OfflineJudgeTextTest, TheSameWindowGetsTheSameReasonWhateverTheHashSeed) {
    const OfflineJudge judge;
    const QString aimset = u"Umzug nach Leipzig-Gohlis stemmen"_s;
    const QString page = u"Umzugsfirmen Leipzig – Angebote vergleichen | Check24\n"
                         u"3-Zimmer-Wohnung, 78 m², ohne Aufzug\nUmzugstermin: 15.01.2027"_s;
    const QString first = judge.decideText(aimset, page).reason;
    EXPECT_EQ(first, u"Mentions Leipzig-Gohlis, wohnung, umzugsfirmen"_s);
    for (int seed = 0; seed < 8; ++seed) {
        QHashSeed::resetRandomGlobalSeed();
        EXPECT_EQ(judge.decideText(aimset, page).reason, first) << seed;
    }
}

// Titles and pages come from any site. Whatever names, numbers, signs and
// scripts they are made of, each gets a verdict with its reason, and a
// question exactly when the user is to be asked.
TEST(OfflineJudgeTextTest, AnyMixOfNamesSignsAndScriptsGetsAVerdict) {
    static const char* const kPieces[] = {
        "&",       "Partners", "GmbH",    "& Co",   "Delgado",  "Bakery", "Van Dijk Bouw",
        "\u2019s", "'s",       "KH-7731", "PR #77", "#48230",   "Week 5", "4e B",
        "31-2207", "staging",  "prod",    "r/tax",  "YouTube",  "Steam",  "Amazon.es",
        "Slack",   "login",    "exam",    "report", "10 hours", "\u2014", "-",
        "|",       ":",        "(",       ")",      "\"",       ".",      "/",
        "_",       "\u2026",   "\n",      "  ",     "2026",     "日本語", "한국어",
        "العربية", "ß",        "İ",       "ﬁ",      "\u0301",   "\u200b", "\u202e",
        "\ufeff",  "😀"};
    OfflineJudge judge;
    std::mt19937 draw(7);
    const auto phrase = [&](unsigned most) {
        QString text;
        for (unsigned n = 1 + draw() % most; n > 0; --n) {
            text += QString::fromUtf8(kPieces[draw() % std::size(kPieces)]);
            text += draw() % 2 == 0 ? u" "_s : QString();
        }
        return text;
    };
    for (int i = 0; i < 3000; ++i) {
        const QString aimset = phrase(8);
        const QString window = phrase(24);
        const std::string seen = QString(aimset + u" | "_s + window).toStdString();
        const Judged<TextVerdict> answer = judge.judgeText(aimset, window);
        ASSERT_TRUE(std::holds_alternative<TextVerdict>(answer)) << seen;
        const TextVerdict& verdict = std::get<TextVerdict>(answer);
        EXPECT_TRUE(verdict.verdict == u"ALIGNED"_s || verdict.verdict == u"MISALIGNED"_s ||
                    verdict.verdict == u"UNCLEAR"_s)
            << verdict.verdict.toStdString();
        EXPECT_FALSE(verdict.reason.isEmpty()) << seen;
        EXPECT_EQ(verdict.question.isEmpty(), verdict.verdict != u"UNCLEAR"_s) << seen;
        EXPECT_TRUE(std::holds_alternative<bool>(judge.judgeTitle(aimset, window)));
    }
}

// A window's first words as the score of windows like it reads them: the
// table the fitter's own test reads too, so that both read alike.
TEST(WindowWordsTest, ReadsTheFirstWordsAsTheFitterDoes) {
    const std::optional<Knowledge::WindowWords> model = Knowledge::builtIn().windowWords;
    ASSERT_TRUE(model.has_value());
    QFile table(QStringLiteral(AIMSET_WINDOW_TERMS_TABLE));
    ASSERT_TRUE(table.open(QIODevice::ReadOnly));
    int rows = 0;
    for (const QString& line : QString::fromUtf8(table.readAll()).split(u'\n')) {
        if (line.isEmpty() || line.startsWith(u'#')) {
            continue;
        }
        const QStringList columns = line.split(u'\t');
        ASSERT_EQ(columns.size(), 2) << line.toStdString();
        EXPECT_EQ(model->termsOf(columns.at(0)).join(u" | "_s), columns.at(1));
        ++rows;
    }
    EXPECT_GE(rows, 5);
}

// The shipped knowledge with a hand-written window-word score in DIR.
std::optional<Knowledge> withWindowWords(const QTemporaryDir& dir, const QByteArray& windowWords,
                                         QString* error) {
    for (const char* name : {"words.txt", "places.txt", "topics.txt", "cues.txt", "weights.txt"}) {
        const QString target = dir.filePath(QString::fromUtf8(name));
        if (!QFile::exists(target) &&
            !QFile::copy(u":/knowledge/"_s + QString::fromUtf8(name), target)) {
            *error = u"cannot copy "_s + QString::fromUtf8(name);
            return std::nullopt;
        }
    }
    if (!aimset::test::writeFile(dir.filePath(u"window-words.txt"_s), windowWords)) {
        *error = u"cannot write window-words.txt"_s;
        return std::nullopt;
    }
    return Knowledge::load(dir.path(), error);
}

// Words of windows that were nearly always distractions close a page that
// nothing links to the aimset and make one kept for little it shares a
// question; a title's "no" is not final, and chat is left to its people.
TEST(OfflineJudgeTextTest, WordsOfDistractionsCloseOnlyWhatNothingLinks) {
    QTemporaryDir dir;
    QString error;
    // 13 terms, "suspension bridges" among them: -2 + 31 / sqrt(13) = 6.6.
    // The browser's weight counts but is never told: it says nothing by itself.
    std::optional<Knowledge> knowledge = withWindowWords(
        dir,
        "bias = -2\nasked from = 1\nclosed from = 3\nwords = 12\n"
        "ignored = mozilla firefox, firefox\n[terms]\n"
        "suspension bridges = 30\nsix sites = 30\ncounter the = 30\nblack friday = 30\n"
        "zalando = 30\nshopping = 30\n@recipes = 30\n"
        "how = -0.5\n"
        "@shopping = 60\ntopic:authentication @shopping = -90\n@music = 30\n@browser = 1\n",
        &error);
    ASSERT_TRUE(knowledge.has_value()) << error.toStdString();
    const OfflineJudge judge(*knowledge);
    const QString bridges =
        u"Firefox - How suspension bridges carry their load - YouTube — Mozilla Firefox"_s;
    const QString grant = QString::fromUtf8(kGrant);
    const auto decided = [](const OfflineJudge::Decision& d) {
        return std::pair(d.verdict, d.reason);
    };
    EXPECT_EQ(decided(judge.decideText(grant, bridges)),
              std::pair(closed, u"Looks like a distraction (suspension bridges), unrelated to "
                                u"\u201CDraft the grant proposal for the wetland survey\u201D"_s));
    EXPECT_EQ(judge.decideTitle(grant, bridges).verdict, asked);
    const QString equilibrium =
        u"When a system at equilibrium is disturbed, it shifts to counter the change."_s;
    EXPECT_EQ(
        decided(judge.decideText(QString::fromUtf8(kChemistry), equilibrium)),
        std::pair(asked, u"Mentions equilibrium, but looks like a distraction (counter the)"_s));
    // Two of the aimset's own words, or three things of its subject at a
    // place it calls for, are more than such words outweigh; a needed
    // place's page that shows less of it is weighed like any other.
    EXPECT_EQ(judge
                  .decideText(u"Find a new winter coat"_s,
                              u"Zalando - Winter coats women\nNew collection"_s)
                  .verdict,
              kept);
    const QString starter = u"Make a sourdough starter"_s;
    EXPECT_EQ(judge
                  .decideTitle(starter, u"Firefox - How to Make a Sourdough Starter from Scratch | "
                                        u"King Arthur Baking"_s)
                  .verdict,
              kept);
    EXPECT_EQ(decided(judge.decideText(
                  starter, u"Firefox - Sourdough pizza dough recipe - BBC Good Food"_s)),
              std::pair(asked, u"Mentions sourdough, recipe, but looks like a distraction "
                               u"(recipes)"_s));
    EXPECT_EQ(decided(judge.decideText(
                  grant, u"Section 2: the wetland survey covers six sites; the grant pays"_s)),
              std::pair(kept, u"Mentions grant, wetland, survey"_s));
    EXPECT_EQ(judge
                  .decideText(QString::fromUtf8(kLogin),
                              u"#frontend - Nimbus - Slack Ana: should the Black Friday banner "
                              u"go live first?"_s)
                  .reason,
              u"No clear link to \u201CFix the login bug\u201D"_s);
    // What the window is counts beside its words, as the aimset's field
    // weighs it: a shop is told as a distraction to the grant, but its
    // weight for the login bug's field outweighs that.
    const QString boots = u"Amazon.de: Gummistiefel Damen\nIn den Einkaufswagen"_s;
    EXPECT_EQ(decided(judge.decideText(grant, boots)),
              std::pair(closed, u"Looks like a distraction (shopping), unrelated to "
                                u"\u201CDraft the grant proposal for the wetland survey\u201D"_s));
    EXPECT_EQ(decided(judge.decideText(QString::fromUtf8(kLogin), boots)),
              std::pair(asked, u"No clear link to \u201CFix the login bug\u201D"_s));
    // Music may play beside the work, and the aimset may call for the place,
    // whatever its kind says.
    EXPECT_EQ(judge.decideText(grant, u"Spotify Premium\nHome\nGood evening"_s).verdict, asked);
    EXPECT_EQ(judge
                  .decideText(u"Plan Ollie's 6th birthday party"_s,
                              u"Amazon.co.uk: LEGO Jurassic World Dino Chase set\nAdd to basket"_s)
                  .verdict,
              asked);
    // A word that names its kind of place is told once.
    QStringList telling;
    knowledge->windowWords->score(u"Shopping"_s, {u"@shopping"_s}, &telling);
    EXPECT_EQ(telling, QStringList{u"shopping"_s});
    // Between the two thresholds an unlinked page is still asked about.
    knowledge->windowWords->closedFrom = 7;
    EXPECT_EQ(decided(OfflineJudge(*knowledge).decideText(grant, bridges)),
              std::pair(asked, u"No clear link to \u201CDraft the grant proposal for the wetland "
                               u"survey\u201D"_s));
}

// A window that nothing links to the aimset is kept when the evidence and
// its words make it likely work, but only at a place that shows no sign of
// play; a likely distraction there stays a question, and only a very likely
// one's page gets a countdown. The same likelihood keeps a page asked about
// for little it shares, or asks about one kept for it.
TEST(OfflineJudgeTextTest, WindowsNothingLinksAreKeptOnlyWhenLikelyWorkAtAQuietPlace) {
    QTemporaryDir dir;
    // Likely a distraction (1) unless the words say otherwise: "fire drill"
    // and "checklist" bring it to 1 + (-40 - 20) / sqrt(5) and below.
    const QByteArray settings = "bias = 0\nasked from = 50\nclosed from = 50\nwords = 12\n"
                                "ignored = firefox\n";
    const QByteArray terms =
        "[terms]\nfire drill = -40\nchecklist = -20\nminutes = -2\nholiday = 30\n";
    QString error;
    const std::optional<Knowledge> knowledge =
        withWindowWords(dir,
                        settings +
                            "likely bias = 1\nlikely score = 1\n"
                            "title kept below = 0\ntext kept below = -0.4\n"
                            "shared kept below = -3\nasked from likely = 5\n"
                            "closed from likely = 10\nmixed closed from likely = 1000\n" +
                            terms,
                        &error);
    ASSERT_TRUE(knowledge.has_value()) << error.toStdString();
    const OfflineJudge judge(*knowledge);
    const QString grant = QString::fromUtf8(kGrant);
    const QString unlinked =
        u"No clear link to \u201CDraft the grant proposal for the wetland survey\u201D"_s;
    const auto decided = [](const OfflineJudge::Decision& d) {
        return std::pair(d.verdict, d.reason);
    };
    const QString checklist = u"Fire drill checklist\nAssembly point B"_s;
    EXPECT_EQ(decided(judge.decideText(grant, checklist)),
              std::pair(kept, u"Looks like work on \u201CDraft the grant proposal for the "
                              u"wetland survey\u201D"_s));
    EXPECT_EQ(judge.decideTitle(grant, u"Firefox - Fire drill checklist"_s).verdict, kept);
    // A page must be likelier work than a title: 1 - 2 / sqrt(3) is under
    // the title's 0 but not under the page's -0.4.
    EXPECT_EQ(decided(judge.decideText(grant, u"Minutes\nRoom 4"_s)), std::pair(asked, unlinked));
    // Words the score does not know leave the likely bias: a question still.
    EXPECT_EQ(decided(judge.decideText(grant, u"Kitchen cleaning rota\nWeek 3"_s)),
              std::pair(asked, unlinked));
    // A video site's page is weighed like any other; a shop sells anything,
    // even one the aimset needs: the rules' question stands.
    EXPECT_EQ(judge.decideText(grant, u"Fire drill checklist - YouTube\n12K views"_s).verdict,
              kept);
    EXPECT_EQ(decided(judge.decideText(grant, u"Fire drill checklist - Amazon.co.uk"_s)),
              std::pair(asked, unlinked));
    EXPECT_EQ(decided(judge.decideText(u"Find a new winter coat"_s,
                                       u"Zalando - Fire drill checklist\nAssembly point B"_s)),
              std::pair(asked, u"No clear link to \u201CFind a new winter coat\u201D"_s));
    // A thread asked about for the one word it shares is kept where its
    // words make it very likely work, never a board of ideas.
    EXPECT_EQ(decided(judge.decideText(grant,
                                       u"Survey results are in : r/AskUK\nfire drill checklist"_s)),
              std::pair(kept, u"Mentions survey"_s));
    EXPECT_EQ(decided(judge.decideText(grant, u"Survey results are in : r/AskUK\nAny advice"_s)),
              std::pair(asked, u"Mentions survey, but looks like forum (subreddit)"_s));
    EXPECT_EQ(
        decided(judge.decideText(grant, u"Survey results - Pinterest\nfire drill checklist"_s)),
        std::pair(asked, u"Mentions survey, but looks like inspiration (pinterest)"_s));
    // A page kept for a word it shares is asked about where the evidence
    // and its words make it likelier play than "asked from likely".
    const QString chemistry = QString::fromUtf8(kChemistry);
    EXPECT_EQ(decided(judge.decideText(chemistry, u"The chemistry of holiday cooking\nholiday"_s)),
              std::pair(asked, u"Mentions chemistry, but looks like a distraction (holiday)"_s));
    EXPECT_EQ(
        judge.decideText(chemistry, u"The chemistry of holiday cooking\nfire drill"_s).verdict,
        kept);
    // A page nothing links to is closed from "closed from likely" up, where
    // the score alone (under its "closed from") asks; its title only asks.
    const QString cottages = u"Holiday cottages\nBook now"_s;
    EXPECT_EQ(decided(judge.decideText(grant, cottages)),
              std::pair(closed, u"Looks like a distraction (holiday), unrelated to "
                                u"\u201CDraft the grant proposal for the wetland survey\u201D"_s));
    EXPECT_EQ(judge.decideTitle(grant, u"Firefox - Holiday cottages"_s).verdict, asked);
    // At a place of work and play (a video site's page) it takes "mixed
    // closed from likely".
    EXPECT_EQ(decided(judge.decideText(grant, u"YouTube\nHoliday"_s)), std::pair(asked, unlinked));
    EXPECT_EQ(decided(judge.decideText(
                  grant, u"Holiday cottages near the sea with a view\nBook now today"_s)),
              std::pair(asked, unlinked));
    // Without the likely weights the same pages are asked about.
    const std::optional<Knowledge> without = withWindowWords(dir, settings + terms, &error);
    ASSERT_TRUE(without.has_value()) << error.toStdString();
    EXPECT_EQ(decided(OfflineJudge(*without).decideText(grant, checklist)),
              std::pair(asked, unlinked));
    EXPECT_EQ(decided(OfflineJudge(*without).decideText(grant, cottages)),
              std::pair(asked, unlinked));
}

// Any page still asked about is closed from "question closed from likely"
// up, whatever the rules asked for; never a title, and never music, mail or
// chat, which answer as they would without it.
TEST(OfflineJudgeTextTest, PagesAskedAboutCloseOnlyWhenAllButCertainlyPlay) {
    QTemporaryDir dir;
    const QByteArray words = "bias = 0\nasked from = 50\nclosed from = 50\nwords = 12\n"
                             "ignored = firefox\nlikely bias = 1\nlikely score = 1\n"
                             "title kept below = -9\ntext kept below = -9\n"
                             "asked from likely = 5\nclosed from likely = 10\n";
    const QByteArray terms = "[terms]\nholiday = 30\nsong = 30\nfire drill = -40\n";
    QString error;
    const std::optional<Knowledge> sure =
        withWindowWords(dir, words + "question closed from likely = 8\n" + terms, &error);
    ASSERT_TRUE(sure.has_value()) << error.toStdString();
    const OfflineJudge judge(*sure);
    const std::optional<Knowledge> without = withWindowWords(dir, words + terms, &error);
    ASSERT_TRUE(without.has_value()) << error.toStdString();
    const OfflineJudge before(*without);
    const QString chemistry = QString::fromUtf8(kChemistry);
    const QString holiday = u"The chemistry of holiday cooking\nholiday"_s;
    EXPECT_EQ(before.decideText(chemistry, holiday).verdict, asked);
    const OfflineJudge::Decision closing = judge.decideText(chemistry, holiday);
    EXPECT_EQ(std::pair(closing.verdict, closing.reason),
              std::pair(closed, u"Looks like a distraction (holiday), though it mentions "
                                u"chemistry"_s));
    EXPECT_EQ(
        judge.decideTitle(chemistry, u"Firefox - The chemistry of holiday cooking"_s).verdict,
        before.decideTitle(chemistry, u"Firefox - The chemistry of holiday cooking"_s).verdict);
    // Less likely than the setting (its play diluted by other words): the
    // rules' question stands.
    EXPECT_EQ(judge
                  .decideText(chemistry, u"The chemistry of holiday cooking and baking at home "
                                         u"for beginners today\nholiday"_s)
                  .reason,
              u"Mentions chemistry, but looks like a distraction (holiday)"_s);
    for (const char* page :
         {"Spotify - Holiday song\nholiday song", "Slack - holiday song\nholiday"}) {
        const QString text = QString::fromUtf8(page);
        EXPECT_NE(judge.decideText(chemistry, text).verdict, closed) << page;
        EXPECT_EQ(judge.decideText(chemistry, text).reason,
                  before.decideText(chemistry, text).reason)
            << page;
    }
}

// The build reduces the knowledge's phrases to terms once and stores them
// with the program (and these tests); a judge takes them only for the very
// phrases they came from and otherwise reduces the phrases itself.
TEST(OfflineJudgeTest, TermsTheBuildReducedServeOnlyTheirOwnPhrases) {
    const Knowledge shipped = Knowledge::builtIn();
    EXPECT_TRUE(shipped.reducedTerms == OfflineJudge::reduceKnowledge(shipped))
        << "the stored terms are not what the judge reduces now";
    Knowledge unreduced = shipped;
    unreduced.reducedTerms.clear();
    const OfflineJudge fromStored(shipped);
    const OfflineJudge fromText(unreduced);
    for (const auto& [aimset, window, expected] : kTitleCases) {
        const auto decided = [&](const OfflineJudge& judge) {
            const OfflineJudge::Decision d =
                judge.decideTitle(QString::fromUtf8(aimset), QString::fromUtf8(window));
            return std::pair(d.verdict, d.reason);
        };
        EXPECT_EQ(decided(fromStored), decided(fromText)) << window;
    }
    // A place renamed since (the same number of phrases), or terms cut
    // short: the phrases are reduced anew and the new name is known.
    Knowledge renamed = shipped;
    for (Knowledge::Category& category : renamed.categories) {
        if (const qsizetype at = category.places.indexOf(u"battle.net"_s); at >= 0) {
            category.places[at] = u"zzqxplay"_s;
        }
    }
    Knowledge cut = shipped;
    cut.reducedTerms.truncate(cut.reducedTerms.size() / 2);
    EXPECT_EQ(OfflineJudge(renamed).categoryOf(u"Zzqxplay"_s), u"game"_s);
    EXPECT_EQ(OfflineJudge(cut).categoryOf(u"Battle.net"_s), u"game"_s);
}

TEST(OfflineJudgeExpandTest, KeepsTheSubjectNotTheTitle) {
    OfflineJudge judge;
    const std::pair<const char*, const char*> cases[] = {
        {"(3) Peat bog hydrology explained - YouTube - Google Chrome", "Peat bog hydrology"},
        {"Ten tips for a tidy desk - Lifehacker - Google Chrome", "tidy desk"},
        {"Sound On Sound | OAuth2 redirect loops in Django - Firefox",
         "OAuth2 redirect loops Django"},
        {"Mitosis vs. Meiosis: Key Differences - Khan Academy - Chromium", "Mitosis Meiosis"},
        {"site_photos_march.pdf - Adobe Acrobat Reader", "photos"},
        {"Google Chrome", ""},
    };
    for (const auto& [title, subject] : cases) {
        EXPECT_EQ(std::get<QString>(judge.expand(u"Write the report"_s, QString::fromUtf8(title))),
                  QString::fromUtf8(subject))
            << title;
    }
}

// The score's place and field terms are matched by name: a field or kind of
// place renamed since the fit would silently stop counting.
TEST(KnowledgeTest, TheWindowWordsNameOnlyFieldsAndPlacesTheKnowledgeHas) {
    const Knowledge knowledge = Knowledge::builtIn();
    QSet<QString> known;
    for (const Knowledge::Category& category : knowledge.categories) {
        known.insert(u"@"_s + category.name);
        known.insert(u"for:"_s + category.name);
    }
    for (const Knowledge::Topic& topic : knowledge.topics) {
        known.insert(u"topic:"_s + topic.name);
    }
    QFile file(u":/knowledge/window-words.txt"_s);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QStringList unknown;
    int named = 0;
    const QByteArray content = file.readAll();
    const qsizetype terms = content.indexOf("\n[terms]\n");
    ASSERT_GE(terms, 0);
    for (const QByteArray& line : content.sliced(terms).split('\n')) {
        const QString term = QString::fromUtf8(line.left(line.lastIndexOf(" = ")));
        if (const qsizetype at = term.indexOf(u" @"_s); at > 0 || term.startsWith(u'@')) {
            ++named;
            for (const QString& name : {term.mid(at + 1), at > 0 ? term.left(at) : term}) {
                if (!known.contains(name)) {
                    unknown.append(name);
                }
            }
        }
    }
    EXPECT_GT(named, 1000);
    unknown.removeDuplicates();
    EXPECT_TRUE(unknown.isEmpty()) << unknown.join(u", "_s).toStdString();
}

// Knowledge files are reviewed like code: a mistake is named with its file
// and line.
TEST(KnowledgeTest, AMalformedFileIsNamedWithItsLine) {
    const char* const files[][2] = {
        {"words.txt", "[stopwords]\nthe\n"},
        {"places.txt", "[game: leisure]\nsteam\n"},
        {"topics.txt", "[cooking > game]\nrecipe\n"},
        {"cues.txt", "[leisure: memes]\nmemes\n"},
        {"weights.txt", "bias = -1\naligned from = 0\nclosed below = -2\n"},
        {"window-words.txt",
         "bias = 0\nasked from = 1\nclosed from = 2\nwords = 12\n[terms]\nx y = 1\n"},
    };
    // The file made wrong, what it then holds, and the error.
    const char* const broken[][3] = {
        {"places.txt", "steam\n", "places.txt:1: phrases before the first [section]"},
        {"places.txt", "[game: fun]\nsteam\n",
         "places.txt:1: a category is written [name: "
         "work|reference|neutral|mixed|leisure|background|messages|forum|errand], not [game: fun]"},
        {"topics.txt", "# fields\n[cooking > kitchens]\nrecipe\n",
         "topics.txt:2: unknown category kitchens (not in places.txt)"},
        {"cues.txt", "[leisure: memes]\nmemes,, lol\n",
         "cues.txt:2: an empty phrase (two commas in a row?)"},
        {"places.txt", "[game: leisure]\nsteam = , itch.io\n",
         "places.txt:2: an empty name of a site: steam ="},
        {"weights.txt", "# fitted\ndirect = lots\n",
         "weights.txt:2: a weight is written name = number, not direct = lots"},
        {"weights.txt", "aligned from = 0\nclosed below = 1\n",
         "weights.txt: needs \"aligned from\" and a lower \"closed below\""},
        {"window-words.txt",
         "bias = 0\nasked from = 1\nclosed from = 2\nwords = 12\n[terms]\nsteam = lots\n",
         "window-words.txt:6: not a number: lots"},
        {"window-words.txt", "bias = 0\nclosed from = 2\nwords = 12\n",
         "window-words.txt: needs \"bias\", \"asked from\", \"closed from\" and \"words\""},
        {"window-words.txt", "bias = 0\nwords = twelve\n",
         "window-words.txt:2: not a number: twelve"},
        {"window-words.txt", "bias = 0\nwords = 0.5\n",
         "window-words.txt:2: words is a whole number from 1 to 1000, not 0.5"},
        {"window-words.txt", "bias = 0\nspeed = 3\n",
         "window-words.txt:2: unknown setting speed (known: bias, asked from, closed from, words, "
         "ignored, likely <evidence>, title kept below, text kept below, shared kept below, "
         "asked from likely, closed from likely, mixed closed from likely, question closed from "
         "likely)"},
        {"window-words.txt", "bias = 0\nlikely speed = 3\n",
         "window-words.txt:2: unknown evidence speed (known: bias, score, page, direct, related, "
         "matched, leisure, cues, leisure place, play place, mixed place, intended place, named "
         "place, background place, message place, forum place, work place, reference place, "
         "learning, in aimset language, telling, foreign words, own words, unrelated words, about "
         "else, one weak word, aimset about play, aimset known, rules aligned, rules closed)"},
        {"window-words.txt",
         "bias = 0\nasked from = 1\nclosed from = 2\nwords = 3\nlikely score = 1\n"
         "title kept below = 0\n",
         "window-words.txt: the likely weights need \"title kept below\" and \"text kept below\""},
    };
    for (const auto& [file, wrong, message] : broken) {
        QTemporaryDir dir;
        for (const auto& [name, content] : files) {
            ASSERT_TRUE(aimset::test::writeFile(dir.filePath(QString::fromUtf8(name)),
                                                qstrcmp(name, file) == 0 ? wrong : content));
        }
        QString error;
        EXPECT_FALSE(Knowledge::load(dir.path(), &error).has_value());
        EXPECT_EQ(error, QString::fromUtf8(message));
    }
}

} // namespace
