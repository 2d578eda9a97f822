// What the page window does to help a participant: marks of missing answers
// after a refused page, rating with the keyboard, accessible names and the
// progress bar. None of it may change what is recorded.
#include "app/application.h"
#include "app/form_menu.h"
#include "content/embedded.h"
#include "engine/answer_marks.h"
#include "engine/form_fragen.h"
#include "engine/page_builder.h"
#include "platform/cp1252.h"
#include "tests/support/replaced_script_store.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/test_env.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QProcess>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>
#include <set>

using fbtest::readBytes;

namespace {

std::string options(int n) {
    std::string s;
    for (int i = 1; i <= n; ++i)
        s += "Antwort " + std::to_string(i) + "\r\n";
    return s + "END\r\n\r\n";
}

// A first page, a long page of three items (the last page), as the tests
// need them; then the rating and scale pages of the embedded script are used.
const std::string kScript = "PAGE Eins\r\n\r\n"
                            "TEXT Vorname\r\nIhr Vorname?\r\n\r\n"
                            "PAGE Drei\r\n\r\n"
                            "RADIO Viele\r\nWelche der zw\xF6lf Antworten?\r\n" +
                            options(12) +
                            "SINGLE Land\r\nWo leben Sie?\r\n" + options(21) +
                            "TEXT Komm\r\nIhr Kommentar?\r\n";

const fb::ResourceStore& smallStore() {
    static const fbtest::ReplacedScriptStore s(kScript);
    return s.store();
}

struct Session {
    fbtest::ScriptedDialogs boxes;
    std::unique_ptr<fb::Program> program;
    explicit Session(const fb::ResourceStore& store) {
        fb::setDateSource([] { return fb::LocalDate{2002, 10, 1}; });
        program = std::make_unique<fb::Program>(store);
        program->show();
    }
    ~Session() {
        program.reset();
        fb::setDateSource(nullptr);
    }
    TFormMenu& m() { return *program->FormMenu; }
    TFormFragen& page() { return *program->FormFragen; }
    fb::PageControls& c() { return m().Page.Controls; }
    // Builds the named page as a resumed questionnaire would.
    void open(const std::string& name) {
        if (!m().Page.Controls.empty())
            fb::teardownPage(m().Page, *m().PictureImage);
        m().AnswerData->assign({m().headerLine(), "PAGE " + name});
        m().Fortfahren1Click();
        activate();
    }
    void activate() {
        page().activateWindow();
        QApplication::setActiveWindow(&page());
        fbtest::waitUntil([this] { return QApplication::activeWindow() == &page(); }, 2000);
    }
    QWidget* focus() { return page().focusWidget(); }
    void key(Qt::Key k) {
        QWidget* w = QApplication::focusWidget() ? QApplication::focusWidget() : focus();
        ASSERT_TRUE(w);
        QTest::keyClick(w, k);
    }
    // Presses Tab until pred holds for the focused control, at most n times.
    bool tabUntil(const std::function<bool(QWidget*)>& pred, int n = 80) {
        for (int i = 0; i < n; ++i) {
            key(Qt::Key_Tab);
            if (pred(focus()))
                return true;
        }
        return false;
    }
    void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(w->width() / 2, w->height() / 2)); }
    std::vector<std::string> tail(std::size_t n) {
        const auto& a = *m().AnswerData;
        return {a.end() - static_cast<long>(std::min(n, a.size())), a.end()};
    }
};

// Saves the page as a picture when FRAGEBOGEN_SHOTS names a folder.
void shot(QWidget* w, const char* name) {
    const QByteArray folder = qgetenv("FRAGEBOGEN_SHOTS");
    if (folder.isEmpty())
        return;
    fbtest::waitUntil([] { return false; }, 200); // let the window system paint
    EXPECT_TRUE(w->grab().save(QString::fromUtf8(folder) + "/" + name + ".png"));
}

bool red(const fb::Label* l) { return l->palette().color(QPalette::WindowText) == fb::missingAnswerColor(); }

