#include "app/application.h"
#include "app/form_menu.h"
#include "content/embedded.h"
#include "engine/form_fragen.h"
#include "help/form_hilfe.h"
#include "platform/errors.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/test_env.h"

#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

using fbtest::ScriptedDialogs;
using fbtest::WorkDir;

namespace {

struct Started {
    WorkDir dir;
    ScriptedDialogs boxes;
    std::unique_ptr<fb::Program> program;
    explicit Started(const std::string& progress = "", bool withProgress = false,
                     const fb::ResourceStore& store = fb::embeddedResources()) {
        fb::setDateSource([] { return fb::LocalDate{2002, 10, 31}; });
        if (withProgress)
            fbtest::writeBytes(dir.file("bogen.prt"), progress);
        program = std::make_unique<fb::Program>(store);
        program->show();
    }
    ~Started() {
        program.reset();
        fb::setDateSource(nullptr);
    }
    TFormMenu& menu() { return *program->FormMenu; }
};

} // namespace

TEST(StartUp, MemoWithoutProgressFile) {
    Started s;
    auto lines = s.menu().menumemo->lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], " ");
    EXPECT_EQ(lines[1], std::to_string(s.menu().PageCount) + " Seiten gefunden.");
    EXPECT_EQ(lines[2], "W\xE4hlen Sie \"Neuer Bogen\" um mit dem Ausf\xFCllen zu beginnen.");
    EXPECT_EQ(lines[3], "Bereit.");
    EXPECT_FALSE(s.menu().ProgressSaved);
    EXPECT_FALSE(s.menu().Fortfahren1->isEnabled());
    EXPECT_FALSE(s.menu().FortButton->isEnabled());
    EXPECT_FALSE(s.menu().Abesn1->isEnabled());
    EXPECT_TRUE(s.boxes.boxes.empty());
    EXPECT_EQ(fb::applicationTitle(), "Humorforschung - Humor-Fragebogen");
    EXPECT_EQ(s.menu().caption(), "Fragebogen V1.0");
}

TEST(StartUp, EvenAnEmptyProgressFileOffersToContinue) {
    Started s("", true);
    auto lines = s.menu().menumemo->lines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[2], "Es wurde ein teilweise ausgef\xFCllter Fragebogen gefunden.");
    EXPECT_EQ(lines[5], "Bereit.");
    EXPECT_TRUE(s.menu().ProgressSaved);
    EXPECT_TRUE(s.menu().Fortfahren1->isEnabled());
    EXPECT_TRUE(s.menu().FortButton->isEnabled());
    EXPECT_TRUE(s.menu().AnswerData->empty());
}

TEST(StartUp, ProgressFileIsReadIntoTheAnswers) {
    Started s("recipient=a&subject=Bogendaten\r\nName=Eva\r\nPAGE Persona1\r\n", true);
    EXPECT_EQ(*s.menu().AnswerData,
              (std::vector<std::string>{"recipient=a&subject=Bogendaten", "Name=Eva", "PAGE Persona1"}));
}

TEST(StartUp, FirstAnswerFileEnablesSending) {
    WorkDir outer;
    fbtest::writeBytes(outer.file("00000000.bgn"), "x\r\n");
    ScriptedDialogs boxes;
    fb::Program program(fb::embeddedResources());
    program.show();
    EXPECT_TRUE(program.FormMenu->Abesn1->isEnabled());
}

TEST(StartUp, MissingScriptReportsAndStillOpens) {
    const fb::ResourceStore nothing{std::span<const fb::ResourceEntry>()};
    Started s("", false, nothing);
    ASSERT_GE(s.boxes.boxes.size(), 1u);
    EXPECT_EQ(s.boxes.boxes[0].caption, fb::applicationTitle());
    EXPECT_EQ(s.boxes.boxes[0].text, "Can't load resource: bogen");
    EXPECT_EQ(s.boxes.boxes[0].icon, fb::BoxIcon::Error);
    EXPECT_EQ(s.menu().menumemo->lines(), (std::vector<std::string>{" "}));
    EXPECT_TRUE(s.menu().isVisible());
}

TEST(StartUp, DateReminderFromNovember2002) {
    EXPECT_FALSE(TFormMenu::reminderDue({2002, 10, 31}));
    EXPECT_TRUE(TFormMenu::reminderDue({2002, 11, 1}));
    EXPECT_TRUE(TFormMenu::reminderDue({2026, 1, 1}));
    EXPECT_FALSE(TFormMenu::reminderDue({2001, 12, 31}));
}

