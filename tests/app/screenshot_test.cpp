// Saves PNGs of the windows when FRAGEBOGEN_SHOTS names a folder, so a person
// can look at what a participant sees.
#include "app/application.h"
#include "app/form_menu.h"
#include "content/embedded.h"
#include "engine/form_fragen.h"
#include "engine/page_builder.h"
#include "help/form_hilfe.h"
#include "submit/form_senden.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

namespace {
void save(QWidget* w, const std::string& name) {
    const QByteArray dir = qgetenv("FRAGEBOGEN_SHOTS");
    QCoreApplication::processEvents();
    const QPixmap shot = w->grab();
    EXPECT_FALSE(shot.isNull());
    if (!dir.isEmpty()) {
        EXPECT_TRUE(shot.save(QString::fromUtf8(dir) + "/" + QString::fromStdString(name) + ".png"));
    }
}
} // namespace

TEST(Screens, MainWindowAndFirstPages) {
    fbtest::WorkDir dir;
    fbtest::ScriptedDialogs boxes;
    fb::setDateSource([] { return fb::LocalDate{2002, 1, 1}; });
    fb::Program program(fb::embeddedResources());
    program.show();
    save(program.FormMenu, "main");
    program.FormMenu->NeuerBogen1Click();
    save(program.FormFragen, "page1");
    for (const char* name : {"Person3", "MornEven1", "MornEven4", "Witze", "W43", "W60", "Person9"}) {
        fb::teardownPage(program.FormMenu->Page, *program.FormMenu->PictureImage);
        program.FormMenu->AnswerData->assign({"recipient=x", std::string("PAGE ") + name});
        program.FormMenu->Fortfahren1Click();
        save(program.FormFragen, std::string("page-") + name);
    }
    program.FormHilfe->show();
    for (int tab = 0; tab < 3; ++tab) {
        program.FormHilfe->PageControl1->setCurrentIndex(tab);
        save(program.FormHilfe, "help" + std::to_string(tab + 1));
    }
    program.FormSenden->show();
    save(program.FormSenden, "send");
    fb::setDateSource(nullptr);
}
