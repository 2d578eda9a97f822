// Every window of the program on a real X server with a window manager:
// captions, outer frames, minimum sizes and the actions the manager offers,
// as the window system reports them, and a screenshot of each window.
#include "app/application.h"
#include "app/form_menu.h"
#include "content/embedded.h"
#include "engine/form_fragen.h"
#include "engine/page_builder.h"
#include "help/form_hilfe.h"
#include "platform/dialogs.h"
#include "platform/errors.h"
#include "submit/form_senden.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/test_env.h"
#include "tests/x11/window_system.h"

#include <QFontMetrics>
#include <QMessageBox>
#include <QScrollBar>
#include <QTimer>
#include <gtest/gtest.h>
#include <map>

using namespace x11test;

namespace {

const char kTitle[] = "Humorforschung - Humor-Fragebogen";

struct Started {
    fbtest::WorkDir dir;
    std::unique_ptr<fbtest::ScriptedDialogs> boxes;
    std::unique_ptr<fb::Program> program;
    explicit Started(bool scriptedBoxes = true) {
        if (scriptedBoxes)
            boxes = std::make_unique<fbtest::ScriptedDialogs>();
        fb::setDateSource([] { return fb::LocalDate{2002, 10, 31}; });
        program = std::make_unique<fb::Program>(fb::embeddedResources());
        program->show();
    }
    ~Started() {
        program.reset();
        fb::setDateSource(nullptr);
    }
    TFormMenu& menu() { return *program->FormMenu; }
    void openPage(const std::string& name) {
        if (!menu().Page.Controls.empty())
            fb::teardownPage(menu().Page, *menu().PictureImage);
        menu().AnswerData->assign({"recipient=x", "PAGE " + name});
        menu().Fortfahren1Click();
    }
};

bool offers(WId w, const char* action) {
    return hasAtom(w, "_NET_WM_ALLOWED_ACTIONS", std::string("_NET_WM_ACTION_") + action);
}

// Minimum size of the window as the manager was told, plus its frame.
QSize minimumOuter(WId w) {
    const std::vector<long> hints = sizeHints(w);
    const std::vector<long> e = numbers(w, "_NET_FRAME_EXTENTS");
    if (hints.size() != 4 || e.size() != 4)
        return {};
    return {static_cast<int>(hints[0] + e[0] + e[1]), static_cast<int>(hints[1] + e[2] + e[3])};
}

bool scaled() { return qEnvironmentVariableIntValue("QT_SCALE_FACTOR") == 2; }

} // namespace

class X11 : public ::testing::Test {
protected:
    void SetUp() override {
        if (!haveDisplay())
            GTEST_SKIP() << "needs an X server with a window manager (scripts/test.d/20-x11.sh starts one)";
        if (scaled())
            GTEST_SKIP() << "the layout checks run unscaled";
    }
};

TEST_F(X11, MainWindowCaptionFrameAndTaskBarText) {
    Started s;
    ASSERT_TRUE(waitFramed(s.menu()));
    const WId w = s.menu().winId();
    EXPECT_EQ(textProperty(w, "_NET_WM_NAME"), "Fragebogen V1.0");
    EXPECT_EQ(textProperty(w, "_NET_WM_ICON_NAME"), kTitle);
    EXPECT_EQ(outerRect(w), QRect(57, 119, 559, 305));
    EXPECT_EQ(minimumOuter(w), QSize(500, 290));
    EXPECT_TRUE(offers(w, "CLOSE"));
    EXPECT_TRUE(offers(w, "RESIZE"));
    // The memo fills the client area to the right of its left edge.
    EXPECT_EQ(s.menu().menumemo->width(), clientRect(w).width() - 192);
    EXPECT_TRUE(screenshot(outerRect(w), "main"));
}

TEST_F(X11, HelpWindowMemosFitTheirPagesFromTheFirstShowing) {
    Started s;
    s.menu().Hilfe1Click();
    TFormHilfe& help = *s.program->FormHilfe;
    ASSERT_TRUE(waitFramed(help));
    const WId w = help.winId();
    EXPECT_EQ(textProperty(w, "_NET_WM_NAME"), "Informationen");
    EXPECT_EQ(outerRect(w), QRect(345, 230, 420, 311));
    EXPECT_EQ(minimumOuter(w), QSize(350, 250));
    fb::Memo* memos[] = {help.Memo1, help.Memo2, help.Memo3};
    QWidget* pages[] = {help.TabSheet1, help.TabSheet2, help.TabSheet3};
    const char* names[] = {"help-anleitung", "help-datenschutz", "help-kontakt"};
    for (int tab = 0; tab < 3; ++tab) {
        help.PageControl1->setCurrentIndex(tab);
        fbtest::waitUntil([] { return false; }, 150);
        SCOPED_TRACE(names[tab]);
        EXPECT_EQ(help.PageControl1->size(), help.clientArea()->size());
        EXPECT_EQ(memos[tab]->geometry(), pages[tab]->rect());
        EXPECT_LT(pages[tab]->width(), 420);
        EXPECT_TRUE(memos[tab]->verticalScrollBar()->isVisible());
        EXPECT_LE(memos[tab]->verticalScrollBar()->geometry().right(), pages[tab]->width());
        EXPECT_TRUE(screenshot(outerRect(w), names[tab]));
    }
    // A smaller window re-fits the memo of the tab shown.
    help.resize(help.minimumSize());
    fbtest::waitUntil([] { return false; }, 300);
    EXPECT_EQ(help.Memo3->geometry(), help.TabSheet3->rect());
    EXPECT_LT(help.TabSheet3->width(), 350);
}

