#include "Lexicon.h"

namespace aimset::checkd {

namespace {

QStringList words(const char* spaceSeparated) {
    return QString::fromUtf8(spaceSeparated).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// Entries separated by commas, so that an entry may be a phrase.
QStringList phrases(const char* commaSeparated) {
    QStringList out;
    for (const QString& part : QString::fromUtf8(commaSeparated).split(QLatin1Char(','))) {
        const QString trimmed = part.trimmed();
        if (!trimmed.isEmpty()) {
            out.append(trimmed);
        }
    }
    return out;
}

Lexicon build() {
    Lexicon lexicon;
    lexicon.stopwords = words(
        // English function words
        "a an the and or but of for to in on at by with from into about over after before "
        "up down out off my our your their his her its this that these those it i me we you "
        "is are be been am was were do does did doing done get got go going "
        "some any all more most few many much very just only also so than then there here "
        "what which who whom where when why how not no yes can will would should could "
        "s t ll re ve d m "
        // the verbs and nouns of planning rather than of topic
        "finish finishing finished work working start started continue keep make making "
        "write writing fix fixing study studying learn learning review reviewing prepare "
        "preparing update updating plan planning find finding read reading practice "
        "practise practicing edit editing design designing research researching apply "
        "applying answer answering clean cleaning renew renewing book booking file filing "
        "grade grading compare comparing check checking look looking help need needs "
        "today tomorrow tonight week weekly month year next last new open current "
        "minute minutes hour hours day days time thing things stuff task tasks "
        "including "
        // German
        "der die das den dem des ein eine einen einem einer und oder für fur mit von zu zum "
        "zur im in am auf aus bei ich mein meine meinen wir lernen machen schreiben "
        // Spanish and French
        "el la los las un una y o para con de del en mi mis le les et pour avec du des au");

    lexicon.topics = {
        phrases("report, quarterly, q1, q2, q3, q4, revenue, finance, financial, earnings, "
                "forecast, budget, kpi, metrics, figures, profit, quarter, results"),
        phrases("biology, cell, cells, mitosis, meiosis, dna, rna, gene, genetics, "
                "evolution, organism, protein, enzyme, photosynthesis, anatomy, physiology, "
                "ecology, molecular, chromosome, bacteria, virus, immune, biochemistry"),
        phrases("chemistry, molecule, reaction, organic, compound, element, periodic table, "
                "acid, chemical, bond, alkane"),
        phrases("physics, mechanics, quantum, thermodynamics, electromagnetism, force, "
                "energy, momentum, relativity"),
        phrases("math, maths, mathematics, algebra, calculus, geometry, equation, theorem, "
                "integral, derivative, matrix, proof"),
        phrases("statistics, statistik, statistical, probability, regression, variance, "
                "hypothesis, distribution, mean, median, standard deviation, "
                "confidence interval, wahrscheinlichkeit, p-value, "
                "sample, stochastik, verteilung, hypothesentest, regression analysis, "
                "signifikanzniveau, niveau, nullhypothese, stichprobe, erwartungswert, "
                "varianz, standardabweichung, chi-quadrat, testen, significance level, "
                "null hypothesis, chi-square, t-test"),
        phrases(
            "exam, exams, klausur, prüfung, test prep, lecture, vorlesung, course, "
            "coursework, quiz, flashcards, quizlet, anki, khan academy, textbook, "
            "homework, syllabus, notes, übung, übungsblatt, aufgabe, skript, tutorial, revision, "
            "study guide, practice problems"),
        phrases("login, logout, logged, sign in, session, cookie, cookies, auth, "
                "authentication, token, jwt, oauth, refresh, reload, credentials, samesite"),
        phrases("bug, bugs, debug, debugging, error, exception, stack trace, crash, issue, "
                "regression, stack overflow, fix, patch, traceback"),
        phrases("code, coding, programming, developer, function, class, compile, "
                "repository, repo, git, github, gitlab, commit, branch, merge, "
                "visual studio code, vs code, ide, terminal, api"),
        phrases("pull request, pull requests, pr, code review, diff, merge request, "
                "approve, reviewer, changes requested, github, gitlab, bitbucket"),
        phrases("payment, payments, refund, refunds, invoice, billing, stripe, checkout, "
                "transaction, idempotency, charge, ledger, payout"),
        phrases("essay, draft, thesis, outline, citation, citations, bibliography, "
                "paragraph, argument, introduction, conclusion, google docs, "
                "word count, paper"),
        phrases("climate, climate change, carbon, emissions, warming, global warming, "
                "greenhouse, co2, fossil fuels, renewable, ipcc, sea level, "
                "net zero, carbon tax, sustainability"),
        phrases("flight, flights, airline, airlines, airfare, airport, skyscanner, "
                "google flights, kayak, expedia, boarding, layover, round trip, one way, "
                "ticket, tickets, fare"),
        phrases("japan, japanese, tokyo, osaka, kyoto, narita, haneda, jal, ana"),
        phrases("travel, trip, itinerary, hotel, hotels, booking, airbnb, visa, passport"),
        phrases("tax, taxes, tax return, irs, deduct, deduction, deductions, w-2, 1040, "
                "hmrc, turbotax, free file, filing, income, withholding, refund, "
                "self assessment"),
        phrases("dentist, dental, teeth, tooth, orthodontist, zocdoc, clinic, "
                "appointment, hygienist"),
        phrases("insurance, insurer, coverage, copay, deductible, premium, in-network, "
                "network, policy, plans, healthcare.gov, marketplace, hmo, ppo, "
                "health plan, benefits"),
        phrases("gta, gta 6, gta vi, grand theft auto, rockstar, rockstar games"),
        phrases("youtube video, video, script, thumbnail, footage, b-roll, voiceover, "
                "channel, upload, storyboard"),
        phrases("python, pip, django, flask, numpy, pandas, jupyter, .py, py, pytest, "
                "pycharm, list comprehension, loops, functions, variables, "
                "dictionary, dictionaries, tuple, string, strings, def, import, syntax, "
                "exercise, exercises, class, classes, module"),
        phrases("landing page, mockup, mockups, wireframe, wireframes, figma, sketch, "
                "ui, ux, layout, typography, prototype, dribbble, behance, design system, "
                "hero section, components"),
        phrases("novel, chapter, manuscript, draft, character, characters, plot, scene, "
                "scrivener, story, prose, fiction"),
        phrases("slides, slide, deck, pitch deck, presentation, pitch, keynote, "
                "powerpoint, google slides, investor, investors, stock photos, "
                "pexels, unsplash, fundraising"),
        phrases("job, jobs, resume, résumé, cv, cover letter, application, applications, "
                "interview, hiring, recruiter, indeed, linkedin jobs, glassdoor, "
                "data analyst, analyst, career, position, vacancy"),
        phrases("customer support, support, ticket, tickets, zendesk, freshdesk, helpdesk, "
                "customer, customers, escalation, escalations, intercom, refund, inquiry"),
        phrases("podcast, episode, audio, mix, audacity, recording, microphone, "
                "noise reduction, ep, edit, adobe audition, reaper, soundtrack"),
        phrases("literature review, paper, papers, journal, pubmed, google scholar, "
                "scholar, zotero, mendeley, abstract, doi, meta-analysis, study, studies, "
                "citation, references, cinii, 論文, 文献, 研究"),
        phrases("sleep, memory, consolidation, hippocampus, slow-wave, rem, "
                "memory reactivation, neuroscience, cognition, spindles"),
        phrases("meal, meals, meal plan, recipe, recipes, grocery, groceries, cart, "
                "instacart, ingredients, cooking, dinner, lunch, breakfast, shopping list"),
        phrases("spanish, español, espanol, castellano, duolingo, conjugation, "
                "vocabulary, grammar, el país"),
        phrases("language, languages, duolingo, vocabulary, grammar, babbel, anki, "
                "conjugation, pronunciation"),
        phrases("helm, helm chart, helm charts, chart, charts, kubernetes, k8s, kubectl, "
                "yaml, values, deployment, staging, manifest, namespace, ingress"),
        phrases("draw, drawing, sketch, sketches, anatomy, gesture, gestures, krita, "
                "procreate, figure drawing, art, study, studies, hands, hand"),
        phrases("thesis, 卒論, 卒業論文, 論文, 序論, 研究, 文献, cinii, 引用, 参考文献"),
        phrases("passport, passports, renewal, renew, visa, gov.uk, travel document, "
                "photo, application"),
        phrases("ci, flaky, test, tests, pipeline, jenkins, github actions, circleci, "
                "build, failing, retry, workflow run"),
        phrases("docs, documentation, wiki, confluence, notion, onboarding, new hire, "
                "handbook, guide, checklist, knowledge base"),
        phrases("tiktok, video edit, davinci resolve, premiere, capcut, final cut, "
                "timeline, clip, footage, edit"),
        phrases("book, books, chapter, kindle, reading, ebook, pages"),
        phrases("psychology, cognitive, cognition, bias, biases, heuristics, priming, "
                "behavioral economics, kahneman, decision making"),
        phrases("guitar, tab, tabs, chords, solo, ultimate guitar, songsterr, fretboard, "
                "riff, scales, lesson"),
        phrases("unit test, unit tests, test, tests, testing, unittest, pytest, jest, "
                "assert, assertion, test case, coverage, fixture, mock"),
        phrases("date, dates, time, timezone, time zone, calendar, leap year, iso 8601, "
                "parse, parser, parsing, datetime, timestamp, format"),
        phrases("grade, grading, rubric, essay, essays, student, students, "
                "google classroom, canvas, feedback, assignment, marks"),
        phrases("history, historical, war, wwi, wwii, world war, revolution, empire, "
                "century"),
        phrases("health insurance, insurance, plan, plans, healthcare.gov, premium, "
                "deductible, coverage, open enrollment, medicare, medicaid"),
        phrases("marketing, campaign, seo, ads, analytics, audience, brand, newsletter"),
        phrases("email, emails, inbox, gmail, outlook, reply, thunderbird"),
        phrases("spreadsheet, excel, sheets, pivot, formula, vlookup, calc"),
        phrases("website, web, frontend, backend, html, css, javascript, react, "
                "typescript, node"),
        phrases("database, sql, postgres, mysql, query, schema, migration"),
        phrases("machine learning, model, training, dataset, neural network, "
                "pytorch, tensorflow, ai"),
        phrases("rent, apartment, housing, lease, landlord, mortgage"),
    };

    // Named sites and apps weigh fully; generic words only hint.
    const auto add = [&lexicon](const char* kind, double weight, const char* list) {
        for (const QString& phrase : phrases(list)) {
            lexicon.distractions.append({phrase, QString::fromUtf8(kind), weight});
        }
    };
    add("streaming", 1.0,
        "netflix, prime video, disney+, disney plus, hulu, hbo max, "
        "crunchyroll, paramount+, peacock, twitch, kick.com, rotten tomatoes, "
        "letterboxd, youtube shorts, reels");
    add("streaming", 0.5, "livestream, season, episodes, watch online, binge");
    add("social media", 1.0,
        "facebook, instagram, tiktok, twitter, snapchat, "
        "pinterest, tumblr, 9gag, imgur, bereal, bluesky, buzzfeed, "
        "facebook marketplace, whatsapp, telegram, messenger");
    add("social media", 0.5, "feed, for you, following, notifications, threads");
    add("games", 1.0,
        "steam, epic games, chess.com, wordle, cookie clicker, gameplay, "
        "speedrun, minecraft, fortnite, roblox, league of legends, valorant, "
        "playstation, xbox, nintendo, crossword, sudoku, advent of code, "
        "leetcode, lichess, geoguessr, poki, miniclip, chess.com");
    add("games", 0.5, "game, games, gaming, chess, puzzle");
    add("sports", 1.0,
        "espn, nba, nfl, mlb, nhl, premier league, bundesliga, la liga, "
        "champions league, fantasy football, post-game");
    add("sports", 0.5,
        "football, soccer, basketball, baseball, highlights, match, "
        "scores, transfer news, kicker");
    add("shopping", 1.0,
        "amazon, amazon.com, amazon.co.uk, ebay, etsy, aliexpress, temu, "
        "shein, wayfair, costco, zara, ikea, best buy, walmart, rakuten, "
        "楽天, 通販, add to cart, uber eats, doordash, deliveroo, grubhub, "
        "just eat, asos, zalando, vinted, depop, craigslist, mercari, "
        "wish.com");
    add("shopping", 0.5, "shopping, sale, deals, new collection");
    add("news", 1.0,
        "bbc news, cnn, fox news, nytimes, the new york times, the guardian, "
        "the verge, techcrunch, hacker news, der spiegel, huffpost, "
        "online-nachrichten, daily mail, yahoo news, msn, le monde, "
        "sports illustrated");
    add("news", 0.5, "news, breaking, headlines");
    add("entertainment", 1.0,
        "vlog, memes, celebrity, gossip, horoscope, ニコニコ, "
        "ニコニコ動画, goodreads, imdb");
    add("entertainment", 0.5,
        "meme, funny, compilation, reaction, trailer, movie, "
        "movies, tv show, anime, manga, ランキング");
    add("money", 1.0, "robinhood, coinbase, bitcoin, zillow");
    add("money", 0.5, "crypto, stocks, trading, real estate");
    add("chat", 0.5,
        "random, off-topic, offtopic, watercooler, lounge, lunch, tacos, "
        "weekend plans, lol, lmao, haha");
    add("weather", 0.5, "weather, forecast");

    lexicon.leisureLeaning = phrases("youtube, reddit, discord, twitch, x, twitter, "
                                     "facebook, instagram, tiktok, linkedin, pinterest, "
                                     "tumblr, quora, medium, imdb, spotify premium");
    lexicon.background = phrases("spotify, apple music, music, tidal, deezer, soundcloud, "
                                 "pandora, youtube music, rhythmbox, lofi, lo-fi, bgm, "
                                 "作業用bgm, playlist, radio");
    lexicon.browsers = phrases("Google Chrome, Chromium, Mozilla Firefox, Firefox, Safari, "
                               "Microsoft Edge, Brave, Opera, Vivaldi, Epiphany, Arc");
    lexicon.workSites = phrases(
        "wikipedia, wiktionary, stack overflow, stackoverflow, stack exchange, github, gitlab, "
        "bitbucket, google docs, google sheets, google slides, google drive, google maps, "
        "google search, google scholar, search results, new tab, gov, gov.uk, .gov, mdn, "
        "documentation, docs, confluence, jira, notion, trello, asana, pubmed, arxiv, "
        "coursera, khan academy, udemy, edx, dictionary, translate, deepl, chatgpt, "
        "outlook, gmail, calendar, zoom, overleaf, canva, miro");
    lexicon.siteSegments = {{QStringLiteral("X"), QStringLiteral("social media"), 1.0}};
    lexicon.titleSuffixes =
        phrases("Google Chrome, Chromium, Mozilla Firefox, Firefox, Safari, Microsoft Edge, Brave, "
                "Opera, Vivaldi, LibreOffice Writer, LibreOffice Calc, LibreOffice Impress, "
                "Microsoft Word, Microsoft Excel, Microsoft PowerPoint, Visual Studio Code, Slack, "
                "Discord, Microsoft Teams, Figma, Krita, Okular, Adobe Acrobat Reader, "
                "Adobe Acrobat Reader (64-bit), Notion, Zed, PyCharm");
    return lexicon;
}

} // namespace

const Lexicon& Lexicon::builtIn() {
    static const Lexicon lexicon = build();
    return lexicon;
}

} // namespace aimset::checkd
