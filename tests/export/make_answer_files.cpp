// Writes the answer files the export tests read, by filling in the embedded
// questionnaire with the real program's windows, page after page, as a
// participant does. Next to them it writes what was entered (expected.json)
// and what the pages showed (pages.json), so the tests compare the export
// with the input, not with a second reading of the files.
//
// Three questionnaires: one sent to the reference study server (its spool
// copy is kept too), one broken off twice and resumed in a new program run
// each time, one with every "War mir bekannt." checked and every MULTI
// option selected.
#include "app/application.h"
#include "app/form_menu.h"
#include "content/embedded.h"
#include "engine/form_fragen.h"
#include "engine/answer_files.h"
#include "engine/text_lines.h"
#include "platform/cp1252.h"
#include "submit/form_senden.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/study_server.h"
#include "tests/support/test_env.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <set>
#include <gtest/gtest.h>

namespace {

QString fixtureDir() { return QString::fromLocal8Bit(qgetenv("FB_EXPORT_FIXTURES")); }

QString u(const std::string& cp1252) { return fb::fromCp1252(cp1252); }

struct Recorded {
    std::vector<std::pair<std::string, std::string>> answers; // name, value (Windows-1252)
};

// What one participant enters; variant changes every choice.
struct Participant {
    int variant;
    std::string text(const std::string& name) const {
        if (name == "Name")
            return variant == 0 ? "Eva M\xFCster" : "*";
        if (name == "Email")
            return variant == 0 ? "eva@example.org" : "*";
        if (name == "Komm") {
            if (variant == 0)
                return "Witze & Cartoons = super, 100% sch\xF6n";
            if (variant == 1)
                return "Preis? &WPreis=3 wenn es geht";
            return "%20&amp;=&";
        }
        if (name == "Berufsname" && variant == 1)
            return "Clown & Artist&Einkommen=3";
        if (variant == 2) // the CSV separators and quote
            return "\"" + name + "\", ja; nein";
        return "Antwort " + name + " & mehr = " + std::to_string(variant) + "%";
    }
};

std::vector<std::pair<std::string, std::string>> answerPage(TFormMenu& m, const Participant& p, int round) {
    std::vector<std::pair<std::string, std::string>> lines;
    auto& c = m.Page.Controls;
    const int v = p.variant;
    for (const fb::TTeil& t : m.Page.ItemEntries) {
        const std::string& l = t.Line;
        if (fb::startsWith(l, "TEXT")) {
            const std::string name = l.substr(5);
            c.PageEdits[t.EditIndex]->setCaption(p.text(name));
            lines.emplace_back(name, p.text(name));
        } else if (fb::startsWith(l, "RADIO")) {
            auto* g = c.PageRadioGroups[t.ChoiceIndex];
            const int i = (round + v) % g->count();
            g->setItemIndex(i);
            lines.emplace_back(l.substr(6), std::to_string(i + 1));
        } else if (fb::startsWith(l, "SINGLE")) {
            auto* b = c.PageListBoxes[t.ChoiceIndex];
            const int i = (3 * round + v) % b->count();
            b->setSelected(i, true);
            lines.emplace_back(l.substr(7), std::to_string(i));
        } else if (fb::startsWith(l, "MULTI")) {
            auto* b = c.PageListBoxes[t.ChoiceIndex];
            unsigned long long bits = 0;
            for (int i = 0; i < b->count(); ++i) {
                const bool on = v == 2 || (v == 0 && (i == 0 || i == 2)) || (v == 1 && i == round % b->count() && round % 3);
                if (on) {
                    b->setSelected(i, true);
                    bits += 1ull << i;
                }
            }
            lines.emplace_back(l.substr(6), std::to_string(bits));
        } else if (fb::startsWith(l, "SKALA")) {
            const bool known = l.substr(l.size() - 2) == ".k";
            if (known && !(v == 2 || (round + v) % 2 == 1))
                continue;
            const int width = t.LastBox - t.FirstBox + 1;
            const int pos = known ? 0 : (round * 5 + v + (l.back() == 'a' ? 3 : 0)) % width;
            c.PageCheckBoxes[t.FirstBox + pos]->setMark(true);
            lines.emplace_back(l.substr(10), std::to_string(pos + 1));
        }
    }
    return lines;
}

// What the page shows of every entry, for the codebook test.
QJsonObject describePage(TFormMenu& m, const std::string& caption) {
    QJsonObject page;
    page["caption"] = u(caption);
    page["name"] = u(m.Page.PageName);
    QJsonArray labels;
    for (const fb::Label* l : m.Page.Controls.PageLabels)
        labels.append(u(l->caption()));
    page["labels"] = labels;
    QJsonArray entries;
    auto& c = m.Page.Controls;
    for (const fb::TTeil& t : m.Page.ItemEntries) {
        QJsonObject e;
        e["line"] = u(t.Line);
        QJsonArray options;
        if (fb::startsWith(t.Line, "RADIO")) {
            auto* g = c.PageRadioGroups[t.ChoiceIndex];
            for (int i = 0; i < g->count(); ++i)
                options.append(g->button(i)->text());
        } else if (fb::startsWith(t.Line, "SINGLE") || fb::startsWith(t.Line, "MULTI")) {
            auto* b = c.PageListBoxes[t.ChoiceIndex];
            for (int i = 0; i < b->count(); ++i)
                options.append(u(b->itemText(i)));
        }
        e["options"] = options;
        e["boxes"] = t.LastBox - t.FirstBox + 1;
        entries.append(e);
    }
    page["entries"] = entries;
    return page;
}

// Fills in one whole questionnaire; breakAt lists the rounds before which
// the participant breaks off and starts the program again.
std::vector<std::pair<std::string, std::string>> fillIn(std::unique_ptr<fb::Program>& program,
                                                        const Participant& p, const std::set<int>& breakAt,
                                                        QJsonArray* pages) {
    std::vector<std::pair<std::string, std::string>> expected;
    program->FormMenu->NeuerBogen1Click();
    int round = 0;
    while (program->FormFragen->isVisible() && round < 100) {
        if (breakAt.count(round)) {
            program->FormFragen->AbbrechenButton->click();
            program.reset();
            program = std::make_unique<fb::Program>(fb::embeddedResources());
            program->show();
            EXPECT_TRUE(program->FormMenu->FortButton->isEnabled());
            program->FormMenu->FortButton->click();
        }
        if (pages)
            pages->append(describePage(*program->FormMenu, program->FormFragen->caption()));
        for (auto& line : answerPage(*program->FormMenu, p, round))
            expected.push_back(std::move(line));
        program->FormFragen->SpeichernButton->click();
        ++round;
    }
    EXPECT_EQ(round, 76);
    return expected;
}

QJsonObject describeFile(const QString& file, const std::vector<std::pair<std::string, std::string>>& answers,
                         bool sent, bool resumed) {
    QJsonObject f;
    f["file"] = file;
    f["sent"] = sent;
    f["resumed"] = resumed;
    f["recipient"] = QStringLiteral("humor-studie@localhost");
    QJsonArray list;
    for (const auto& [name, value] : answers)
        list.append(QJsonArray{u(name), u(value)});
    f["answers"] = list;
    return f;
}

void checkLine(const std::string& path, const std::vector<std::pair<std::string, std::string>>& answers,
               const std::string& tail) {
    std::vector<std::string> lines{"recipient=humor-studie@localhost&subject=Bogendaten"};
    for (const auto& [name, value] : answers)
        lines.push_back(name + "=" + value);
    EXPECT_EQ(fbtest::readBytes(path), fb::joinAnswers(lines) + "\r\n" + tail) << path;
}

} // namespace