// Whether the label as drawn shows red text.
bool drawnRed(fb::Label* l) {
    const QImage img = l->grab().toImage();
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c = img.pixelColor(x, y);
            if (c.red() > 180 && c.green() < 90 && c.blue() < 90)
                return true;
        }
    return false;
}

std::vector<QRect> geometries(const fb::PageControls& c) {
    std::vector<QRect> g;
    for (auto* w : c.PageLabels)
        g.push_back(w->geometry());
    for (auto* w : c.PageEdits)
        g.push_back(w->geometry());
    for (auto* w : c.PageRadioGroups)
        g.push_back(w->geometry());
    for (auto* w : c.PageListBoxes)
        g.push_back(w->geometry());
    for (auto* w : c.PageCheckBoxes)
        g.push_back(w->geometry());
    return g;
}

bool fullyVisible(TFormFragen& page, const fb::EntryView& v) {
    const int top = page.scrollArea()->verticalScrollBar()->value();
    const int height = page.scrollArea()->viewport()->height();
    return v.top >= top && v.bottom <= top + height;
}

QString accName(QWidget* w) {
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(w);
    return i ? i->text(QAccessible::Name) : QString();
}
QString accDescription(QWidget* w) {
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(w);
    return i ? i->text(QAccessible::Description) : QString();
}
// Name and tooltip as a screen reader reads them.
void expectSpoken(QWidget* w, const std::string& cp1252) {
    EXPECT_EQ(accName(w).toStdString(), fb::fromCp1252(cp1252).toStdString());
    EXPECT_EQ(accDescription(w).toStdString(), fb::fromCp1252(cp1252).toStdString());
}

// Fills the long page: the radio choice, then the list and the comment.
void answerDrei(Session& s) {
    s.c().PageRadioGroups[0]->setItemIndex(4);
    s.c().PageListBoxes[0]->setSelected(20, true);
    s.c().PageEdits[0]->setCaption("Gut & sch\xF6n");
}

// Runs the whole small questionnaire, breaking off on the long page once;
// returns the progress file, the answer file and the memo.
struct Outcome {
    std::string progress, answers;
    std::vector<std::string> memo;
};
Outcome runQuestionnaire(bool refuse) {
    fbtest::WorkDir dir;
    Outcome out;
    {
        Session s(smallStore());
        s.m().NeuerBogen1Click();
        s.c().PageEdits[0]->setCaption("Eva");
        s.page().SpeichernButton->click();
        if (refuse) {
            s.c().PageRadioGroups[0]->setItemIndex(4);
            s.page().SpeichernButton->click();
        }
        s.page().AbbrechenButton->click();
        out.progress = readBytes(dir.file("bogen.prt"));
        s.m().Fortfahren1Click();
        if (refuse)
            s.page().SpeichernButton->click();
        answerDrei(s);
        s.page().SpeichernButton->click();
        out.answers = readBytes(dir.file("00000000.bgn"));
        out.memo = s.m().menumemo->lines();
    }
    return out;
}

} // namespace