TEST_F(X11, PageOfEveryItemKindWithoutCaptionButtons) {
    Started s;
    TFormFragen& page = *s.program->FormFragen;
    // TEXT and RADIO, SINGLE, MULTI, SKALA.STD, SKALA.TAG, the longest joke,
    // the tallest cartoon.
    const char* pageNames[] = {"Person1", "Persona1", "Person5", "MornEven1", "MornEven4", "W16", "W60"};
    bool first = true;
    for (const char* name : pageNames) {
        SCOPED_TRACE(name);
        s.openPage(name);
        ASSERT_TRUE(waitFramed(page));
        const WId w = page.winId();
        const std::string caption = textProperty(w, "_NET_WM_NAME");
        EXPECT_EQ(caption, "Seite " + std::to_string(s.menu().Page.PageNumber) + " von 76.");
        if (first) {
            EXPECT_EQ(caption, "Seite 1 von 76.");
            EXPECT_EQ(outerRect(w), QRect(134, 31, 571, 508));
            EXPECT_EQ(minimumOuter(w), QSize(400, 300));
            EXPECT_EQ(page.outerWidth(), 571);
            first = false;
        }
        EXPECT_FALSE(offers(w, "MINIMIZE"));
        EXPECT_FALSE(offers(w, "MAXIMIZE_HORZ"));
        EXPECT_FALSE(offers(w, "MAXIMIZE_VERT"));
        EXPECT_TRUE(offers(w, "RESIZE"));
        EXPECT_FALSE(s.menu().isEnabled());
        EXPECT_TRUE(screenshot(outerRect(w), std::string("page-") + name));
    }
    // A close request through the manager changes nothing.
    ASSERT_TRUE(pressKeys(page.winId(), "alt+F4"));
    fbtest::waitUntil([] { return false; }, 400);
    EXPECT_TRUE(page.isVisible());
    EXPECT_FALSE(page.isMinimized());
    EXPECT_FALSE(s.menu().isEnabled());
}

TEST_F(X11, SendDialogIsAFixedFrameWithoutCaptionButtons) {
    Started s;
    s.menu().setEnabled(false);
    TFormSenden& send = *s.program->FormSenden;
    send.show();
    ASSERT_TRUE(waitFramed(send));
    const WId w = send.winId();
    EXPECT_EQ(textProperty(w, "_NET_WM_NAME"), "Daten senden");
    EXPECT_EQ(clientRect(w).size(), QSize(280, 152));
    EXPECT_EQ(outerRect(w).topLeft(), QPoint(82, 265));
    const std::vector<long> hints = sizeHints(w);
    ASSERT_EQ(hints.size(), 4u);
    EXPECT_EQ(hints[0], 280);
    EXPECT_EQ(hints[1], 152);
    EXPECT_EQ(hints[2], 280);
    EXPECT_EQ(hints[3], 152);
    EXPECT_FALSE(offers(w, "RESIZE"));
    EXPECT_FALSE(offers(w, "MINIMIZE"));
    EXPECT_FALSE(offers(w, "MAXIMIZE_HORZ"));
    EXPECT_TRUE(screenshot(outerRect(w), "send"));
    ASSERT_TRUE(pressKeys(w, "alt+F4"));
    fbtest::waitUntil([] { return false; }, 400);
    EXPECT_TRUE(send.isVisible());
    EXPECT_FALSE(s.menu().isEnabled());
    send.Button3Click();
    EXPECT_TRUE(s.menu().isEnabled());
}