TEST(MainWindow, MenuCaptionsShortcutsAndStates) {
    Started s;
    TFormMenu& m = s.menu();
    EXPECT_EQ(m.Neue1->title(), "&Fragebogen");
    QStringList captions;
    for (QAction* a : m.Neue1->actions())
        captions << (a->isSeparator() ? QString("-") : a->text());
    EXPECT_EQ(captions.join("|"), "&Anleitung|-|&Weitermachen|&Neuer Bogen|-|Ab&senden|Studienlaufzeit testen|-|E&xit");
    EXPECT_EQ(m.Fortfahren1->shortcut().toString(), "Ctrl+W");
    EXPECT_EQ(m.NeuerBogen1->shortcut().toString(), "Ctrl+N");
    EXPECT_EQ(m.Exit1->shortcut().toString(), "Ctrl+X");
    EXPECT_TRUE(m.Hilfe1->isEnabled());
    EXPECT_TRUE(m.laufzeit->isEnabled());
    EXPECT_EQ(m.Button1->text(), "Neuer &Bogen");
    EXPECT_EQ(m.FortButton->text(), "&Weitermachen");
    EXPECT_EQ(m.Button1->geometry(), QRect(16, 208, 73, 17));
    EXPECT_EQ(m.FortButton->geometry(), QRect(96, 208, 83, 17));
}

TEST(MainWindow, ResizeKeepsMemoLeftAndFillsTheRest) {
    Started s;
    TFormMenu& m = s.menu();
    m.resize(500, 290);
    QCoreApplication::processEvents();
    EXPECT_EQ(m.menumemo->x(), 192);
    EXPECT_EQ(m.menumemo->y(), 0);
    EXPECT_EQ(m.menumemo->width(), m.clientWidth() - 192);
    EXPECT_EQ(m.menumemo->height(), m.clientHeight());
    EXPECT_EQ(m.Button1->pos(), QPoint(16, 208));
}

TEST(MainWindow, LogoWinksOnFirstMoveAndAgainAtThe274th) {
    Started s;
    TFormMenu& m = s.menu();
    const QImage open = m.Image1->image();
    ASSERT_FALSE(open.isNull());
    EXPECT_EQ(open.size(), QSize(213, 195));
    // The armed timer's first tick restores the same logo and stops.
    ASSERT_TRUE(fbtest::waitUntil([&] { return !m.Timer1->active(); }, 3000));
    std::vector<int> winks;
    for (int move = 1; move <= 300; ++move) {
        m.Image1MouseMove();
        if (m.Timer1->hasOnTimer()) {
            winks.push_back(move);
            EXPECT_NE(m.Image1->image(), open);
            m.Timer1->fire();
            EXPECT_EQ(m.Image1->image(), open);
            EXPECT_FALSE(m.Timer1->active());
        }
    }
    EXPECT_EQ(winks, (std::vector<int>{1, 274, 300}));
}

TEST(MainWindow, MouseMovementOverTheLogoStartsTheWink) {
    Started s;
    TFormMenu& m = s.menu();
    QMouseEvent move(QEvent::MouseMove, QPointF(10, 10), QPointF(10, 10), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m.Image1, &move);
    EXPECT_TRUE(m.Timer1->active());
}

TEST(MainWindow, HelpWindowIsModelessAndHidesOnClose) {
    Started s;
    s.menu().Hilfe1->trigger();
    TFormHilfe& h = *s.program->FormHilfe;
    EXPECT_TRUE(h.isVisible());
    EXPECT_TRUE(s.menu().isEnabled());
    h.PageControl1->setCurrentIndex(2);
    h.close();
    EXPECT_FALSE(h.isVisible());
    s.menu().Hilfe1->trigger();
    EXPECT_EQ(h.PageControl1->currentIndex(), 2);
}

TEST(ErrorReport, AnExceptionInAHandlerIsShownAndTheProgramGoesOn) {
    ScriptedDialogs boxes;
    fb::Button b;
    b.setOnClick([] { throw fb::Exception("kaputt"); });
    b.show();
    QTest::mouseClick(&b, Qt::LeftButton);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "kaputt");
    EXPECT_EQ(boxes.boxes[0].icon, fb::BoxIcon::Error);
    EXPECT_EQ(boxes.boxes[0].caption, fb::applicationTitle());
}

TEST(HelpWindow, TextsLoadedAndFittedToTheWindow) {
    Started s;
    TFormHilfe& h = *s.program->FormHilfe;
    EXPECT_EQ(h.caption(), "Informationen");
    EXPECT_EQ(h.PageControl1->tabText(0), "Anleitung");
    EXPECT_EQ(h.PageControl1->tabText(1), "Datenschutz");
    EXPECT_EQ(h.PageControl1->tabText(2), "Kontakt");
    EXPECT_EQ(h.Memo1->lines().size(), 25u);
    EXPECT_EQ(h.Memo2->lines().size(), 3u);
    EXPECT_EQ(h.Memo3->lines().size(), 5u);
    EXPECT_TRUE(h.Memo1->isReadOnly());
    EXPECT_EQ(h.Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    h.show();
    h.resize(350, 250);
    QCoreApplication::processEvents();
    EXPECT_EQ(h.PageControl1->size(), QSize(h.clientWidth(), h.clientHeight()));
    EXPECT_EQ(h.Memo1->size(), h.TabSheet1->size());
    h.PageControl1->setCurrentIndex(2);
    QCoreApplication::processEvents();
    EXPECT_EQ(h.Memo3->size(), h.TabSheet3->size());
}