TEST(Marks, RefusedPageMarksScrollsFocusesAndClearsPerItem) {
    fbtest::WorkDir dir;
    Session s(smallStore());
    s.open("Drei");
    auto& views = s.m().Page.EntryViews;
    ASSERT_EQ(views.size(), 3u);
    s.c().PageRadioGroups[0]->setItemIndex(2);
    const std::vector<QRect> before = geometries(s.c());
    // Nothing is marked before a refusal, although two items are missing.
    for (const auto& v : views)
        EXPECT_FALSE(red(v.caption));
    ASSERT_FALSE(fullyVisible(s.page(), views[1])) << "the list must start out of view";

    s.page().SpeichernButton->click();
    ASSERT_EQ(s.boxes.boxes.size(), 1u);
    EXPECT_EQ(s.boxes.boxes[0].text, "Bitte alle Eingabefelder ausf\xFCllen.");
    EXPECT_FALSE(red(views[0].caption));
    EXPECT_TRUE(red(views[1].caption));
    EXPECT_TRUE(red(views[2].caption));
    EXPECT_TRUE(drawnRed(views[1].caption));
    EXPECT_FALSE(drawnRed(views[0].caption));
    EXPECT_TRUE(fullyVisible(s.page(), views[1]));
    EXPECT_EQ(s.focus(), s.c().PageListBoxes[0]);
    EXPECT_TRUE(s.page().testAttribute(Qt::WA_KeyboardFocusChange)) << "the focus frame is drawn";
    EXPECT_EQ(geometries(s.c()), before) << "marking changes colours only";
    shot(&s.page(), "marks-list");

    // Typing the comment clears its mark and no other.
    QTest::keyClicks(s.c().PageEdits[0], "x");
    EXPECT_FALSE(red(views[2].caption));
    EXPECT_FALSE(drawnRed(views[2].caption));
    EXPECT_TRUE(red(views[1].caption));
    // The marks follow the answers until the page goes.
    s.c().PageEdits[0]->setCaption("");
    EXPECT_TRUE(red(views[2].caption));
    s.c().PageEdits[0]->setCaption("y");
    s.click(s.c().PageListBoxes[0]->viewport());
    EXPECT_FALSE(red(views[1].caption));
    EXPECT_FALSE(red(views[0].caption));
    EXPECT_EQ(geometries(s.c()), before);

    // After a refusal an answer taken back is missing again; the next refusal
    // brings the radio group into view and gives its first option the focus.
    s.c().PageRadioGroups[0]->setItemIndex(-1);
    EXPECT_TRUE(red(views[0].caption));
    s.page().SpeichernButton->click();
    EXPECT_TRUE(red(views[0].caption));
    EXPECT_FALSE(red(views[1].caption));
    EXPECT_TRUE(fullyVisible(s.page(), views[0]));
    EXPECT_EQ(s.focus(), s.c().PageRadioGroups[0]->button(0));
    QAbstractButton* option = s.c().PageRadioGroups[0]->button(3);
    QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(8, option->height() / 2)); // on its circle
    EXPECT_EQ(s.c().PageRadioGroups[0]->itemIndex(), 3);
    EXPECT_FALSE(red(views[0].caption));
}

TEST(Marks, TheNextPageStartsUnmarked) {
    fbtest::WorkDir dir;
    Session s(smallStore());
    s.m().NeuerBogen1Click();
    s.page().SpeichernButton->click();
    ASSERT_TRUE(red(s.m().Page.EntryViews[0].caption));
    s.c().PageEdits[0]->setCaption("Eva");
    s.page().SpeichernButton->click();
    ASSERT_EQ(s.m().Page.EntryViews.size(), 3u);
    for (const auto& v : s.m().Page.EntryViews)
        EXPECT_FALSE(red(v.caption));
}

TEST(Marks, RatingRowsMarkTheirCaptionAndFocusTheFirstBox) {
    fbtest::WorkDir dir;
    Session s(fb::embeddedResources());
    s.open("W60");
    auto& views = s.m().Page.EntryViews;
    ASSERT_EQ(views.size(), 3u);
    EXPECT_EQ(views[0].caption->caption(), "WITZIGKEIT");
    EXPECT_EQ(views[1].caption->caption(), "ABLEHNUNG");
    const std::vector<QRect> before = geometries(s.c());
    s.click(s.c().PageCheckBoxes[10]); // only the rejection row
    s.page().SpeichernButton->click();
    EXPECT_TRUE(red(views[0].caption));
    EXPECT_FALSE(red(views[1].caption));
    EXPECT_EQ(s.focus(), s.c().PageCheckBoxes[0]);
    EXPECT_TRUE(fullyVisible(s.page(), views[0]));
    shot(&s.page(), "marks-rating");
    s.key(Qt::Key_5);
    EXPECT_FALSE(red(views[0].caption));
    EXPECT_EQ(geometries(s.c()), before);
    s.page().SpeichernButton->click();
    const auto recorded = s.tail(3);
    EXPECT_EQ(std::vector<std::string>(recorded.begin(), recorded.begin() + 2),
              (std::vector<std::string>{"60.w=5", "60.a=4"}));
    EXPECT_EQ(recorded[2].substr(0, 5), "PAGE ");
}