TEST_F(X11, MessageBoxesShowExactlyTheirCaptions) {
    Started s(false);
    struct Case {
        std::function<void()> open;
        std::string caption;
        const char* shot;
    };
    const std::vector<Case> cases = {
        {[] { fb::warningBox("Bitte alle Eingabefelder ausf\xFCllen."); }, "Warning", "box-warning"},
        {[] { fb::errorBox("Fehler."); }, "Error", "box-error"},
        {[] { fb::informationBox("Die Laufzeit dieser Studie ist m\xF6glicherweise abgelaufen.",
                                 fb::BoxButtons::OkCancel); },
         "Information", "box-information"},
        {[] { fb::plainBox("Die Daten\xFC" "bertragung war erfolgreich."); }, kTitle, "box-plain"},
        {[] { fb::reportException(fb::Exception("Datei nicht gefunden.")); }, kTitle, "box-error-report"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        std::string seen;
        bool shot = false;
        QTimer::singleShot(0, [&] {
            QWidget* box = nullptr;
            fbtest::waitUntil([&] { return (box = QApplication::activeModalWidget()) != nullptr; });
            if (!box)
                return;
            if (waitFramed(*box)) {
                seen = textProperty(box->winId(), "_NET_WM_NAME");
                shot = screenshot(outerRect(box->winId()), c.shot);
            }
            static_cast<QDialog*>(box)->done(0);
        });
        c.open();
        EXPECT_EQ(seen, c.caption);
        EXPECT_TRUE(shot);
    }
}

// Neighbouring hour numbers of both hour scales as drawn (centred in their
// labels): at least 5 pixels apart.
void expectHourNumbersApart(Started& s) {
    for (const char* name : {"MornEven4", "MornEven1"}) { // day and quarter-hour scales
        SCOPED_TRACE(name);
        s.openPage(name);
        std::map<int, std::map<int, fb::Label*>> rows; // top, left
        bool number = false;
        for (fb::Label* l : s.menu().Page.Controls.PageLabels)
            if (l->text().toInt(&number), number)
                rows[l->y()][l->x()] = l;
        ASSERT_GE(rows.size(), 2u);
        for (const auto& [top, row] : rows) {
            int lastRight = -100;
            for (const auto& [left, l] : row) {
                const int advance = QFontMetrics(l->font()).horizontalAdvance(l->text());
                EXPECT_GE(left + (l->width() - advance) / 2 - lastRight, 5) << l->text().toStdString();
                lastRight = left + (l->width() + advance + 1) / 2;
            }
        }
        waitFramed(*s.program->FormFragen); // for the screenshot only
        EXPECT_TRUE(screenshot(outerRect(s.program->FormFragen->winId()), (scaled() ? "scaled-" : "") + std::string(name)));
    }
}

TEST_F(X11, HourNumbersStandApart) {
    Started s;
    expectHourNumbersApart(s);
}

TEST(X11Scaled, HourNumbersStandApart) {
    if (!haveDisplay() || !scaled())
        GTEST_SKIP() << "needs an X server and QT_SCALE_FACTOR=2";
    Started s;
    expectHourNumbersApart(s);
}

// Run with QT_SCALE_FACTOR=2 on a 1280 x 1024 screen: the windows no longer
// fit where and how large they were laid out.
TEST(X11Scaled, WindowsLieWhollyOnTheScreen) {
    if (!haveDisplay() || !scaled())
        GTEST_SKIP() << "needs an X server and QT_SCALE_FACTOR=2";
    Started s;
    const QRect screen(QPoint(0, 0), screenSize());
    ASSERT_TRUE(waitFramed(s.menu()));
    EXPECT_TRUE(screen.contains(outerRect(s.menu().winId()))) << "main window";
    s.menu().Hilfe1Click();
    ASSERT_TRUE(waitFramed(*s.program->FormHilfe));
    const QRect help = outerRect(s.program->FormHilfe->winId());
    EXPECT_TRUE(screen.contains(help)) << "help window";
    EXPECT_TRUE(screenshot(help, "scaled-help"));
    s.program->FormHilfe->hide();
    s.openPage("W60");
    TFormFragen& page = *s.program->FormFragen;
    ASSERT_TRUE(waitFramed(page));
    const QRect outer = outerRect(page.winId());
    EXPECT_TRUE(screen.contains(outer)) << "page window";
    // "Speichern" can be scrolled to and then lies inside the window.
    page.scrollArea()->ensureWidgetVisible(page.SpeichernButton);
    fbtest::waitUntil([] { return false; }, 200);
    const QRect button(page.SpeichernButton->mapToGlobal(QPoint(0, 0)) * 2, page.SpeichernButton->size() * 2);
    EXPECT_TRUE(clientRect(page.winId()).contains(button)) << "Speichern";
    EXPECT_TRUE(screenshot(outer, "scaled-page-W60"));
    s.program->FormSenden->show();
    ASSERT_TRUE(waitFramed(*s.program->FormSenden));
    EXPECT_TRUE(screen.contains(outerRect(s.program->FormSenden->winId()))) << "send dialog";
    s.program->FormSenden->hide();
}
