// Window placement and captions that hold on any platform: a window that does
// not fit the screen's available area is moved and, if it must be, shrunk;
// captions are the windows' own.
#include "app/application.h"
#include "app/form_menu.h"
#include "content/embedded.h"
#include "help/form_hilfe.h"
#include "submit/form_senden.h"
#include "platform/dialogs.h"
#include "platform/window.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/test_env.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

QRect area() { return QGuiApplication::primaryScreen()->availableGeometry(); }

void showAndSettle(QWidget& w) {
    w.show();
    fbtest::waitUntil([] { return false; }, 50);
}

} // namespace

TEST(WindowFit, AWindowThatFitsStaysWhereItWasPut) {
    fb::Form form;
    form.setOuterBounds(area().left() + 10, area().top() + 20, 200, 150);
    showAndSettle(form);
    EXPECT_EQ(form.windowHandle()->frameGeometry(), QRect(area().left() + 10, area().top() + 20, 200, 150));
}

TEST(WindowFit, AWindowReachingPastTheEdgesIsMovedOnScreen) {
    fb::Form form;
    form.setOuterBounds(area().right() - 100, area().bottom() - 50, 300, 200);
    showAndSettle(form);
    const QRect g = form.windowHandle()->frameGeometry();
    EXPECT_EQ(g.size(), QSize(300, 200));
    EXPECT_TRUE(area().contains(g)) << g.x() << "," << g.y();
    EXPECT_EQ(g.right(), area().right());
    EXPECT_EQ(g.bottom(), area().bottom());

    fb::Form left;
    left.setOuterBounds(area().left() - 80, area().top() - 40, 300, 200);
    showAndSettle(left);
    EXPECT_EQ(left.windowHandle()->frameGeometry().topLeft(), area().topLeft());
}

TEST(WindowFit, AWindowLargerThanTheScreenIsShrunkEvenBelowItsMinimum) {
    fb::Form form;
    form.setMinOuterSize(area().width() + 50, 100);
    form.setOuterBounds(area().left() + 30, area().top(), area().width() + 100, area().height() + 10);
    showAndSettle(form);
    const QRect g = form.windowHandle()->frameGeometry();
    EXPECT_EQ(g, area());
    EXPECT_LE(form.minimumWidth(), area().width());
}

TEST(WindowFit, AFixedDialogIsMovedButKeepsItsSize) {
    fb::Form dialog;
    dialog.move(area().right() - 20, area().top() + 10);
    dialog.setClientSize(280, 152);
    dialog.setBorderStyle(fb::BorderStyle::Dialog);
    showAndSettle(dialog);
    EXPECT_EQ(dialog.windowHandle()->geometry().size(), QSize(280, 152));
    EXPECT_TRUE(area().contains(dialog.windowHandle()->frameGeometry()));
}

TEST(WindowFit, ReshowingAWindowMovedOffScreenBringsItBack) {
    fb::Form form;
    form.setOuterBounds(area().left(), area().top(), 200, 100);
    showAndSettle(form);
    form.hide();
    form.move(area().right() - 10, area().top());
    showAndSettle(form);
    EXPECT_TRUE(area().contains(form.windowHandle()->frameGeometry()));
}

TEST(Captions, NoWindowCarriesTheApplicationTitle) {
    fbtest::WorkDir dir;
    fbtest::ScriptedDialogs boxes;
    fb::setDateSource([] { return fb::LocalDate{2002, 10, 31}; });
    {
        fb::Program program(fb::embeddedResources());
        program.show();
        // Qt appends its display name to every caption; the title must not be it.
        EXPECT_FALSE(QGuiApplication::applicationDisplayName().contains("Humor"));
        EXPECT_EQ(program.FormMenu->windowTitle(), "Fragebogen V1.0");
        EXPECT_EQ(program.FormMenu->windowHandle()->title(), "Fragebogen V1.0");
        EXPECT_EQ(program.FormMenu->windowIconText(), "Humorforschung - Humor-Fragebogen");
        program.FormHilfe->show();
        EXPECT_EQ(program.FormHilfe->windowHandle()->title(), "Informationen");
        program.FormSenden->show();
        EXPECT_EQ(program.FormSenden->windowHandle()->title(), "Daten senden");
        EXPECT_EQ(fb::applicationTitle(), "Humorforschung - Humor-Fragebogen");
    }
    fb::setDateSource(nullptr);
}

TEST(HelpWindow, MemosFillTheirPagesAtTheFirstShowingAndAfterATabChange) {
    fbtest::WorkDir dir;
    fbtest::ScriptedDialogs boxes;
    fb::setDateSource([] { return fb::LocalDate{2002, 10, 31}; });
    {
        fb::Program program(fb::embeddedResources());
        TFormHilfe& help = *program.FormHilfe;
        showAndSettle(help);
        EXPECT_EQ(help.PageControl1->size(), help.clientArea()->size());
        EXPECT_EQ(help.Memo1->geometry(), help.TabSheet1->rect());
        EXPECT_LT(help.Memo1->width(), 420);
        help.PageControl1->setCurrentIndex(2);
        fbtest::waitUntil([] { return false; }, 50);
        EXPECT_EQ(help.Memo3->geometry(), help.TabSheet3->rect());
        help.resize(help.minimumSize());
        fbtest::waitUntil([] { return false; }, 50);
        EXPECT_EQ(help.Memo3->geometry(), help.TabSheet3->rect());
        help.PageControl1->setCurrentIndex(1);
        fbtest::waitUntil([] { return false; }, 50);
        EXPECT_EQ(help.Memo2->geometry(), help.TabSheet2->rect());
    }
    fb::setDateSource(nullptr);
}