TEST(Marks, RecordedFilesAndMemoAreTheSameWithAndWithoutRefusals) {
    const Outcome plain = runQuestionnaire(false);
    const Outcome refused = runQuestionnaire(true);
    EXPECT_EQ(plain.answers, "recipient=humor-studie@localhost&subject=Bogendaten&Vorname=Eva&Viele=5&Land=20"
                             "&Komm=Gut & sch\xF6n\r\n");
    EXPECT_EQ(refused.answers, plain.answers);
    EXPECT_EQ(plain.progress, "recipient=humor-studie@localhost&subject=Bogendaten\r\nVorname=Eva\r\nPAGE Drei\r\n");
    EXPECT_EQ(refused.progress, plain.progress);
    EXPECT_EQ(refused.memo, plain.memo);
}

// ------------------------------------------------------------ keyboard

TEST(Keyboard, RatingPageByTabDigitsAndSpaceRecordsAsTheMouse) {
    std::vector<std::string> byMouse, byKeys;
    {
        fbtest::WorkDir dir;
        Session s(fb::embeddedResources());
        s.open("Witze");
        s.click(s.c().PageCheckBoxes[2]);
        s.click(s.c().PageCheckBoxes[7 + 5]);
        s.click(s.c().PageCheckBoxes[14]);
        s.click(s.page().SpeichernButton);
        byMouse = s.tail(4);
    }
    fbtest::WorkDir dir;
    Session s(fb::embeddedResources());
    s.open("Witze");
    auto& b = s.c().PageCheckBoxes;
    s.page().SpeichernButton->setFocus();
    ASSERT_TRUE(s.tabUntil([&](QWidget* w) { return w == b[0]; }));
    s.key(Qt::Key_3);
    EXPECT_EQ(s.focus(), b[2]);
    EXPECT_TRUE(b[2]->mark());
    // Arrows move within the row; Space checks as a click, one box per row.
    s.key(Qt::Key_Right);
    EXPECT_EQ(s.focus(), b[3]);
    s.key(Qt::Key_Space);
    EXPECT_TRUE(b[3]->mark());
    EXPECT_FALSE(b[2]->mark());
    s.key(Qt::Key_Left);
    s.key(Qt::Key_Space);
    EXPECT_TRUE(b[2]->mark());
    EXPECT_FALSE(b[3]->mark());
    ASSERT_TRUE(s.tabUntil([&](QWidget* w) { return w == b[7]; }));
    s.key(Qt::Key_7);
    s.key(Qt::Key_6);
    EXPECT_EQ(s.focus(), b[12]);
    ASSERT_TRUE(s.tabUntil([&](QWidget* w) { return w == b[14]; }));
    s.key(Qt::Key_Space);
    EXPECT_TRUE(b[14]->mark());
    ASSERT_TRUE(s.tabUntil([&](QWidget* w) { return w == s.page().SpeichernButton; }));
    s.key(Qt::Key_Space);
    byKeys = s.tail(4);
    EXPECT_EQ(byMouse, (std::vector<std::string>{"01.w=3", "01.a=6", "01.k=1", "PAGE W04"}));
    EXPECT_EQ(byKeys, byMouse);
}

