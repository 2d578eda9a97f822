// A participant's whole road with the embedded questionnaire and the real
// windows: every page filled, a break-off and restart in the middle, the
// finish, and the upload to the reference study server.
#include "app/application.h"
#include "app/form_menu.h"
#include "content/embedded.h"
#include "engine/form_fragen.h"
#include "engine/answer_files.h"
#include "engine/text_lines.h"
#include "submit/form_senden.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/study_server.h"
#include "tests/support/test_env.h"

#include <QDir>
#include <QProcess>
#include <set>
#include <gtest/gtest.h>

using fbtest::readBytes;

namespace {

const std::string kHeader = "recipient=humor-studie@localhost&subject=Bogendaten";

// Answers every entry of the page shown and returns the lines it must record.
std::vector<std::string> answerPage(TFormMenu& m, int round) {
    std::vector<std::string> lines;
    auto& c = m.Page.Controls;
    for (const fb::TTeil& t : m.Page.ItemEntries) {
        const std::string& l = t.Line;
        if (fb::startsWith(l, "TEXT")) {
            const std::string name = l.substr(5);
            const std::string value = name == "Name" ? "Eva Muster" : name == "Email" ? "eva@example.org" : "Antwort " + name + " & mehr";
            c.PageEdits[t.EditIndex]->setCaption(value);
            lines.push_back(name + "=" + value);
        } else if (fb::startsWith(l, "RADIO")) {
            auto* g = c.PageRadioGroups[t.ChoiceIndex];
            const int i = round % g->count();
            g->setItemIndex(i);
            lines.push_back(l.substr(6) + "=" + std::to_string(i + 1));
        } else if (fb::startsWith(l, "SINGLE")) {
            auto* b = c.PageListBoxes[t.ChoiceIndex];
            b->setSelected(b->count() - 1, true);
            lines.push_back(l.substr(7) + "=" + std::to_string(b->count() - 1));
        } else if (fb::startsWith(l, "MULTI")) {
            auto* b = c.PageListBoxes[t.ChoiceIndex];
            b->setSelected(0, true);
            b->setSelected(2, true);
            lines.push_back(l.substr(6) + "=5");
        } else if (fb::startsWith(l, "SKALA")) {
            const bool known = l.substr(l.size() - 2) == ".k";
            if (known && round % 2 == 0)
                continue;
            const int width = t.LastBox - t.FirstBox + 1;
            const int pos = known ? 0 : round % width;
            c.PageCheckBoxes[t.FirstBox + pos]->setMark(true);
            lines.push_back(l.substr(10) + "=" + std::to_string(pos + 1));
        }
    }
    return lines;
}

} // namespace

TEST(WalkThrough, EveryPageBrokenOffResumedFinishedAndSent) {
    fbtest::WorkDir dir;
    const QString state = QString::fromStdString(dir.file("server-state"));
    const QString port = fb::testing::runStudyServer({"start", "--port", "0"}, state);
    ASSERT_FALSE(port.isEmpty());
    struct Stop {
        QString state;
        ~Stop() { QProcess::execute(fb::testing::studyServerScript(), {"stop", "--state", state}); }
    } stop{state};
    TFormMenu::serverHostOverride() = "127.0.0.1:" + port.toStdString();

    fbtest::ScriptedDialogs boxes;
    fb::setDateSource([] { return fb::LocalDate{2026, 12, 8}; });
    auto program = std::make_unique<fb::Program>(fb::embeddedResources());
    program->show();
    // The start-up reminder asked, was answered with OK and found the study running.
    ASSERT_GE(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[0].buttons, fb::BoxButtons::OkCancel);
    EXPECT_EQ(boxes.boxes[1].caption, "Information");
    EXPECT_EQ(program->FormMenu->menumemo->lastLine(), "Bereit.");

    std::vector<std::string> expected{kHeader};
    std::set<std::string> captions;
    program->FormMenu->NeuerBogen1Click();
    int round = 0;
    while (program->FormFragen->isVisible() && round < 100) {
        captions.insert(program->FormFragen->caption());
        if (round == 38) {
            // Break off in the middle, start the program again and resume.
            program->FormFragen->AbbrechenButton->click();
            program.reset();
            fb::setDateSource([] { return fb::LocalDate{2002, 10, 1}; });
            program = std::make_unique<fb::Program>(fb::embeddedResources());
            program->show();
            ASSERT_TRUE(program->FormMenu->FortButton->isEnabled());
            program->FormMenu->FortButton->click();
        }
        for (std::string& line : answerPage(*program->FormMenu, round))
            expected.push_back(std::move(line));
        program->FormFragen->SpeichernButton->click();
        ++round;
    }
    EXPECT_EQ(round, 76);
    EXPECT_EQ(captions.size(), 76u);
    // One caption per page shown, numbered without a gap.
    for (int n = 1; n <= 76; ++n)
        EXPECT_EQ(captions.count("Seite " + std::to_string(n) + " von 76."), 1u) << n;
    const std::string line = fb::joinAnswers(expected) + "\r\n";
    EXPECT_EQ(readBytes(dir.file("00000000.bgn")), line);
    EXPECT_NE(line.find("&WB\xF6se="), std::string::npos);
    EXPECT_NE(line.find("&01.w="), std::string::npos);
    EXPECT_NE(line.find("&01.a="), std::string::npos);
    EXPECT_FALSE(fbtest::fileExistsAt(dir.file("bogen.prt")));

    // The send dialog offers the file with the participant's name; sending it
    // marks it, and the server's spool holds exactly its line.
    TFormSenden& send = *program->FormSenden;
    ASSERT_TRUE(send.isVisible());
    EXPECT_EQ(send.Dateiname->caption(), "00000000.bgn");
    EXPECT_EQ(send.NameLabel->caption(), "Eva Muster");
    send.Button1->click();
    EXPECT_EQ(boxes.boxes.back().text.substr(0, 9), "Die Daten");
    EXPECT_EQ(readBytes(dir.file("00000000.bgn")), line + "Daten erfolgreich gesendet.\r\n");
    const QString spool = fb::testing::runStudyServer({"spool"}, state);
    const QStringList stored = QDir(spool).entryList(QDir::Files);
    ASSERT_EQ(stored.size(), 1);
    EXPECT_EQ(readBytes((spool + "/" + stored[0]).toStdString()), line);
    EXPECT_TRUE(program->FormMenu->isEnabled());

    // Closed: "Absenden" shows the closed box and opens nothing.
    fb::testing::runStudyServer({"close"}, state);
    program->FormMenu->Abesn1Click();
    EXPECT_EQ(boxes.boxes.back().caption, "Warning");
    EXPECT_FALSE(send.isVisible());
    EXPECT_TRUE(program->FormMenu->isEnabled());
    program.reset();
    fb::setDateSource(nullptr);
    TFormMenu::serverHostOverride().clear();
}