TEST(ExportFixtures, ThreeQuestionnairesFilledInWithTheProgram) {
    const QString out = fixtureDir();
    ASSERT_FALSE(out.isEmpty()) << "FB_EXPORT_FIXTURES names the folder to fill";
    QDir(out).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(out + "/files"));
    ASSERT_TRUE(QDir().mkpath(out + "/spool"));
    const QString old = QDir::currentPath();
    QDir::setCurrent(out + "/files");

    QTemporaryDir serverDir;
    const QString state = serverDir.path() + "/state";
    const QString port = fb::testing::runStudyServer({"start", "--port", "0"}, state);
    ASSERT_FALSE(port.isEmpty());
    struct Stop {
        QString state, old;
        ~Stop() {
            QProcess::execute(fb::testing::studyServerScript(), {"stop", "--state", state});
            QDir::setCurrent(old);
        }
    } stop{state, old};
    TFormMenu::serverHostOverride() = "127.0.0.1:" + port.toStdString();

    fbtest::ScriptedDialogs boxes;
    // Before November 2002: no status check at start-up.
    fb::setDateSource([] { return fb::LocalDate{2002, 10, 1}; });
    QJsonArray files;
    QJsonArray pages;

    auto program = std::make_unique<fb::Program>(fb::embeddedResources());
    program->show();

    // 0: sent to the server.
    const auto a0 = fillIn(program, Participant{0}, {}, &pages);
    ASSERT_TRUE(program->FormSenden->isVisible());
    ASSERT_EQ(program->FormSenden->Dateiname->caption(), "00000000.bgn");
    program->FormSenden->Button1->click();
    checkLine((out + "/files/00000000.bgn").toStdString(), a0, "Daten erfolgreich gesendet.\r\n");
    const QString spool = fb::testing::runStudyServer({"spool"}, state);
    const QStringList stored = QDir(spool).entryList(QDir::Files);
    ASSERT_EQ(stored.size(), 1);
    ASSERT_TRUE(QFile::copy(spool + "/" + stored[0], out + "/spool/" + stored[0]));
    checkLine((out + "/spool/" + stored[0]).toStdString(), a0, "");
    files.append(describeFile("00000000.bgn", a0, true, false));
    files.append(describeFile(stored[0], a0, true, false));

    // 1: broken off twice, each time resumed in a new run; not sent.
    const auto a1 = fillIn(program, Participant{1}, {20, 45}, nullptr);
    ASSERT_TRUE(program->FormSenden->isVisible());
    program->FormSenden->Button3->click();
    checkLine((out + "/files/00000001.bgn").toStdString(), a1, "");
    files.append(describeFile("00000001.bgn", a1, false, true));

    // 2: every "War mir bekannt." checked, every MULTI option selected.
    const auto a2 = fillIn(program, Participant{2}, {}, nullptr);
    program->FormSenden->Button3->click();
    checkLine((out + "/files/00000002.bgn").toStdString(), a2, "");
    files.append(describeFile("00000002.bgn", a2, false, false));
    program.reset();

    auto save = [&](const QString& name, const QJsonArray& content) {
        QFile f(out + "/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QJsonDocument(content).toJson());
    };
    save("expected.json", files);
    save("pages.json", pages);
    fb::setDateSource(nullptr);
    TFormMenu::serverHostOverride().clear();
}