TEST(Keyboard, TabReachesEveryBoxAndArrowsStayInTheRow) {
    fbtest::WorkDir dir;
    Session s(fb::embeddedResources());
    s.open("MornEven1");
    auto& b = s.c().PageCheckBoxes;
    ASSERT_EQ(b.size(), 56u); // two quarter-hour scales
    std::set<QWidget*> reached;
    s.page().SpeichernButton->setFocus();
    s.tabUntil([&](QWidget* w) {
        reached.insert(w);
        return false;
    }, 200);
    for (std::size_t i = 0; i < b.size(); ++i)
        EXPECT_TRUE(reached.count(b[i])) << "box " << i;
    // The last box of the first scale: Right stays, Left goes back.
    b[27]->setFocus();
    s.key(Qt::Key_Right);
    EXPECT_EQ(s.focus(), b[27]);
    s.key(Qt::Key_Left);
    EXPECT_EQ(s.focus(), b[26]);
    b[28]->setFocus();
    s.key(Qt::Key_Left);
    EXPECT_EQ(s.focus(), b[28]);
    // Digits do nothing on an hour scale; Space checks, one box per scale.
    s.key(Qt::Key_3);
    for (auto* box : b)
        EXPECT_FALSE(box->mark());
    s.key(Qt::Key_Space);
    s.key(Qt::Key_Right);
    s.key(Qt::Key_Space);
    EXPECT_FALSE(b[28]->mark());
    EXPECT_TRUE(b[29]->mark());
    EXPECT_EQ(s.focus(), b[29]);
}

TEST(Keyboard, EveryWayOfCheckingKeepsOneBoxPerRow) {
    fbtest::WorkDir dir;
    Session s(fb::embeddedResources());
    s.open("Witze");
    auto& b = s.c().PageCheckBoxes;
    s.click(b[1]);
    // A screen reader toggles without a click.
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(b[5]);
    ASSERT_TRUE(i && i->actionInterface());
    ASSERT_TRUE(i->actionInterface()->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    i->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_TRUE(b[5]->mark());
    EXPECT_FALSE(b[1]->mark());
    b[6]->setFocus();
    s.key(Qt::Key_2);
    EXPECT_TRUE(b[1]->mark());
    EXPECT_FALSE(b[5]->mark());
    // The digit of the checked position keeps it checked.
    s.key(Qt::Key_2);
    EXPECT_TRUE(b[1]->mark());
    // "War mir bekannt." stays apart from both rows and ignores digits.
    b[14]->setFocus();
    s.key(Qt::Key_Space);
    s.key(Qt::Key_4);
    EXPECT_TRUE(b[14]->mark());
    EXPECT_TRUE(b[1]->mark());
    EXPECT_FALSE(b[3]->mark());
    int checked = 0;
    for (int k = 0; k < 7; ++k)
        checked += b[k]->mark();
    EXPECT_EQ(checked, 1);
}

// ------------------------------------------------------------ pasted text

TEST(Paste, LinesJoinedUnstorableCharactersReplacedAndTheRestRecorded) {
    fbtest::WorkDir dir;
    Session s(fb::embeddedResources());
    s.open("Komment"); // the last page: Ffragen, Komm, WPreis
    fb::Edit* komm = s.c().PageEdits.at(0);
    auto paste = [&](const char* utf8) {
        // On a display another X client offers it, as the participant's editor would.
        QProcess xclip;
        if (QGuiApplication::platformName() == "xcb") {
            xclip.start("xclip", {"-selection", "clipboard"});
            xclip.write(utf8);
            xclip.closeWriteChannel();
            EXPECT_TRUE(xclip.waitForFinished(5000) && xclip.exitCode() == 0);
        } else {
            QGuiApplication::clipboard()->setText(QString::fromUtf8(utf8));
        }
        EXPECT_TRUE(fbtest::waitUntil([&] { return QGuiApplication::clipboard()->text() == QString::fromUtf8(utf8); }));
        QTest::keyClick(komm, Qt::Key_V, Qt::ControlModifier);
    };
    paste("eins\r\nzwei\n\ndrei\r");
    EXPECT_EQ(komm->text(), "eins zwei drei ");
    EXPECT_EQ(komm->replacementHint(), nullptr);
    komm->setCursorPosition(5);
    paste("Gr\u00FC\u00DFe aus \u0141o\u0301dz\u0301 \U0001F600!"); // "ó" in two code points
    EXPECT_EQ(komm->cursorPosition(), 22);
    ASSERT_TRUE(komm->replacementHint());
    EXPECT_EQ(fb::toCp1252(komm->replacementHint()->text()),
              "Einige Zeichen k\xF6nnen nicht gespeichert werden und wurden durch ? ersetzt.");
    shot(&s.page(), "paste-replaced");
    s.c().PageRadioGroups[0]->button(0)->click();
    s.c().PageRadioGroups[1]->button(0)->click();
    s.click(s.page().SpeichernButton);
    EXPECT_EQ(readBytes(dir.file("00000000.bgn")),
              s.m().headerLine() + "&Ffragen=1&Komm=eins Gr\xFC\xDF" "e aus ?\xF3" "d? ?!zwei drei &WPreis=1\r\n");
}

// ------------------------------------------------------------ names

TEST(AccessibleNames, RatingPage) {
    fbtest::WorkDir dir;
    Session s(fb::embeddedResources());
    s.open("Witze");
    auto& b = s.c().PageCheckBoxes;
    ASSERT_EQ(b.size(), 15u);
    for (int j = 0; j < 7; ++j) {
        expectSpoken(b[j], "Witzigkeit " + std::to_string(j + 1) + " von 7 (1 = nicht witzig, 7 = sehr witzig)");
        expectSpoken(b[7 + j],
                     "Ablehnung " + std::to_string(j + 1) + " von 7 (1 = keine Ablehnung, 7 = starke Ablehnung)");
    }
    EXPECT_EQ(accName(b[2]).toStdString(), "Witzigkeit 3 von 7 (1 = nicht witzig, 7 = sehr witzig)");
    expectSpoken(b[14], "War mir bekannt.");
    QAccessibleInterface* box = QAccessible::queryAccessibleInterface(b[3]);
    EXPECT_EQ(box->role(), QAccessible::CheckBox);
    for (auto* l : s.c().PageLabels)
        EXPECT_EQ(accName(l), fb::fromCp1252(l->caption()).replace("\r\n", "\n"));
    EXPECT_EQ(accName(s.page().SpeichernButton), "Speichern");
    EXPECT_EQ(accName(s.page().AbbrechenButton), "Abbrechen");
    EXPECT_FALSE(accDescription(s.page().SpeichernButton).isEmpty());
    EXPECT_FALSE(accDescription(s.page().AbbrechenButton).isEmpty());
    s.open("W41");
    expectSpoken(s.m().PictureImage.get(), "Cartoon W41");
}

TEST(AccessibleNames, HourScalePages) {
    fbtest::WorkDir dir;
    Session s(fb::embeddedResources());
    s.open("MornEven1"); // "SKALA.STD Afst" from 05, "SKALA.STD Btg" from 20
    auto& b = s.c().PageCheckBoxes;
    ASSERT_EQ(b.size(), 56u);
    expectSpoken(b[0], "5:00 bis 5:15 Uhr");
    expectSpoken(b[1], "5:15 bis 5:30 Uhr");
    expectSpoken(b[3], "5:45 bis 6:00 Uhr");
    expectSpoken(b[27], "11:45 bis 12:00 Uhr");
    expectSpoken(b[28 + 15], "23:45 bis 24:00 Uhr");
    expectSpoken(b[28 + 16], "24:00 bis 24:15 Uhr");
    expectSpoken(b[28 + 19], "24:45 bis 1:00 Uhr");
    expectSpoken(b[28 + 27], "2:45 bis 3:00 Uhr");
    for (const fb::TTeil& t : s.m().Page.ItemEntries) {
        if (t.Line.rfind("SKALA", 0) != 0)
            continue;
        // Every box has a name of its own.
        std::set<QString> names;
        for (int i = t.FirstBox; i <= t.LastBox; ++i)
            names.insert(accName(b[static_cast<std::size_t>(i)]));
        EXPECT_EQ(names.size(), 28u);
    }
    s.open("MornEven4"); // two "SKALA.TAG" scales, a radio group, a "SKALA.STD"
    for (const fb::TTeil& t : s.m().Page.ItemEntries) {
        if (t.Line.rfind("SKALA.TAG", 0) != 0)
            continue;
        for (int i = 0; i < 24; ++i)
            expectSpoken(b[static_cast<std::size_t>(t.FirstBox + i)],
                         std::to_string(i) + " bis " + std::to_string(i + 1) + " Uhr");
    }
    EXPECT_EQ(accName(b[3]).toStdString(), "3 bis 4 Uhr");
    for (const auto& v : s.m().Page.EntryViews)
        if (auto* g = dynamic_cast<fb::RadioGroup*>(v.focus->parentWidget()))
            expectSpoken(g, v.caption->caption());
}

TEST(AccessibleNames, FirstPage) {
    fbtest::WorkDir dir;
    Session s(fb::embeddedResources());
    s.m().NeuerBogen1Click();
    const auto& views = s.m().Page.EntryViews;
    const auto& items = s.m().Page.ItemEntries;
    ASSERT_EQ(items.size(), 4u);
    const std::vector<std::string> lines{"TEXT Name", "TEXT Email", "RADIO Geschlecht", "TEXT Geburt"};
    for (std::size_t k = 0; k < items.size(); ++k)
        EXPECT_EQ(items[k].Line, lines[k]);
    ASSERT_EQ(s.c().PageEdits.size(), 3u);
    expectSpoken(s.c().PageEdits[0], views[0].caption->caption());
    expectSpoken(s.c().PageEdits[1], views[1].caption->caption());
    expectSpoken(s.c().PageEdits[2], views[3].caption->caption());
    EXPECT_NE(views[0].caption->caption(), views[1].caption->caption());
    fb::RadioGroup* g = s.c().PageRadioGroups[0];
    expectSpoken(g, views[2].caption->caption());
    EXPECT_EQ(accName(g->button(0)).toStdString(), fb::fromCp1252("m\xE4nnlich").toStdString());
    EXPECT_EQ(accName(g->button(1)), "weiblich");
    EXPECT_EQ(accName(s.page().SpeichernButton), "Speichern");
    EXPECT_EQ(accName(s.page().AbbrechenButton), "Abbrechen");
    auto* bar = s.page().clientArea()->findChild<QProgressBar*>("Fortschritt");
    ASSERT_TRUE(bar);
    expectSpoken(bar, "Fortschritt: Seite 1 von " + std::to_string(s.m().PageCount));
}

TEST(AccessibleNames, ListsAndRadioGroupsCarryTheirQuestion) {
    fbtest::WorkDir dir;
    Session s(smallStore());
    s.open("Drei");
    expectSpoken(s.c().PageRadioGroups[0], "Welche der zw\xF6lf Antworten?");
    expectSpoken(s.c().PageListBoxes[0], "Wo leben Sie?");
    expectSpoken(s.c().PageEdits[0], "Ihr Kommentar?");
    EXPECT_EQ(accName(s.c().PageRadioGroups[0]->button(11)), "Antwort 12");
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(s.c().PageListBoxes[0]);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->role(), QAccessible::List);
}

// ------------------------------------------------------------ progress

TEST(Progress, BarAboveTheFirstItemFollowsThePage) {
    fbtest::WorkDir dir;
    Session s(fb::embeddedResources());
    s.m().NeuerBogen1Click();
    auto* bar = s.page().clientArea()->findChild<QProgressBar*>("Fortschritt");
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->value(), 1);
    EXPECT_EQ(bar->maximum(), s.m().PageCount);
    EXPECT_LE(bar->geometry().bottom(), 44);
    EXPECT_EQ(bar->focusPolicy(), Qt::NoFocus);
    // A screen reader may read the bar but not move it.
    QAccessibleInterface* acc = QAccessible::queryAccessibleInterface(bar);
    ASSERT_TRUE(acc && acc->valueInterface());
    EXPECT_EQ(acc->valueInterface()->currentValue().toInt(), 1);
    acc->valueInterface()->setCurrentValue(40);
    EXPECT_EQ(bar->value(), 1);
    EXPECT_EQ(s.c().PageLabels[0]->geometry().topLeft(), QPoint(30, 45));
    s.open("W43");
    EXPECT_EQ(bar, s.page().clientArea()->findChild<QProgressBar*>("Fortschritt"));
    EXPECT_EQ(bar->value(), s.m().Page.PageNumber);
    EXPECT_GT(bar->value(), 1);
    EXPECT_EQ(s.m().PictureImage->y(), 45);
    // Drawn: the done part in the bar colour, the rest in the track colour.
    const QImage shot = bar->grab().toImage();
    const int done = bar->width() * bar->value() / bar->maximum();
    EXPECT_NE(shot.pixelColor(done / 2, 1), shot.pixelColor(bar->width() - 2, 1));
    EXPECT_EQ(s.page().caption(),
              "Seite " + std::to_string(s.m().Page.PageNumber) + " von " + std::to_string(s.m().PageCount) + ".");
}

// ------------------------------------------------------------ screen reader

// The rating page as a screen reader reads it over the desktop's
// accessibility bus, and boxes toggled by it. Runs where the bus and Qt's
// bridge are on (the real-display stage); skipped elsewhere.
TEST(AtSpi, RatingPageReadAndToggledOverTheAccessibilityBus) {
    if (qgetenv("FRAGEBOGEN_ATSPI").isEmpty())
        GTEST_SKIP() << "needs a display with the accessibility bus";
    fbtest::WorkDir dir;
    Session s(fb::embeddedResources());
    s.open("Witze");
    const QString fun3 = "Witzigkeit 3 von 7 (1 = nicht witzig, 7 = sehr witzig)";
    const QString fun6 = "Witzigkeit 6 von 7 (1 = nicht witzig, 7 = sehr witzig)";
    QProcess reader;
    reader.start("/usr/bin/python3",
                 {FB_ATSPI_READER, QString::number(QCoreApplication::applicationPid()), fun3, fun6});
    // Our event loop must run to answer the reader's calls.
    ASSERT_TRUE(fbtest::waitUntil([&] { return reader.state() == QProcess::NotRunning; }, 60000));
    ASSERT_EQ(reader.exitCode(), 0) << reader.readAllStandardError().toStdString();
    std::vector<std::string> boxes;
    std::set<std::string> buttons;
    std::string progress;
    for (const QString& line : QString::fromUtf8(reader.readAllStandardOutput()).split('\n')) {
        const QStringList f = line.split('\t');
        if (f.size() < 5)
            continue;
        if (f[1] == "check box") {
            boxes.push_back(f[2].toStdString());
            EXPECT_EQ(f[3], f[2]) << "the tooltip says the same";
        } else if (f[1] == "push button") {
            buttons.insert(f[2].toStdString());
        } else if (f[1] == "progress bar") {
            progress = f[2].toStdString();
        }
    }
    std::vector<std::string> expected;
    for (int j = 1; j <= 7; ++j) { // created in pairs, one box of each row
        expected.push_back("Witzigkeit " + std::to_string(j) + " von 7 (1 = nicht witzig, 7 = sehr witzig)");
        expected.push_back("Ablehnung " + std::to_string(j) + " von 7 (1 = keine Ablehnung, 7 = starke Ablehnung)");
    }
    expected.push_back("War mir bekannt.");
    EXPECT_EQ(boxes, expected);
    EXPECT_TRUE(buttons.count("Speichern") && buttons.count("Abbrechen"));
    EXPECT_EQ(progress, "Fortschritt: Seite " + std::to_string(s.m().Page.PageNumber) + " von " +
                            std::to_string(s.m().PageCount));
    // Toggled over the bus, 3 and then 6: the row keeps only 6.
    auto& b = s.c().PageCheckBoxes;
    EXPECT_FALSE(b[2]->mark());
    EXPECT_TRUE(b[5]->mark());
}
